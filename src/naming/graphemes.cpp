#include "naming/graphemes.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "text/units.h"

namespace naming {
namespace {

enum Break : uint8_t {
  kOther, kCR, kLF, kControl, kExtend, kZWJ, kRegional, kPrepend, kSpacingMark,
  kL, kV, kT, kLV, kLVT,
};
enum Conjunct : uint8_t { kNone, kLinker, kConsonant, kConjunctExtend };

struct Run {
  char32_t first;
  char32_t last;
  uint8_t value;  // Break | pictographic << 4 | Conjunct << 5
};

constexpr Run kRuns[] = {
#include "naming/grapheme_table.inc"
};

struct Properties {
  Break brk;
  bool pictographic;
  Conjunct conjunct;
};

Properties Of(char32_t code) {
  uint8_t value = 0;
  if (code >= 0x20 && code < 0x7F) {
    value = 0;  // printable ASCII: Other
  } else {
    const Run* run = std::upper_bound(std::begin(kRuns), std::end(kRuns), code,
                                      [](char32_t c, const Run& r) { return c < r.first; });
    if (run != std::begin(kRuns) && code <= (run - 1)->last) value = (run - 1)->value;
  }
  return {static_cast<Break>(value & 0xF), (value & 0x10) != 0,
          static_cast<Conjunct>(value >> 5)};
}

bool IsControlLike(Break b) { return b == kCR || b == kLF || b == kControl; }

}  // namespace

void ClusterStarts(std::u16string_view text, std::vector<bool>& starts, bool conjuncts) {
  starts.assign(text.size() + 1, false);
  starts[text.size()] = true;
  if (text.empty()) return;
  Properties previous{};
  size_t regional = 0;  // regional indicators in a row, ending with the previous
  int emoji = 0;        // 1: after ExtPict Extend*; 2: after ExtPict Extend* ZWJ
  int conjunct = 0;     // 1: after Consonant [Extend Linker]*; 2: with a Linker among them
  for (size_t at = 0; at < text.size();) {
    // Printable ASCII joins nothing before it but a prepended mark.
    if (text[at] >= 0x20 && text[at] < 0x7F) {
      starts[at] = at == 0 || previous.brk != kPrepend;
      previous = {kOther, false, kNone};
      regional = 0;
      emoji = conjunct = 0;
      ++at;
      continue;
    }
    char32_t code = text[at];
    size_t width = 1;
    Properties current;
    if (text::IsHighSurrogate(text[at]) && at + 1 < text.size() && text::IsLowSurrogate(text[at + 1])) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[at + 1] - 0xDC00);
      width = 2;
      current = Of(code);
    } else if (text::IsSurrogate(text[at])) {
      current = {kControl, false, kNone};  // a lone surrogate, or an escaped byte
    } else {
      current = Of(code);
    }
    bool join = false;
    if (at > 0) {
      const Break a = previous.brk, b = current.brk;
      if (a == kCR && b == kLF) {
        join = true;                                                   // GB3
      } else if (IsControlLike(a) || IsControlLike(b)) {
        join = false;                                                  // GB4, GB5
      } else if (a == kL && (b == kL || b == kV || b == kLV || b == kLVT)) {
        join = true;                                                   // GB6
      } else if ((a == kLV || a == kV) && (b == kV || b == kT)) {
        join = true;                                                   // GB7
      } else if ((a == kLVT || a == kT) && b == kT) {
        join = true;                                                   // GB8
      } else if (b == kExtend || b == kZWJ || b == kSpacingMark || a == kPrepend) {
        join = true;                                                   // GB9, GB9a, GB9b
      } else if (conjuncts && conjunct == 2 && current.conjunct == kConsonant) {
        join = true;                                                   // GB9c
      } else if (emoji == 2 && current.pictographic) {
        join = true;                                                   // GB11
      } else if (a == kRegional && b == kRegional && regional % 2 == 1) {
        join = true;                                                   // GB12, GB13
      }
    }
    starts[at] = !join;
    regional = current.brk == kRegional ? regional + 1 : 0;
    if (current.pictographic) {
      emoji = 1;
    } else if (emoji == 1 && current.brk == kZWJ) {
      emoji = 2;
    } else if (!(emoji == 1 && current.brk == kExtend)) {
      emoji = 0;
    }
    if (current.conjunct == kConsonant) {
      conjunct = 1;
    } else if (conjunct > 0 && current.conjunct == kLinker) {
      conjunct = 2;
    } else if (conjunct == 0 || current.conjunct != kConjunctExtend) {
      conjunct = 0;
    }
    previous = current;
    at += width;
  }
}

void CutPoints(std::u16string_view text, std::vector<bool>& points) {
  ClusterStarts(text, points);
  for (size_t end = 1; end < text.size(); ++end) {
    if (!points[end]) continue;
    char32_t last = text[end - 1];
    if (end >= 2 && text::IsLowSurrogate(text[end - 1]) && text::IsHighSurrogate(text[end - 2])) {
      last = 0x10000 + ((text[end - 2] - 0xD800) << 10) + (text[end - 1] - 0xDC00);
    } else if (text::IsSurrogate(text[end - 1])) {
      continue;
    }
    if (Of(last).brk == kPrepend) points[end] = false;
  }
}

size_t WholeClusters(std::u16string_view text, size_t count) {
  count = std::min(count, text.size());
  std::vector<bool> points;
  CutPoints(text, points);
  while (count > 0 && !points[count]) --count;
  return count;
}

}  // namespace naming
