// What the three programs take on their command lines: which program runs,
// the limit, and the usage texts.
#pragma once

#include <cstdint>
#include <string_view>

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

// Writes the usage text of `tool` to standard error; returns the exit
// status of a wrong command line, 1.
int Usage(Tool tool, platform::Platform& system);

}  // namespace app
