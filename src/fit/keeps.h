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
  std::u16string_view top;         // the tree's own path, as it was given
  std::u16string_view separators;  // the units that separate components
  bool ignoreCase;                 // names are found ignoring case (Windows)
  // The tree's path as the system finds it, every link on it resolved
  // (empty: the same as `top`).
  std::u16string_view realTop = {};
};

// Sets `keep` on every node to keep (parents come before their entries in
// `nodes`): the directories .git, .hg, .svn, .bzr and _darcs and all below
// them; names that match one of `patterns` (a pattern ending in "/" keeps
// a matching directory and all below it); and every name of the tree on
// the way to a link's target, followed as the system would: relative to
// the link's directory or absolute, through other links of the tree, and
// out by ".." and back in by the tree's own name (a link that leaves the
// tree for good keeps nothing more). Returns how many were kept.
size_t MarkKept(std::vector<Node>& nodes, const std::vector<std::u16string>& patterns,
                const std::vector<Link>& links, const LinkPaths& paths);

}  // namespace fit
