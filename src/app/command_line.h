// What the four programs take on their command lines: which program runs,
// the limit, the options, and the usage texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fit/destinations.h"
#include "platform/platform.h"

namespace app {

enum class Tool { kSnipdir, kPreview, kUndo, kFit };

constexpr uint32_t kDefaultMaxLength = 12;
constexpr uint32_t kLowestMaxLength = 8;
constexpr uint32_t kHighestMaxLength = 256;
// Calls made at once where --jobs is not given: on a file share (or FUSE),
// 32 (at 1 ms a call, a fit of 100,100 entries and 5,000 renames ran 22
// times as fast as with one; 12 times with 16, 6 with 8); elsewhere, where
// calls do not wait, one after another, which costs least.
constexpr uint32_t kShareJobs = 32, kMostJobs = 64;

// Reads the limit argument the way C's decimal conversion does: leading white
// space, one optional sign, then digits up to the first non-digit; no digits
// give 0. Values beyond the signed 32-bit range saturate. The result is taken
// as unsigned, so a negative value becomes a very large one.
uint32_t ParseLimit(std::u16string_view text);

// The one reader of the numbers of options: digits only (leading zeros
// too), from `lowest` to `highest`. False for anything else.
bool ReadNumber(std::u16string_view text, uint32_t lowest, uint32_t highest, uint32_t& value);

// What a command line asks for.
enum class Request { kRun, kHelp, kVersion, kWrong };

// A program's command line, read.
struct Arguments {
  Request request = Request::kRun;
  // For kWrong: what is wrong, naming the argument ("ERROR: ..."), or empty
  // when the usage text alone says it.
  std::u16string wrong;
  // The arguments that are not options, in order.
  std::vector<std::u16string> operands;
  // The options of snipdir-undo: the journal's last run in the directory;
  // --jobs (below) too.
  bool last = false;
  // The options of snipdir-fit.
  bool preview = false;
  bool partial = false;
  std::vector<std::u16string> keeps;
  bool hasAs = false;
  std::u16string as;
  bool hasFloor = false;
  std::u16string floor;
  bool hasHeadroom = false;
  std::u16string headroom;
  bool hasJobs = false;
  std::u16string jobs;
};

// Reads the arguments of `tool` (program name first), the one reader of
// every program. Where no entry of that name exists, a first argument
// --help, -h or -? (and /? where paths use backslashes) asks for help, and
// --version or -V for the version. "--" ends the options (for snipdir and
// snipdir-preview, which take none, only as the first argument and only
// where no entry has that name). Where paths use backslashes, a path
// argument holding a double quote, which no such path can, is read as the
// Windows command prompt meant it: the quote stands for the backslash
// before a closing quote, and what follows it, split at spaces, are the
// next arguments.
Arguments ReadArguments(Tool tool, std::vector<std::u16string> args,
                        platform::Platform& system);

// The command line of snipdir-fit: [--preview] [--partial] [--as PATH]
// [--floor N] [--headroom N] [--keep PATTERN]... [--jobs N] <directory>
// <budget|destination>.
struct FitCommand {
  bool preview = false;
  bool partial = false;  // fits what can fit even where some path cannot
  std::vector<std::u16string> keeps;
  bool hasAs = false;
  std::u16string as;  // the path the tree will have: its paths are measured there
  uint32_t floor = kDefaultMaxLength;
  std::u16string directory;
  // The destination, or where null a number: the longest path, in UTF-16
  // units.
  const fit::Destination* destination = nullptr;
  uint32_t budget = 0;
  uint32_t headroom = 0;  // units of every limit left free
  // Directories listed at once (0: as kShareJobs says): on a file share
  // each call waits for the server, and calls in flight together wait
  // together.
  uint32_t jobs = 0;
};

// What is wrong with a command line: the line that says it, and whether
// the usage follows (where an argument is missing).
struct CommandError {
  std::u16string line;
  bool usage = false;
};

// Takes the command of snipdir-fit from its arguments: true when it is
// good, else false with `error` set.
bool ReadFitCommand(const Arguments& arguments, FitCommand& command, CommandError& error);

// True where paths use backslashes (Windows).
bool BackslashPaths(platform::Platform& system);

}  // namespace app
