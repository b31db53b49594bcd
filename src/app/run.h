// The snipdir run: arguments, limit, path resolution, the walk over the
// directory with its renames, every message and the exit status.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace app {

constexpr uint32_t kDefaultMaxLength = 12;
constexpr uint32_t kLowestMaxLength = 8;
constexpr uint32_t kHighestMaxLength = 256;

// Reads the limit argument the way C's decimal conversion does: leading white
// space, one optional sign, then digits up to the first non-digit; no digits
// give 0. Values beyond the signed 32-bit range saturate. The result is taken
// as unsigned, so a negative value becomes a very large one.
uint32_t ParseLimit(std::u16string_view text);

// Runs the tool with `args` (program name first) and returns the exit status:
// 1 for usage, limit, path and listing errors (and memory running out), 0
// once the directory was walked.
int Run(const std::vector<std::u16string>& args, platform::Platform& system);

}  // namespace app
