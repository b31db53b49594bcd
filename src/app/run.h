// The runs of the three programs: snipdir cuts the over-long names of a
// directory; snipdir-preview prints what snipdir would do and changes
// nothing; snipdir-undo renames the entries of a saved report back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace app {

enum class Tool { kSnipdir, kPreview, kUndo };

constexpr uint32_t kDefaultMaxLength = 12;
constexpr uint32_t kLowestMaxLength = 8;
constexpr uint32_t kHighestMaxLength = 256;

// Reads the limit argument the way C's decimal conversion does: leading white
// space, one optional sign, then digits up to the first non-digit; no digits
// give 0. Values beyond the signed 32-bit range saturate. The result is taken
// as unsigned, so a negative value becomes a very large one.
uint32_t ParseLimit(std::u16string_view text);

// Runs `tool` with `args` (program name first) and returns the exit status:
// 1 for usage, limit, path, listing and report errors (and memory running
// out, or a report that cannot be written), 0 once the walk has run. A run
// the user interrupts ends through Platform::ExitInterrupted.
int Run(Tool tool, const std::vector<std::u16string>& args,
        platform::Platform& system);

// The whole program on this system: what `main` does.
int Main(Tool tool, int argc, char** argv);

}  // namespace app
