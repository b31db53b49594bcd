// libFuzzer target for the name rule. Input: one byte of flags (bit 0: a
// directory; the others: the rules of a destination), one byte for the limit (8 + byte, so 8 to 263 capped at 256),
// eight bytes for two counter values, then the name as UTF-16 code units.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "naming/destination_names.h"
#include "naming/graphemes.h"
#include "naming/measure.h"
#include "naming/shorten.h"
#include "naming/whole_cut.h"
#include "text/units.h"
#include "naming/windows_names.h"

namespace {

using text::IsHighSurrogate;
using text::IsLowSurrogate;

bool WellFormed(const std::u16string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text::IsHighSurrogate(text[i])) {
      if (i + 1 == text.size() || !text::IsLowSurrogate(text[i + 1])) return false;
      ++i;
    } else if (text::IsLowSurrogate(text[i])) {
      return false;
    }
  }
  return true;
}

void Check(bool condition, const char* what) {
  if (!condition) {
    fprintf(stderr, "invariant broken: %s\n", what);
    abort();
  }
}

size_t DigitCount(uint32_t value) {
  size_t count = 1;
  while (value >>= 4) ++count;
  return count;
}

uint32_t Read32(const uint8_t* data) {
  uint32_t value;
  std::memcpy(&value, data, sizeof value);
  return value;
}

// The candidate for `counter`, or empty when its digits do not fit. Checks
// what a counter may touch.
std::u16string Candidate(const naming::CutResult& cut, uint32_t counter) {
  std::u16string candidate = cut.newName;
  if (!naming::ApplyCounter(candidate.data(), cut.counterAnchor, counter)) {
    Check(candidate == cut.newName, "a refused counter changed the name");
    return {};
  }
  Check(candidate.size() == cut.newName.size(), "a counter changed the length");
  size_t first = cut.counterAnchor - DigitCount(counter);
  // The digits take the high half of a pair whose low half they start on.
  if (first > 0 && text::IsLowSurrogate(cut.newName[first]) && text::IsHighSurrogate(cut.newName[first - 1])) {
    --first;
    Check(candidate[first] == u'0', "a split pair's high half is not a 0");
  }
  Check(candidate.compare(0, first, cut.newName, 0, first) == 0,
        "a counter touched units before its digits");
  Check(candidate.compare(cut.counterAnchor, std::u16string::npos, cut.newName,
                          cut.counterAnchor) == 0,
        "a counter touched the extension");
  for (size_t i = first; i < cut.counterAnchor; ++i) {
    const char16_t c = candidate[i];
    Check((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'), "not a hex digit");
  }
  return candidate;
}

// The whole cut of snipdir-fit: the whole extension at the end, the rest a
// beginning of the name ending at a character's end, no longer than asked
// unless even its first character is; a counter keeps the length and
// reaches back to a character's start.
void CheckWholeCut(const std::u16string& name, bool isDirectory, uint32_t length,
                   uint32_t counter) {
  const naming::CutResult cut = naming::WholeCut(name, isDirectory, length);
  const std::u16string& newName = cut.newName;
  const size_t extension = naming::WholeExtensionLength(name, isDirectory);
  Check(newName.size() - cut.counterAnchor == extension, "the extension is not whole");
  Check(newName.compare(cut.counterAnchor, extension, name, name.size() - extension,
                        extension) == 0 || extension == 0,
        "the extension changed");
  std::vector<bool> points;
  const std::u16string stem = name.substr(0, name.size() - extension);
  naming::CutPoints(stem, points);
  Check(cut.counterAnchor > 0 && points[cut.counterAnchor], "a cut inside a character");
  Check(cut.counterAnchor <= 1 || cut.counterAnchor >= stem.size() ||
            (stem[cut.counterAnchor - 1] != u' ' && stem[cut.counterAnchor - 1] != u'.'),
        "a cut ends in a space or a dot");
  Check(newName.size() <= std::max<size_t>(length, naming::ShortestWholeCut(name, isDirectory)),
        "longer than asked");
  Check(naming::WholeCutLength(name, isDirectory, length) == newName.size(),
        "the length and the cut disagree");
  std::u16string candidate = newName;
  counter %= 4096;
  if (naming::WholeCandidates(cut).Write(candidate.data(), uint64_t{counter} + 1)) {
    Check(candidate.size() == newName.size(), "a counter changed the length");
    // Its digits, and the zeros before them, begin where a character does.
    size_t first = cut.counterAnchor - DigitCount(counter);
    while (first > 0 && !points[first]) --first;
    Check(candidate.compare(0, first, newName, 0, first) == 0, "a counter inside a character");
    for (size_t i = first; i < cut.counterAnchor; ++i) {
      const char16_t c = candidate[i];
      Check((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'), "not a hex digit");
    }
  }
}

// A name mended for a destination is one it takes, no longer than it was
// but for one "_" put in (a whole character becomes one "_"); every unit
// measures the same name alike, whole and by its beginnings.
void CheckDestination(const std::u16string& name, uint32_t rules) {
  std::u16string mended;
  if (naming::Mend(name, rules, mended)) {
    Check(!naming::Refuses(mended, rules), "a mended name is still refused");
    Check(mended.size() <= name.size() + 1, "a mend made the name longer");
  } else {
    Check(!naming::Refuses(name, rules), "a refused name was not mended");
  }
  // (Decomposed, a name need not be longer in units than it was.)
  std::vector<uint32_t> prefixes;
  uint32_t units = 0;
  for (const naming::Unit unit : {naming::Unit::kUtf16, naming::Unit::kUtf8,
                                  naming::Unit::kNfdUtf16, naming::Unit::kNfdUtf8}) {
    const naming::Measure measure(unit, (rules & 1) != 0);
    measure.Prefixes(name, prefixes);
    const uint32_t length = measure.Of(name);
    Check(prefixes.back() == length, "the beginnings and the whole measure differ");
    for (size_t i = 1; i < prefixes.size(); ++i) {
      Check(prefixes[i] >= prefixes[i - 1], "a longer beginning measures less");
    }
    if (unit == naming::Unit::kUtf16 || unit == naming::Unit::kNfdUtf16) units = length;
    Check(length >= units, "fewer bytes than units");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 10) return 0;
  const bool isDirectory = (data[0] & 1) != 0;
  const uint32_t maxLength = std::min<uint32_t>(8 + data[1], 256);
  const uint32_t counters[2] = {Read32(data + 2), Read32(data + 6)};
  std::u16string name((size - 10) / 2, u'\0');
  std::memcpy(name.data(), data + 10, name.size() * 2);
  if (name.find(u'\0') != std::u16string::npos) return 0;
  CheckDestination(name, data[0] >> 1);
  if (name.size() <= maxLength) return 0;

  const naming::CutResult cut = naming::ShortenName(name, isDirectory, maxLength);
  const std::u16string& newName = cut.newName;
  Check(newName.size() <= maxLength, "longer than the limit");
  Check(newName.size() + 2 >= maxLength, "shorter than a dropped half pair explains");
  Check(cut.counterAnchor <= newName.size(), "anchor beyond the name");
  Check(newName.empty() || (newName.back() != u' ' && newName.back() != u'.'),
        "the new name ends in a space or a dot");
  if (cut.counterAnchor < newName.size()) {
    Check(!isDirectory, "a directory kept an extension");
    Check(newName.size() - cut.counterAnchor <= 4, "more than four units of extension");
    const size_t dot = name.rfind(u'.');
    Check(dot != 0 && dot != std::u16string::npos, "an extension where there is none");
    // The name's own extension, but for trailing spaces and dots made "_".
    for (size_t i = cut.counterAnchor; i < newName.size(); ++i) {
      const char16_t kept = newName[i], own = name[dot + i - cut.counterAnchor];
      Check(kept == own || (kept == u'_' && (own == u' ' || own == u'.')),
            "the kept extension is not the name's");
    }
  }
  if (WellFormed(name)) Check(WellFormed(newName), "half a pair in the new name");
  // A device name is mended, or the counter's first digits reach it: one of
  // the first candidates is not a device name.
  if (naming::IsReservedName(newName)) {
    bool free = false;
    for (uint32_t counter = 0; counter <= 16 && !free; ++counter) {
      const std::u16string candidate = Candidate(cut, counter);
      free = !candidate.empty() && !naming::IsReservedName(candidate);
    }
    Check(free, "every early candidate is a device name");
  }

  // Two counters of one name with as many digits give different names; so
  // does any counter from the first candidate when it writes other units.
  std::u16string candidates[2];
  for (int i = 0; i < 2; ++i) {
    candidates[i] = Candidate(cut, counters[i]);
    if (!candidates[i].empty() && WellFormed(name)) {
      Check(WellFormed(candidates[i]), "half a pair in a candidate");
    }
  }
  if (counters[0] != counters[1] &&
      DigitCount(counters[0]) == DigitCount(counters[1]) &&
      !candidates[0].empty()) {
    Check(candidates[0] != candidates[1], "two candidates are the same name");
  }
  CheckWholeCut(name, isDirectory, maxLength, counters[0]);
  return 0;
}
