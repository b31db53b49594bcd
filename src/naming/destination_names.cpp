#include "naming/destination_names.h"

#include <vector>

#include "naming/graphemes.h"
#include "text/units.h"
#include "naming/windows_names.h"

namespace naming {
namespace {

// For each ASCII unit, the character rules that refuse it.
struct CharacterRules {
  uint8_t rules[128] = {};
  constexpr CharacterRules() {
    for (int unit = 1; unit < 0x20; ++unit) rules[unit] = kWindowsCharacters | kJolietCharacters;
    for (const char unit : "\"*:<>?\\|/") rules[static_cast<int>(unit)] |= kWindowsCharacters;
    for (const char unit : "*:;?\\/") rules[static_cast<int>(unit)] |= kJolietCharacters;
    rules[0] = 0;
  }
};
constexpr CharacterRules kCharacterRules;

bool RefusedCharacter(char16_t unit, uint32_t rules) {
  return unit < 128 && (kCharacterRules.rules[unit] & rules) != 0;
}

char16_t Lower(char16_t unit) {
  return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit + 32) : unit;
}

bool SameIgnoringCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

size_t FindIgnoringCase(std::u16string_view name, std::u16string_view part, size_t from) {
  for (size_t at = from; at + part.size() <= name.size(); ++at) {
    if (SameIgnoringCase(name.substr(at, part.size()), part)) return at;
  }
  return std::u16string_view::npos;
}

constexpr std::u16string_view kOfficeWholeNames[] = {u".lock", u"desktop.ini"};

bool OfficeWholeName(std::u16string_view name) {
  for (const std::u16string_view whole : kOfficeWholeNames) {
    if (SameIgnoringCase(name, whole)) return true;
  }
  return false;
}

// Where the part of a device-name check ends: the first dot, or the end.
size_t FirstPart(std::u16string_view name) {
  const size_t dot = name.find(u'.');
  return dot == std::u16string_view::npos ? name.size() : dot;
}

// True when the unit at `at` is a surrogate that pairs with none.
bool Unpaired(std::u16string_view name, size_t at) {
  if (text::IsHighSurrogate(name[at])) return at + 1 == name.size() || !text::IsLowSurrogate(name[at + 1]);
  return text::IsLowSurrogate(name[at]) && (at == 0 || !text::IsHighSurrogate(name[at - 1]));
}

// True when the unit at `at` is refused by the character rules.
bool RefusedUnit(std::u16string_view name, size_t at, uint32_t rules) {
  const char16_t unit = name[at];
  if (unit < 128) return RefusedCharacter(unit, rules);
  if (!text::IsSurrogate(unit)) return false;
  return (rules & kJolietCharacters) != 0 || ((rules & kWellFormed) != 0 && Unpaired(name, at));
}

}  // namespace

bool Refuses(std::u16string_view name, uint32_t rules) {
  if (name.empty() || rules == 0) return false;
  const bool office = (rules & kOfficeNames) != 0;
  for (size_t at = 0; at < name.size(); ++at) {
    if (RefusedUnit(name, at, rules)) return true;
    if (office && name[at] == u'_' && SameIgnoringCase(name.substr(at, 5), u"_vti_")) return true;
  }
  const char16_t last = name.back();
  if ((rules & kTrailingDots) && last == u'.') return true;
  if ((rules & kTrailingSpaces) && last == u' ') return true;
  if ((rules & kLeadingSpaces) && name.front() == u' ') return true;
  if ((rules & kDeviceNames) && IsReservedName(name)) return true;
  if (rules & kOfficeNames) {
    if (OfficeWholeName(name) || name.substr(0, 2) == u"~$") return true;
  }
  return false;
}

bool Mend(std::u16string_view name, uint32_t rules, std::u16string& mended) {
  if (!Refuses(name, rules)) return false;
  std::u16string out;
  out.reserve(name.size() + 1);
  // Character by character: one "_" for one that holds a refused unit (a
  // family emoji for Joliet, with the joiners between its people).
  std::vector<bool> starts;
  ClusterStarts(name, starts);
  for (size_t at = 0; at < name.size();) {
    size_t end = at + 1;
    while (!starts[end]) ++end;
    bool refused = false;
    for (size_t unit = at; unit < end && !refused; ++unit) refused = RefusedUnit(name, unit, rules);
    if (refused) {
      out += u'_';
    } else {
      out.append(name.substr(at, end - at));
    }
    at = end;
  }
  for (size_t at = out.size(); at-- > 0;) {
    const bool dot = out[at] == u'.' && (rules & kTrailingDots);
    const bool space = out[at] == u' ' && (rules & (kTrailingSpaces | kTrailingDots));
    if (!dot && !space) break;
    out[at] = u'_';
  }
  if (rules & kLeadingSpaces) {
    for (size_t at = 0; at < out.size() && out[at] == u' '; ++at) out[at] = u'_';
  }
  if ((rules & kDeviceNames) && IsReservedName(out)) out.insert(FirstPart(out), 1, u'_');
  if (rules & kOfficeNames) {
    if (OfficeWholeName(out)) out.insert(out.rfind(u'.'), 1, u'_');
    if (out.substr(0, 2) == u"~$") out[0] = u'_';
    for (size_t at = 0; (at = FindIgnoringCase(out, u"_vti_", at)) != std::u16string::npos;) {
      out[at + 4] = u'-';
    }
  }
  mended = std::move(out);
  return true;
}

}  // namespace naming
