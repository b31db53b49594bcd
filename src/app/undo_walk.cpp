#include "app/undo_walk.h"

#include <algorithm>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/help.h"
#include "app/fit_summary.h"
#include "app/journal.h"
#include "app/progress.h"
#include "app/report_reader.h"

namespace app {
namespace {

using platform::ErrorCode;

// Renames every entry a report lists back to its old name, last rename
// first. A report of snipdir-fit names paths below the directory, "/"
// between names; each line renames the last name alone, in the directory
// its path reaches one name at a time.
class UndoWalk : private WalkBase {
 public:
  UndoWalk(platform::Platform& system, platform::Tree& tree, Output& output)
      : WalkBase(system, output), tree_(tree) {}

  // How a run went: renames taken back, and lines that were not.
  struct Counts {
    uint64_t back = 0, failed = 0, unread = 0;
  };

  // Renames back what `report` lists, its last line first, up to `jobs`
  // at once.
  Counts Run(const ReportReader& report, unsigned jobs) {
    Counts counts;
    const size_t lines = report.size();
    // The line of each rename in flight, made before it starts.
    prepared_.resize(jobs);
    tree_.Renames(
        lines, jobs,
        [&](size_t index, platform::Tree::RenameOrder& rename) {
          if (!GoingOn()) return platform::Go::kStop;
          const ReportReader::Line line = report.line(lines - 1 - index);
          if (!line.readable || Above(line.oldName) != Above(line.newName) ||
              !IsPlainPath(line.oldName) || !IsPlainPath(line.newName)) {
            rename.refused = traits_.invalidName;  // its line says why
            return platform::Go::kOn;
          }
          PrepareLine(ReportRoom(line.newName, line.oldName));
          FormatRename(prepared_[index % jobs], line.newName, line.oldName, traits_.namesAreBytes);
          rename.below = Above(line.newName);
          rename.oldName = Last(line.newName);
          rename.newName = Last(line.oldName);
          return platform::Go::kOn;
        },
        [&](size_t index, ErrorCode error) {
          const ReportReader::Line line = report.line(lines - 1 - index);
          if (!line.readable) {
            output_.Line(WithNumber(u"ERROR: Line ", line.number, u" of the report cannot be read."));
            ++counts.unread;
          } else if (Above(line.oldName) != Above(line.newName)) {
            output_.Line(WithNumber(u"ERROR: Line ", line.number,
                                    u" of the report renames more than a last name."));
            ++counts.unread;
          } else if (error == 0) {
            output_.Line(prepared_[index % jobs]);
            ++counts.back;
          } else {
            ReportFailure(line.newName, error);
            ++counts.failed;
          }
          return GoingOn() ? platform::Go::kOn : platform::Go::kStop;
        });
    return counts;
  }

  // True when some entry the report renamed is in the directory as it
  // named it, or the report renames nothing: a report made elsewhere
  // finds none.
  bool MadeHere(const ReportReader& report) {
    bool renames = false;
    for (size_t index = report.size(); index-- > 0;) {
      const ReportReader::Line line = report.line(index);
      if (!line.readable || !IsPlainPath(line.newName)) continue;
      renames = true;
      // Only a name that is not there tells: one that cannot be looked up
      // (a link on the way) gets its line from the rename.
      if (tree_.LookBelow(Above(line.newName), Last(line.newName)) != traits_.missing) return true;
    }
    return !renames;
  }

 private:
  static std::u16string_view Above(std::u16string_view path) {
    const size_t slash = path.rfind(u'/');
    return path.substr(0, slash == std::u16string_view::npos ? 0 : slash);
  }
  static std::u16string_view Last(std::u16string_view path) {
    const size_t slash = path.rfind(u'/');
    return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
  }

  // True when every name of `path` is a plain name.
  bool IsPlainPath(std::u16string_view path) const {
    for (size_t start = 0;;) {
      const size_t slash = std::min(path.find(u'/', start), path.size());
      if (!IsPlainName(path.substr(start, slash - start))) return false;
      if (slash == path.size()) return true;
      start = slash + 1;
    }
  }

  platform::Tree& tree_;
  std::vector<std::u16string> prepared_;  // the lines of the renames in flight
};

}  // namespace

int Undo(const Arguments& arguments, platform::Platform& system, Output& output) {
  const std::vector<std::u16string>& operands = arguments.operands;
  const auto wrong = [&](std::u16string_view message) {
    system.WriteLine(platform::Stream::Err, message);
    return Usage(Tool::kUndo, system);
  };
  if (operands.empty()) return wrong(u"ERROR: The directory and the report are missing.");
  if (arguments.last && operands.size() != 1) {
    return wrong(u"ERROR: With --last, give the directory alone: the journal holds the report.");
  }
  if (!arguments.last && operands.size() == 1) {
    return wrong(u"ERROR: The report (a file, or - for standard input) is missing; "
                 u"--last takes back the latest run the journal holds.");
  }
  if (operands.size() > 2) return wrong(u"ERROR: Too many arguments: " + operands[2] + u".");
  uint32_t jobs = 0;
  if (arguments.hasJobs && !ReadNumber(arguments.jobs, 1, kMostJobs, jobs)) {
    system.WriteLine(platform::Stream::Err, u"ERROR: --jobs must be a number from 1 to 64.");
    return 1;
  }
  const bool fromStandardInput = !arguments.last && operands[1] == u"-";
  if (!arguments.last && !fromStandardInput &&
      system.KindOf(operands[0].c_str()) == platform::Kind::kOther &&
      system.KindOf(operands[1].c_str()) == platform::Kind::kDirectory) {
    system.WriteLine(platform::Stream::Err,
                     u"ERROR: The first argument must be the directory and the second the report.");
    return 1;
  }
  ResolvedDirectory directory;
  if (!Resolve(operands[0], system, output, directory)) return 1;
  const std::u16string where = directory.workPath.substr(0, directory.nameStart);
  std::u16string kept;
  if (arguments.last) {
    std::u16string first;
    if (!Journal::LastRun(system, where, kept, first)) {
      system.WriteLine(platform::Stream::Err,
                       u"ERROR: The journal holds no run in " + operands[0] +
                           u" that was not taken back; give the report.");
      return 1;
    }
    // "snipdir-fit: the report of a run in "..." at ... UTC."
    const size_t colon = first.find(u':'), in = first.find(u" in \"");
    std::u16string said = u"snipdir-undo: taking back the run of " + first.substr(0, colon);
    if (in != std::u16string::npos && first.back() == u'.') {
      said += first.substr(in, first.size() - 1 - in);
    }
    system.WriteLine(platform::Stream::Err, said + u", kept in " + kept + u".");
  }
  const std::unique_ptr<platform::Tree> tree = OpenTree(directory, system, output);
  if (tree == nullptr) return 1;
  ReportReader report;
  const ErrorCode error = system.ReadFile(
      arguments.last ? kept.c_str() : fromStandardInput ? nullptr : operands[1].c_str(),
      [&](std::string_view piece) {
        return report.Take(piece) ? platform::Go::kOn : platform::Go::kStop;
      });
  if (error != 0) {
    if (system.Interrupted()) return Finish(system, output);
    output.Line(WithNumber(u"ERROR: Cannot read the report (", error, u")."));
    return 1;
  }
  report.End();
  if (report.tooLong() != 0) {
    output.Line(WithNumber(u"ERROR: Line ", report.tooLong(), u" of the report is too long."));
    return 1;
  }
  UndoWalk walk(system, *tree, output);
  if (report.size() == 0) {
    system.WriteLine(platform::Stream::Err,
                     u"snipdir-undo: the report names no rename; snipdir-undo --last " +
                         ShellQuoted(operands[0], BackslashPaths(system)) +
                         u" takes back the latest run the journal holds.");
    return Finish(system, output);
  }
  if (!walk.MadeHere(report)) {
    system.WriteLine(platform::Stream::Err,
                     u"ERROR: None of the names the report renamed to is in " + operands[0] +
                         u": is this the directory the report was made in? Nothing was renamed.");
    return 1;
  }
  Journal journal(system, Tool::kUndo, where);
  const Output::Keeping keeping = output.KeepIn(&journal);
  const UndoWalk::Counts counts =
      walk.Run(report, jobs != 0 ? jobs : tree->OnShare() ? kShareJobs : 1);
  const bool whole = counts.failed == 0 && counts.unread == 0;
  if (!system.Interrupted()) {
    if (arguments.last && whole) Journal::MarkUndone(system, kept);
    if (!whole) {
      // Said where the user looks when the report went to a file.
      output.Flush();
      std::u16string line = u"snipdir-undo: " + Grouped(counts.back) + u" of " +
                            Grouped(counts.back + counts.failed + counts.unread) +
                            u" renames taken back";
      if (counts.failed != 0) line += u"; " + Grouped(counts.failed) + u" failed";
      if (counts.unread != 0) {
        line += u"; " + Grouped(counts.unread) +
                (counts.unread == 1 ? u" line of the report cannot be read"
                                    : u" lines of the report cannot be read");
      }
      system.WriteLine(platform::Stream::Err, line + u" (their lines say which).");
    }
  }
  const int finished = Finish(system, output);
  return finished != 0 ? finished : whole ? 0 : 1;
}

}  // namespace app
