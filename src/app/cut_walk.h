// The walk of snipdir and snipdir-preview: every over-long entry of one
// directory renamed, or in a preview only decided, one line each.
#pragma once

#include <cstdint>

#include "app/output.h"
#include "app/walk.h"
#include "platform/platform.h"

namespace app {

// Cuts the over-long names of the open directory to `maxLength`; a preview
// decides each name the same way and renames nothing. False, after saying
// why, when the listing could not be read to its end: then nothing is
// renamed.
bool CutNames(platform::Platform& system, OpenDirectory& directory, Output& output,
              uint32_t maxLength, bool preview);

}  // namespace app
