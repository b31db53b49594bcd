// The walk of snipdir and snipdir-preview: every over-long entry of one
// directory renamed, or in a preview only decided, one line each.
#pragma once

#include <string>
#include <vector>

#include "app/output.h"
#include "app/walk.h"
#include "platform/platform.h"

namespace app {

// The run of snipdir, or with `preview` of snipdir-preview, with the
// arguments `operands` (a path and maybe a limit): cuts the over-long names of the directory, or
// decides each the same way and renames nothing. Returns the exit status.
int Cut(const std::vector<std::u16string>& operands, platform::Platform& system, Output& output,
        bool preview);

}  // namespace app
