// The walk of snipdir-fit: the tree below a directory listed, planned and
// renamed, every entry before its directory, one line each.
#pragma once

#include "app/command_line.h"
#include "app/output.h"
#include "app/walk.h"
#include "platform/platform.h"

namespace app {

// Fits the tree below the open directory to the budget of `command`; in a
// preview decides each rename the same way and renames nothing. Returns the
// exit status of a walk that ran: 0 when every path fits afterwards, else 1.
int FitTree(platform::Platform& system, OpenDirectory& directory, Output& output,
            const FitCommand& command);

}  // namespace app
