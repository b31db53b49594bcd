// What renaming would break in a tree of code: program sources that other
// sources name, and the directories that languages find packages by. Pure,
// like the planner.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fit/planner.h"

namespace fit {

struct Breaks {
  // Renamed files with an extension of a programming language's sources,
  // and a --keep pattern for each such extension (the first few).
  uint64_t sources = 0;
  std::vector<std::u16string> sourceKeeps;
  // Renamed directories below "node_modules": packages npm finds by name.
  uint64_t nodePackages = 0;
  // Renamed directories that hold __init__.py, and their names (the first
  // few): packages Python imports by name.
  uint64_t pythonPackages = 0;
  std::vector<std::u16string> pythonNames;
  // Renamed directories below a directory "java": Java packages.
  uint64_t javaPackages = 0;

  bool any() const { return sources + nodePackages + pythonPackages + javaPackages != 0; }
};

// What renaming the nodes that have a new name in `newNames` would break.
Breaks WhatBreaks(const std::vector<Node>& nodes, const std::vector<std::u16string>& newNames);

}  // namespace fit
