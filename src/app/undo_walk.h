// The walk of snipdir-undo: every rename a saved report lists, taken back.
#pragma once

#include <string>
#include <vector>

#include "app/output.h"
#include "app/walk.h"
#include "platform/platform.h"

namespace app {

// The run of snipdir-undo with the arguments `operands` (the directory and
// the report): renames every
// entry the report lists back to its old name, last rename first, one line
// each. Returns the exit status.
int Undo(const std::vector<std::u16string>& operands, platform::Platform& system, Output& output);

}  // namespace app
