// The plan of snipdir-fit: which names of a tree to cut, and to what, so
// that every full path fits a budget.
//
// Pure computation on UTF-16 names: the tree comes in, the new names go out.
// The plan depends on the tree alone, never on the order it was listed in.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "fit/limits.h"

namespace fit {

constexpr uint32_t kNoParent = UINT32_MAX;

// One entry of the tree below the directory being fitted.
struct Node {
  uint32_t parent;        // index of its directory's node; kNoParent at the top
  std::u16string_view name;
  bool isDirectory;
  bool keep = false;      // never cut (see fit/keeps.h); its length still counts
};

struct Plan {
  // For each node, its new name, or empty when it keeps its name.
  std::vector<std::u16string> newNames;
  // For each node, true when a cut was planned but every candidate name was
  // taken (the name keeps its length then).
  std::vector<bool> noFreeName;
  // The nodes whose path cannot fit even with every name on it cut as far
  // as it may be, with how many units it would still be over then; in the
  // order of the tree.
  struct Unfit {
    uint32_t node;
    uint32_t over;
  };
  std::vector<Unfit> unfit;
  // The names that stay as they are although the destination does not
  // take them (kept, or too long even when cut as far as they may be), in
  // the order of the tree.
  struct Refused {
    uint32_t node;
    bool kept;
  };
  std::vector<Refused> refused;
  // The order in which to rename: every entry before its directory, and the
  // rest in the order of the tree (names compared as NTFS orders them).
  std::vector<uint32_t> renameOrder;
  // The path that comes closest to its budget once the plan is made (of
  // those that can fit): its length and its budget.
  uint32_t tightestLength = 0, tightestBudget = 0;
  // Of those that cannot: the one furthest over once the plan is made, and
  // by how much (kNoParent and 0 when there is none).
  uint32_t worstNode = kNoParent, worstOver = 0;
  // True when the planning was stopped before its end: the plan is empty.
  bool stopped = false;
};

// Plans the cuts. `nodes` holds every entry once, in any order. A name the
// destination refuses is first mended (naming/destination_names.h), and a
// name over the name limit cut to it. With `twins`, of the entries of a
// directory that keep their names but are one name where the tree is
// going, all but the first (in the order of the tree) get the counter. On an
// over-budget path the longest names are cut first, to a common length
// where they meet (the first in the order of the tree keep the spare
// units); a name shared by many paths is cut once for all of them; no cut
// goes deeper than some path needs. Each cut name is the whole cut of
// naming/whole_cut.h at its new length: its whole extension and whole
// characters kept, no shorter than the floor (and the first character and
// the extension), with the counter where that name is taken by the
// directory's other entries, old or new. `stopped` is asked now and then;
// once it answers true, planning ends.
Plan MakePlan(const std::vector<Node>& nodes, const Limits& limits,
              const std::function<bool()>& stopped = {});

}  // namespace fit
