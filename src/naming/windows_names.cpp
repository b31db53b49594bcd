#include "naming/windows_names.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace naming {
namespace {

struct UpcaseRun {
  char16_t first;
  char16_t last;
  uint16_t step;   // 1: every unit of the run; 2: every other one
  char16_t delta;  // added to a unit, modulo 0x10000, gives its uppercase
};

constexpr UpcaseRun kUpcaseRuns[] = {
#include "naming/upcase_table.inc"
};

struct Fold {
  char16_t unit;
  char16_t key;
};

constexpr Fold kFolds[] = {
#include "naming/fold_table.inc"
};

char16_t AsciiUpper(char16_t unit) {
  return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - 0x20) : unit;
}

bool IsSuperscriptDigit(char16_t unit) {
  return unit == u'\u00B9' || unit == u'\u00B2' || unit == u'\u00B3';
}

}  // namespace

bool IsReservedName(std::u16string_view name) {
  std::u16string_view base = name.substr(0, name.find(u'.'));
  while (!base.empty() && base.back() == u' ') base.remove_suffix(1);
  if (base.size() != 3 && base.size() != 4) return false;

  char16_t upper[3];
  for (size_t i = 0; i < 3; ++i) upper[i] = AsciiUpper(base[i]);
  const std::u16string_view stem(upper, 3);
  if (base.size() == 3) {
    return stem == u"CON" || stem == u"PRN" || stem == u"AUX" || stem == u"NUL";
  }
  const char16_t last = base[3];
  return (stem == u"COM" || stem == u"LPT") &&
         ((last >= u'0' && last <= u'9') || IsSuperscriptDigit(last));
}

char16_t UpcaseUnit(char16_t unit) {
  if (unit < 0x80) return AsciiUpper(unit);
  // The last run that starts at or before the unit.
  const UpcaseRun* run = std::upper_bound(
      std::begin(kUpcaseRuns), std::end(kUpcaseRuns), unit,
      [](char16_t value, const UpcaseRun& r) { return value < r.first; });
  if (run == std::begin(kUpcaseRuns)) return unit;
  --run;
  if (unit > run->last || (unit - run->first) % run->step != 0) return unit;
  return static_cast<char16_t>(unit + run->delta);
}

void Upcase(std::u16string_view name, std::u16string& out) {
  out.resize(name.size());
  std::transform(name.begin(), name.end(), out.begin(), UpcaseUnit);
}

void FoldCase(std::u16string_view name, std::u16string& out) {
  out.resize(name.size());
  std::transform(name.begin(), name.end(), out.begin(), [](char16_t unit) {
    if (unit < 0x80) return AsciiUpper(unit);
    const Fold* fold = std::lower_bound(
        std::begin(kFolds), std::end(kFolds), unit,
        [](const Fold& f, char16_t value) { return f.unit < value; });
    return fold != std::end(kFolds) && fold->unit == unit ? fold->key : UpcaseUnit(unit);
  });
}

bool ListsBefore(std::u16string_view a, std::u16string_view b) {
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    const char16_t upperA = UpcaseUnit(a[i]), upperB = UpcaseUnit(b[i]);
    if (upperA != upperB) return upperA < upperB;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

}  // namespace naming

namespace naming {

uint64_t ListingKey(std::u16string_view name, size_t first) {
  uint64_t key = 0;
  for (size_t i = first; i < first + 4; ++i) {
    key = key << 16 | (i < name.size() ? UpcaseUnit(name[i]) : 0);
  }
  return key;
}

}  // namespace naming
