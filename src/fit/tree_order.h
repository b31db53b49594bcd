// The first step of the plan: the tree in the order it is worked in. Each
// directory's entries in the order NTFS keeps names, so that the plan does
// not depend on the order the tree was listed in.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "fit/planner.h"

namespace fit {

// Asks now and then whether the planning is to stop.
class Pace {
 public:
  explicit Pace(const std::function<bool()>& stopped) : stopped_(stopped) {}
  // False once the planning is to stop; asked every few thousand steps.
  bool GoOn(uint32_t step) const { return (step & 0xFFF) != 0 || !stopped_ || !stopped_(); }

 private:
  const std::function<bool()>& stopped_;
};

struct TreeOrder {
  // A directory's entries are children[firstChild[slot]] up to
  // children[firstChild[slot + 1]], in order; its slot is its node, and
  // the top's is the number of nodes.
  std::vector<uint32_t> firstChild;
  std::vector<uint32_t> children;
  std::vector<uint32_t> order;     // the tree, each directory before its entries
  std::vector<uint32_t> mirrored;  // the same with each directory's entries reversed
  std::vector<uint32_t> position;  // of each node in `order`
  std::vector<uint32_t> last;      // of each node, the position of the last of its subtree
};

// Sets `tree` to the order of `nodes`; false when the planning was
// stopped.
bool OrderTree(const std::vector<Node>& nodes, const Pace& pace, TreeOrder& tree);

}  // namespace fit
