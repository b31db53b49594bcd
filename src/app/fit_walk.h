// The walk of snipdir-fit: the tree below a directory listed, planned and
// renamed, every entry before its directory, one line each.
#pragma once

#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/output.h"
#include "app/walk.h"
#include "fit/limits.h"
#include "platform/platform.h"

namespace app {

// Fits `tree`, the tree below `directory`, to `limits` as `command` asks,
// or in a preview decides each rename the same way and renames nothing.
// Returns the exit status: 0 when every path fits afterwards.
int FitTree(platform::Platform& system, const ResolvedDirectory& directory, platform::Tree& tree,
            Output& output, const FitCommand& command, const fit::Limits& limits);

}  // namespace app
