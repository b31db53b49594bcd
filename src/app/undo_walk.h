// The walk of snipdir-undo: every rename a saved report lists, taken back.
#pragma once

#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/output.h"
#include "app/walk.h"
#include "platform/platform.h"

namespace app {

// The run of snipdir-undo with its arguments (the directory and the
// report, or --last and the directory): renames every entry the report
// lists back to its old name, last rename first, one line each. Nothing is
// renamed when no entry the report renamed is in the directory. Returns
// the exit status: 1 also when a rename back failed.
int Undo(const Arguments& arguments, platform::Platform& system, Output& output);

}  // namespace app
