// What would fit a tree that cannot fit: the lines snipdir-fit ends with
// then.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "fit/planner.h"

namespace app {

// The lines on `worst`, the path furthest over (`path`, escaped): how far
// over it stays with every name on it cut to the floor and how much of it
// the folder takes; then the highest --floor at which every path fits, as
// a command to run, or where none would, whether a shorter folder or fewer
// names kept would. Plans again at lower floors, asking `stopped` now and
// then; none once it answers true.
std::vector<std::u16string> AdviceOnTheUnfit(const fit::Plan::Unfit& worst,
                                             std::u16string_view path,
                                             const std::vector<fit::Node>& nodes,
                                             const fit::Limits& limits, const FitCommand& command,
                                             bool backslashPaths,
                                             const std::function<bool()>& stopped);

}  // namespace app
