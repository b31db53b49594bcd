// The journal of the companions' runs: each run of snipdir-fit and
// snipdir-undo that renames also writes its report, line by line as
// standard output gets it, to a file of the user's own, so that a report
// written over, or never kept, still takes its run back
// (snipdir-undo --last).
//
// The lines are written as the run goes, a few at a time: once kHeld units
// are held, when a line comes kHeldFor after the first one held, and all
// of them before the run ends or is stopped. A program killed outright
// may leave the last few out; its report on standard output has them.
//
// One file a run, in Platform::JournalFolder, named by its time (to the
// millisecond), its number in that millisecond, its program and directory
// ("20261209-221503-042-01-fit-Documents.report"), so that the names sort
// as the runs were made; its first line
// says where and when it ran, which every report reader passes over:
//
//   snipdir-fit: the report of a run in "/home/ana/Documents/" at 2026-12-09 22:15:03 UTC.
//
// A run taken back by --last gets a second, empty file beside it, its name
// and ".undone". The journal keeps the last kKept runs, and older ones only
// while no later run of their directory is kept and they were not taken
// back: the way back from a directory's last run is never dropped.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "app/command_line.h"
#include "platform/platform.h"

namespace app {

class Journal {
 public:
  static constexpr size_t kKept = 100;

  // For a run of `tool` in `directory` (its full path and a separator, as
  // resolved).
  Journal(platform::Platform& system, Tool tool, std::u16string directory);

  // Adds a line of the report, from its first rename on: the file is made
  // with that. A journal that cannot be written is said once on standard
  // error, and the run goes on without it.
  void Line(std::u16string_view line);
  // Writes the lines held.
  void Flush();
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // The file the run's report is kept in; empty while none was made.
  const std::u16string& path() const { return path_; }
  // True once the journal could not be written: it does not hold the
  // whole report.
  bool failed() const { return failed_; }

  // Finds the latest run of snipdir-fit in `directory` (as resolved) in the
  // journal that was not taken back: sets `path` to its file and `first` to
  // its first line. False when there is none. (Taking back one marks it, so
  // the next call finds the run before it.)
  static bool LastRun(platform::Platform& system, std::u16string_view directory,
                      std::u16string& path, std::u16string& first);

  // Notes that the run kept in `path` was taken back.
  static void MarkUndone(platform::Platform& system, const std::u16string& path);

 private:
  // Units of lines held before they are written, and for how long.
  static constexpr size_t kHeld = 8 * 1024;
  static constexpr std::chrono::milliseconds kHeldFor{50};

  bool Open();
  void Prune(const std::u16string& folder);
  void Failed(platform::ErrorCode error);
  void OutOfMemory();

  platform::Platform& system_;
  const Tool tool_;
  const std::u16string directory_;
  std::unique_ptr<platform::LineFile> file_;
  std::u16string held_;  // lines not written yet, joined by line feeds
  std::chrono::steady_clock::time_point heldSince_;
  std::u16string path_;
  bool failed_ = false;
};

}  // namespace app
