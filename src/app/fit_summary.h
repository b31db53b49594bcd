// What snipdir-fit says on standard error about where a tree stands and
// how it was measured: the line at the end, what the renames break, what
// was measured, a limit that holds no name, and the command lines it gives.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/command_line.h"
#include "fit/breaks.h"

namespace app {

// The figures of a run, each in the measure of its destination.
struct FitFigures {
  bool preview = false;
  bool refused = false;  // nothing renamed, since the tree cannot fit whole
  uint64_t entries = 0, renamed = 0, failed = 0, unseen = 0;
  uint64_t unfit = 0;    // paths that cannot fit
  uint64_t untaken = 0;  // names that cannot be made ones the destination takes
  // Of the paths that fit: the one closest to its budget, and that budget.
  uint32_t tightestLength = 0, tightestBudget = 0;
  // Of those that cannot: the one furthest over, and its budget.
  uint32_t worstOver = 0, worstBudget = 0;
};

// "snipdir-fit: 6,761 of 99,338 entries renamed; the longest path is now
// 250 of 250."
std::u16string SummaryLine(const FitFigures& figures);

// "snipdir-fit: these renames break code: ..." with what would keep it.
std::u16string BreaksLine(const fit::Breaks& breaks, bool preview, bool backslashPaths);

// Where paths are measured on this system (from `measuredFrom`) but go to
// a Windows PC: what was measured, and the --as that says where they go.
std::u16string MeasureLine(const fit::Destination& destination, std::u16string_view measuredFrom);

// Where a limit of the run, `least`, holds no name at the floor: what to
// give instead.
std::u16string NoRoomLine(uint32_t least, const FitCommand& command);

// `text` as one argument of this system's shell: as it is where it can be,
// else in double quotes where paths use backslashes, in single quotes else.
std::u16string ShellQuoted(std::u16string_view text, bool backslashPaths);

// `command` as a command line with `floor` as its floor, each argument
// quoted where this system's shell needs it (double quotes where paths use
// backslashes, else single quotes).
std::u16string CommandLineWithFloor(const FitCommand& command, uint32_t floor,
                                    bool backslashPaths);

}  // namespace app
