// What the three programs take on their command lines: which program runs,
// the limit, and the usage texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace app {

enum class Tool { kSnipdir, kPreview, kUndo, kFit };

constexpr uint32_t kDefaultMaxLength = 12;
constexpr uint32_t kLowestMaxLength = 8;
constexpr uint32_t kHighestMaxLength = 256;

// Reads the limit argument the way C's decimal conversion does: leading white
// space, one optional sign, then digits up to the first non-digit; no digits
// give 0. Values beyond the signed 32-bit range saturate. The result is taken
// as unsigned, so a negative value becomes a very large one.
uint32_t ParseLimit(std::u16string_view text);

// The command line of snipdir-fit: [--preview] [--as PATH] [--floor N]
// <directory> <budget>.
struct FitCommand {
  bool preview = false;
  bool hasAs = false;
  std::u16string as;  // the path the tree will have: its paths are measured there
  uint32_t floor = kDefaultMaxLength;
  std::u16string directory;
  uint32_t fileBudget = 0, directoryBudget = 0;
};

// Reads the arguments of snipdir-fit (program name first). Returns -1 when
// they are good, else the exit status after the usage text or a message.
int ReadFitCommand(const std::vector<std::u16string>& args, platform::Platform& system,
                   FitCommand& command);

// What a command line asks for.
enum class Request { kRun, kHelp, kVersion };

// Reads `args` (program name first) for what they ask. Where no entry of
// that name exists, a first argument --help, -h or -? (and /? where paths
// use backslashes) asks for help, --version or -V for the version, and "--"
// is dropped. Where paths use backslashes, a path argument holding a double
// quote, which no such path can, is read as the Windows command prompt meant
// it: the quote stands for the backslash before a closing quote, and what
// follows it, split at spaces, are the next arguments.
Request ReadCommandLine(std::vector<std::u16string>& args, platform::Platform& system);

// Writes the usage text of `tool` to standard error; returns the exit
// status of a wrong command line, 1.
int Usage(Tool tool, platform::Platform& system);

// Write the help or the version of `tool` to standard output; return 0.
int Help(Tool tool, platform::Platform& system);
int Version(Tool tool, platform::Platform& system);

}  // namespace app
