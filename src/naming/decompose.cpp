#include "naming/decompose.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include "text/units.h"

namespace naming {
namespace {

struct Decomposition {
  char32_t code;
  uint16_t first, count;  // its code points in kParts
  uint8_t units16, bytes8;
};
struct CombiningClass {
  char32_t code;
  uint8_t value;
};

#include "naming/nfd_table.inc"

constexpr char32_t kHangulFirst = 0xAC00, kHangulLast = 0xD7A3;
constexpr char32_t kLeadFirst = 0x1100, kVowelFirst = 0x1161, kTrailFirst = 0x11A7;
constexpr char32_t kVowels = 21, kTrails = 28;

uint32_t Utf8Bytes(char32_t code) {
  return code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
}

const Decomposition* Find(char32_t code) {
  const auto found = std::lower_bound(
      std::begin(kDecompositions), std::end(kDecompositions), code,
      [](const Decomposition& entry, char32_t wanted) { return entry.code < wanted; });
  return found != std::end(kDecompositions) && found->code == code ? found : nullptr;
}

uint8_t ClassOf(char32_t code) {
  if (code < 0x300) return 0;
  const auto found = std::lower_bound(
      std::begin(kClasses), std::end(kClasses), code,
      [](const CombiningClass& entry, char32_t wanted) { return entry.code < wanted; });
  return found != std::end(kClasses) && found->code == code ? found->value : 0;
}

void Append(std::u16string& out, char32_t code) {
  if (code > 0xFFFF) {
    out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
    out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
  } else {
    out += static_cast<char16_t>(code);
  }
}

}  // namespace

DecomposedLength LengthDecomposed(char32_t code) {
  if (code >= kHangulFirst && code <= kHangulLast) {
    // Two or three conjoining jamo, each one unit and three bytes.
    const uint32_t jamo = (code - kHangulFirst) % kTrails == 0 ? 2 : 3;
    return {jamo, 3 * jamo};
  }
  if (const Decomposition* found = code >= 0xC0 ? Find(code) : nullptr) {
    return {found->units16, found->bytes8};
  }
  return {code > 0xFFFF ? 2u : 1u, Utf8Bytes(code)};
}

void Decompose(std::u16string_view name, std::u16string& out) {
  std::vector<char32_t> codes;
  codes.reserve(name.size());
  for (size_t at = 0; at < name.size(); ++at) {
    char32_t code = name[at];
    if (text::IsHighSurrogate(name[at]) && at + 1 < name.size() && text::IsLowSurrogate(name[at + 1])) {
      code = 0x10000 + ((code - 0xD800) << 10) + (name[++at] - 0xDC00);
    }
    if (code >= kHangulFirst && code <= kHangulLast) {
      const char32_t index = code - kHangulFirst;
      codes.push_back(kLeadFirst + index / (kVowels * kTrails));
      codes.push_back(kVowelFirst + index % (kVowels * kTrails) / kTrails);
      if (index % kTrails != 0) codes.push_back(kTrailFirst + index % kTrails);
    } else if (const Decomposition* found = code >= 0xC0 ? Find(code) : nullptr) {
      codes.insert(codes.end(), kParts + found->first, kParts + found->first + found->count);
    } else {
      codes.push_back(code);
    }
  }
  // Each run of marks in the order of their classes, those of one class as
  // they came.
  for (size_t start = 0; start < codes.size();) {
    if (ClassOf(codes[start]) == 0) {
      ++start;
      continue;
    }
    size_t end = start + 1;
    while (end < codes.size() && ClassOf(codes[end]) != 0) ++end;
    // A run holds a few marks: sorted by insertion, in place.
    for (size_t at = start + 1; at < end; ++at) {
      const char32_t mark = codes[at];
      const uint8_t value = ClassOf(mark);
      size_t to = at;
      for (; to > start && ClassOf(codes[to - 1]) > value; --to) codes[to] = codes[to - 1];
      codes[to] = mark;
    }
    start = end;
  }
  out.clear();
  for (const char32_t code : codes) Append(out, code);
}

}  // namespace naming
