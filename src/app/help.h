// What the programs say of themselves: the usage after a wrong command
// line, --help and --version.
#pragma once

#include "app/command_line.h"
#include "platform/platform.h"

namespace app {

// Writes the usage text of `tool` to standard error; returns the exit
// status of a wrong command line, 1.
int Usage(Tool tool, platform::Platform& system);

// Write the help or the version of `tool` to standard output; return 0.
int Help(Tool tool, platform::Platform& system);
int Version(Tool tool, platform::Platform& system);

}  // namespace app
