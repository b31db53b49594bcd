// What snipdir-fit never cuts, so that a fitted tree still works: the
// metadata of version control, the names the user asks to keep, and every
// name a link in the tree points through. Pure, like the planner.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fit/planner.h"

namespace fit {

// True when `name` matches the glob `pattern`: "*" any run of units, "?"
// one unit, "[...]" one of a set ("a-z" a range, "!" or "^" first for any
// but the set), "\" the next unit as it is; letters compared ignoring case
// as Windows does.
bool GlobMatches(std::u16string_view pattern, std::u16string_view name);

// A symbolic link of the tree and what its text says it points to.
struct Link {
  uint32_t node;
  std::u16string target;
};

// How link targets are read on this system.
struct LinkPaths {
  std::u16string_view top;         // the tree's own path, as MeasuredPath gives it
  std::u16string_view separators;  // the units that separate components
  bool ignoreCase;                 // names are found ignoring case (Windows)
};

// Sets `keep` on every node to keep (parents come before their entries in
// `nodes`): the directories .git, .hg, .svn, .bzr and _darcs and all below
// them; names that match one of `patterns` (a pattern ending in "/" keeps
// a matching directory and all below it); and every name on the way of a
// link's target, relative to the link's directory or absolute into the
// tree, as far as it stays inside the tree. Returns how many were kept.
size_t MarkKept(std::vector<Node>& nodes, const std::vector<std::u16string>& patterns,
                const std::vector<Link>& links, const LinkPaths& paths);

}  // namespace fit
