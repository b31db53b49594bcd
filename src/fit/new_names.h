// The last step of the plan: the new names. Each cut name is the whole cut
// at its new length, with the counter where that name is taken by another
// entry of its directory, as it was or as it becomes; entries that keep
// their names but are one name where the tree is going are told apart.
#pragma once

#include <cstdint>
#include <vector>

#include "fit/name_lengths.h"
#include "fit/planner.h"
#include "fit/tree_order.h"

namespace fit {

// Sets the new names of `plan` from the new length of each name
// (`newLength`, in the path's unit); adds kept twins to plan.refused.
// False when the planning was stopped.
bool NameTheCuts(const std::vector<Node>& nodes, const Limits& limits, const TreeOrder& tree,
                 const std::vector<uint32_t>& newLength, NameLengths& names, const Pace& pace,
                 Plan& plan);

}  // namespace fit
