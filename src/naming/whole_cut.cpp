#include "naming/whole_cut.h"

#include <algorithm>
#include <initializer_list>

#include "naming/candidates.h"
#include "naming/graphemes.h"
#include "naming/windows_names.h"

namespace naming {
namespace {

bool IsLetter(char16_t unit) {
  return (unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z');
}
bool IsDigit(char16_t unit) { return unit >= u'0' && unit <= u'9'; }

// 1 to `longest` ASCII letters and digits.
bool IsToken(std::u16string_view text, size_t longest) {
  return !text.empty() && text.size() <= longest &&
         std::all_of(text.begin(), text.end(), [](char16_t u) { return IsLetter(u) || IsDigit(u); });
}

bool Is(std::u16string_view text, std::initializer_list<std::u16string_view> words) {
  for (std::u16string_view word : words) {
    if (text.size() != word.size()) continue;
    bool same = true;
    for (size_t i = 0; i < text.size() && same; ++i) {
      const char16_t unit = text[i] >= u'A' && text[i] <= u'Z' ? text[i] + 0x20 : text[i];
      same = unit == word[i];
    }
    if (same) return true;
  }
  return false;
}

// True when the segment `inner` belongs to the extension that begins with
// the segment `outer`.
bool Belongs(std::u16string_view inner, std::u16string_view outer) {
  if (Is(outer, {u"gz", u"xz", u"bz2", u"zst", u"lz", u"lz4", u"lzma", u"br", u"z", u"map"})) {
    return IsToken(inner, 5) && std::any_of(inner.begin(), inner.end(), IsLetter);
  }
  if (Is(outer, {u"ts", u"mts", u"cts", u"tsx"})) {
    return Is(inner, {u"d", u"spec", u"test", u"stories", u"module", u"config"});
  }
  if (Is(outer, {u"js", u"mjs", u"cjs", u"jsx", u"css", u"scss"})) {
    return Is(inner, {u"min", u"spec", u"test", u"user", u"stories", u"module", u"bundle",
                      u"config", u"esm", u"umd"});
  }
  return Is(outer, {u"tar"}) && Is(inner, {u"pkg"});
}

// True when every unit of `text` is printable ASCII: then every place
// between two units is a place to cut.
bool PlainAscii(std::u16string_view text) {
  return std::all_of(text.begin(), text.end(), [](char16_t u) { return u >= 0x20 && u < 0x7F; });
}

// True when a cut that keeps `kept` units of `stem` leaves it ending in a
// space or a dot, which a reader would not see or Windows would strip: the
// cut ends before them instead.
bool EndsBlank(std::u16string_view stem, size_t kept) {
  return kept > 1 && kept < stem.size() && (stem[kept - 1] == u' ' || stem[kept - 1] == u'.');
}

// How much of the part before the extension a cut to `length` keeps: whole
// characters, and at least the first of them.
size_t StemKept(std::u16string_view stem, size_t extension, uint32_t length) {
  const size_t target = length > extension ? length - extension : 0;
  if (PlainAscii(stem)) {
    size_t kept = std::max<size_t>(std::min(target, stem.size()), stem.empty() ? 0 : 1);
    while (EndsBlank(stem, kept)) --kept;
    return kept;
  }
  size_t kept = WholeClusters(stem, target);
  while (EndsBlank(stem, kept)) kept = WholeClusters(stem, kept - 1);
  if (kept > 0 || stem.empty()) return kept;
  std::vector<bool> points;
  CutPoints(stem, points);
  size_t first = 1;
  while (first < stem.size() && !points[first]) ++first;
  return first;
}

}  // namespace

size_t WholeExtensionLength(std::u16string_view name, bool isDirectory) {
  if (isDirectory) return 0;
  size_t dot = name.rfind(u'.');
  if (dot == std::u16string_view::npos || dot == 0 || !IsToken(name.substr(dot + 1), 10)) {
    return 0;
  }
  std::u16string_view outer = name.substr(dot + 1);
  for (int segments = 1; segments < 3; ++segments) {
    const size_t before = name.rfind(u'.', dot - 1);
    if (before == std::u16string_view::npos || before == 0) break;
    const std::u16string_view inner = name.substr(before + 1, dot - before - 1);
    if (!Belongs(inner, outer)) break;
    dot = before;
    outer = inner;
  }
  return name.size() - dot;
}

uint32_t ShortestWholeCut(std::u16string_view name, bool isDirectory) {
  const size_t extension = WholeExtensionLength(name, isDirectory);
  const std::u16string_view stem = name.substr(0, name.size() - extension);
  return static_cast<uint32_t>(StemKept(stem, extension, 0) + extension);
}

uint32_t WholeCutLength(std::u16string_view name, bool isDirectory, uint32_t length) {
  const size_t extension = WholeExtensionLength(name, isDirectory);
  const std::u16string_view stem = name.substr(0, name.size() - extension);
  return static_cast<uint32_t>(StemKept(stem, extension, length) + extension);
}

void WholeCutLengths(std::u16string_view name, bool isDirectory, uint32_t floor,
                     std::vector<uint32_t>& lengths) {
  lengths.clear();
  const size_t extension = WholeExtensionLength(name, isDirectory);
  const std::u16string_view stem = name.substr(0, name.size() - extension);
  std::vector<bool> points;
  const bool plain = PlainAscii(stem);
  if (!plain) CutPoints(stem, points);
  for (size_t kept = 1; kept < stem.size(); ++kept) {
    if ((plain || points[kept]) && kept + extension >= floor && !EndsBlank(stem, kept)) {
      lengths.push_back(static_cast<uint32_t>(kept + extension));
    }
  }
}

CutResult WholeCut(std::u16string_view name, bool isDirectory, uint32_t length) {
  const size_t extension = WholeExtensionLength(name, isDirectory);
  const std::u16string_view stem = name.substr(0, name.size() - extension);
  const size_t kept = StemKept(stem, extension, length);
  CutResult result;
  result.newName.assign(stem.substr(0, kept));
  result.newName.append(name.substr(name.size() - extension));
  result.counterAnchor = static_cast<uint32_t>(kept);
  MendForWindows(result.newName, kept);
  return result;
}

WholeCandidates::WholeCandidates(const CutResult& cut) : anchor_(cut.counterAnchor) {
  CutPoints(std::u16string_view(cut.newName).substr(0, anchor_), starts_);
}

bool WholeCandidates::Write(char16_t* candidate, uint64_t step) const {
  if (step == 0 || step > kLastStep) return false;
  char16_t digits[8];
  const uint32_t count = HexDigits(static_cast<uint32_t>(step - 1), digits);
  if (count > anchor_) return false;
  uint32_t start = anchor_ - count;
  while (start > 0 && !starts_[start]) {
    candidate[--start] = u'0';
  }
  for (uint32_t i = 0; i < count; ++i) candidate[anchor_ - 1 - i] = digits[i];
  return true;
}

}  // namespace naming
