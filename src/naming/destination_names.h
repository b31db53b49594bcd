// Names a destination refuses, and how a name is mended so that it takes
// it. Pure functions on UTF-16. Each mend changes as little as it can: a
// character (as people see one: a grapheme cluster) that holds a refused
// unit becomes one "_", and the other rules change a unit for a unit.
//
//   rule                     refused                      becomes
//   kWindowsCharacters       " * : < > ? \ | and 1 to 31  "_" for the character
//   kJolietCharacters        * : ; ? \, 1 to 31, and any   "_" for the character
//                            character outside UCS-2
//   kWellFormed              a unit of no character: a    "_" for each
//                            lone surrogate or, where
//                            names are bytes, a byte that
//                            is not part of UTF-8
//   kTrailingDots            a name ending in "."         "_" for each trailing
//   kTrailingSpaces          a name ending in " "         space (and dot), from
//                                                         the end back
//   kLeadingSpaces           a name beginning with " "    "_" for each
//   kDeviceNames             CON, AUX, COM1... (before    "_" after that part:
//                            the first dot)               CON.txt -> CON_.txt
//   kOfficeNames             .lock, desktop.ini           "_" before the last
//                                                         dot: desktop_.ini
//                            a name beginning "~$"        "_$..."
//                            "_vti_" anywhere             "_vti-"
//
// Names are compared ignoring case (ASCII letters are all these rules
// name).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace naming {

enum NameRule : uint32_t {
  kWindowsCharacters = 1u << 0,
  kJolietCharacters = 1u << 1,
  kTrailingDots = 1u << 2,
  kTrailingSpaces = 1u << 3,
  kLeadingSpaces = 1u << 4,
  kDeviceNames = 1u << 5,
  kOfficeNames = 1u << 6,
  kWellFormed = 1u << 7,
};

// True when a destination with `rules` refuses `name`.
bool Refuses(std::u16string_view name, uint32_t rules);

// Sets `mended` to `name` made acceptable under `rules`; false (and
// `mended` untouched) when `name` is acceptable as it is.
bool Mend(std::u16string_view name, uint32_t rules, std::u16string& mended);

}  // namespace naming
