// The runs of the four programs: snipdir cuts the over-long names of a
// directory; snipdir-preview prints what snipdir would do and changes
// nothing; snipdir-undo renames the entries of a saved report back;
// snipdir-fit fits a whole tree to where it is going.
#pragma once

#include <string>
#include <vector>

#include "app/command_line.h"
#include "platform/platform.h"

namespace app {

// Runs `tool` with `args` (program name first) and returns the exit status:
// 1 for usage, limit, path, listing and report errors (and memory running
// out, or a report that cannot be written), 0 once the walk has run. A run
// the user interrupts ends through Platform::ExitInterrupted.
int Run(Tool tool, const std::vector<std::u16string>& args,
        platform::Platform& system);

// The whole program on this system: what `main` does.
int Main(Tool tool, int argc, char** argv);

}  // namespace app
