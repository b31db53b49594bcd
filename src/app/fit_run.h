// The run of snipdir-fit: its command read, its directory resolved, the
// limits of the run made, the tree walked and, where it renamed, the way
// back said.
#pragma once

#include "app/command_line.h"
#include "app/output.h"
#include "platform/platform.h"

namespace app {

// The run of snipdir-fit with its `arguments`: fits the tree
// below the directory to the budget, or in a preview decides each rename
// the same way and renames nothing. Returns the exit status: 0 when every
// path fits afterwards.
int Fit(const Arguments& arguments, platform::Platform& system, Output& output);

}  // namespace app
