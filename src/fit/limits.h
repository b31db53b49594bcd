// The limits a run of snipdir-fit fits a tree to: from a destination or a
// number, the floor, the headroom and the folder the tree goes to.
#pragma once

#include <cstdint>
#include <string_view>

#include "fit/destinations.h"
#include "naming/measure.h"

namespace fit {

// The longest a full path may be, for a file and for a directory.
struct Budget {
  uint32_t file;
  uint32_t directory;
};

// A full path: `baseLength` units (the directory's own path), then for each
// name down to the entry a separator and the name.
// Lengths count in the destination's units: paths in `pathMeasure`, names
// (their limit and the floor) in `nameMeasure`.
struct Limits {
  int64_t baseLength;  // -1 where paths count from the top (no separator before it)
  Budget budget;
  uint32_t floor;  // no name is cut shorter, and none this long or shorter is cut
  uint32_t nameLimit = UINT32_MAX;  // every longer name is cut, wherever it is
  naming::Measure nameMeasure{}, pathMeasure{};
  uint32_t rules = 0;       // naming::NameRule: names the destination refuses
  bool ignoresCase = true;  // names that differ only in case are one name there
  bool decomposes = false;  // names that decompose alike are one name there
  // True when entries of a directory that are one name there (as it
  // compares names) are twins to tell apart, not only the new names.
  bool twins = false;
};

// What a run is asked to fit the tree to.
struct Asked {
  const Destination* destination = nullptr;  // or, where null, a number:
  uint32_t budget = 0;                       // the longest path, in UTF-16 units
  uint32_t floor = 0;
  uint32_t headroom = 0;  // units of every limit left free
  // The folder the tree goes to, as MeasuredPath writes it, and whether it
  // is a folder on Windows.
  std::u16string_view base;
  bool baseOnWindows = false;
  bool namesAreBytes = false;
};

// Sets `limits` to the limits of the run `asked` for. False where some
// limit, less the headroom, holds no name at the floor: `least` is then
// that limit.
bool LimitsOf(const Asked& asked, Limits& limits, uint32_t& least);

}  // namespace fit
