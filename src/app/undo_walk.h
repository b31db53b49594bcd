// The walk of snipdir-undo: every rename a saved report lists, taken back.
#pragma once

#include <string_view>

#include "app/output.h"
#include "app/walk.h"
#include "platform/platform.h"

namespace app {

// Renames every entry `report` lists back to its old name, last rename
// first, one line each.
void RenameBack(platform::Platform& system, OpenDirectory& directory, Output& output,
                std::u16string_view report);

}  // namespace app
