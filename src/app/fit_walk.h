// The walk of snipdir-fit: the tree below a directory listed, planned and
// renamed, every entry before its directory, one line each.
#pragma once

#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/output.h"
#include "app/walk.h"
#include "platform/platform.h"

namespace app {

// The run of snipdir-fit with its `arguments`: fits the tree
// below the directory to the budget, or in a preview decides each rename
// the same way and renames nothing. Returns the exit status: 0 when every
// path fits afterwards.
int Fit(const Arguments& arguments, platform::Platform& system, Output& output);

}  // namespace app
