// The places snipdir-fit fits a tree for: what each counts, how long a
// name and a path may be there, and which names it refuses.
#pragma once

#include <cstdint>
#include <string_view>

#include "naming/measure.h"

namespace fit {

struct Destination {
  std::u16string_view name;
  naming::Unit nameUnit;
  uint32_t nameLimit;  // the longest name, in nameUnit
  naming::Unit pathUnit;
  // The longest path of a file and of a directory, in pathUnit: the full
  // path, or where `fromTop` the path below the top.
  uint32_t fileBudget, directoryBudget;
  // True when paths are counted from the top of the tree (the top of an
  // image or a library), not from the directory's full path; a path then
  // counts `topLength`, then a separator and each name ("a/b" is 3 with
  // -1, no separator before the first name).
  bool fromTop;
  int32_t topLength;
  // For a synced folder: the longest full local path of a file and of a
  // directory where that folder is on Windows (0 for none).
  uint32_t localFileBudget, localDirectoryBudget;
  uint32_t rules;  // naming::NameRule
  bool ignoresCase;
  bool decomposes;  // names are stored decomposed: two that decompose alike are one
  // Its full paths are those of a Windows PC: measured well only where
  // --as names the folder there.
  bool windowsPaths;
  std::u16string_view source;  // where the numbers and rules come from
};

// Every named destination, in the order the manual lists them.
const Destination* Destinations(size_t& count);

// The destination called `name`, or nullptr.
const Destination* FindDestination(std::u16string_view name);

}  // namespace fit
