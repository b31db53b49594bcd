// Each name of the tree as the plan sees it: as mended for the
// destination, its length in the destination's units, the longest it may
// keep, and the lengths it may be cut to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fit/planner.h"
#include "fit/tree_order.h"

namespace fit {

class NameLengths {
 public:
  NameLengths(const std::vector<Node>& nodes, const Limits& limits);

  // Mends the names the destination refuses, measures each name, and finds
  // the longest each may keep within the name limit; adds the names that
  // stay as they are although the destination refuses them to `refused`,
  // in the order of the tree. False when the planning was stopped.
  bool Measure(const TreeOrder& tree, const Pace& pace, std::vector<Plan::Refused>& refused);

  // The name `node` is planned with: its own, or as mended.
  std::u16string_view NameOf(uint32_t node) const {
    return mendedOf_.empty() || mendedOf_[node] == kNotMended ? nodes_[node].name
                                                              : mended_[mendedOf_[node]];
  }
  bool Mended(uint32_t node) const {
    return !mendedOf_.empty() && mendedOf_[node] != kNotMended;
  }
  // Its length uncut, in the path's unit.
  uint32_t Full(uint32_t node) const {
    return full_.empty() ? static_cast<uint32_t>(NameOf(node).size()) : full_[node];
  }
  // The longest it may be on its path: its length, or that of its longest
  // cut within the name limit, in the path's unit.
  uint32_t Longest(uint32_t node) const { return longest_[node]; }
  // Left as it is: kept, or too long even when cut (or, once named, a
  // kept twin).
  bool Refused(uint32_t node) const { return refused_[node]; }
  void Refuse(uint32_t node) { refused_[node] = true; }

  // True where both the names and the paths count UTF-16 units: a length
  // is then a number of units.
  bool CountsUnits() const {
    return limits_.pathMeasure.CountsUnits() && limits_.nameMeasure.CountsUnits();
  }

  // The lengths `node`'s name may have, shortest first: its whole cuts
  // within the name limit and longer than the floor, in the path's unit
  // (`measured`) and in UTF-16 units (`native`), then its own length if it
  // is within the name limit. A name no longer than the floor has no cut.
  void LengthsOf(uint32_t node, std::vector<uint32_t>& measured,
                 std::vector<uint32_t>& native) const;
  // Where in `lengths` the longest no longer than `length` is (the first
  // when none is).
  static size_t AtMost(const std::vector<uint32_t>& lengths, uint32_t length);

 private:
  static constexpr uint32_t kNotMended = UINT32_MAX;

  const std::vector<Node>& nodes_;
  const Limits& limits_;
  std::vector<std::u16string> mended_;  // the names mended for the destination
  std::vector<uint32_t> mendedOf_;      // where each node's is in mended_ (none when empty)
  std::vector<uint32_t> full_;          // each name's length in the path's unit (none when plain)
  std::vector<uint32_t> longest_;
  std::vector<bool> refused_;
  // Buffers of LengthsOf.
  mutable std::vector<uint32_t> cuts_, pathPrefixes_, namePrefixes_;
};

}  // namespace fit
