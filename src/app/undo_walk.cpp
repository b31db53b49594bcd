#include "app/undo_walk.h"

#include <algorithm>
#include <string>
#include <vector>

#include "app/command_line.h"
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

  void Run(const ReportReader& report) {
    for (size_t index = report.size(); index-- > 0;) {
      if (!GoingOn()) return;
      const ReportReader::Line line = report.line(index);
      if (!line.readable) {
        output_.Line(WithNumber(u"ERROR: Line ", line.number, u" of the report cannot be read."));
        continue;
      }
      if (Above(line.oldName) != Above(line.newName)) {
        output_.Line(WithNumber(u"ERROR: Line ", line.number,
                                u" of the report renames more than a last name."));
        continue;
      }
      RenameBack(line.oldName, line.newName);
    }
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

  void RenameBack(std::u16string_view oldName, std::u16string_view newName) {
    if (!IsPlainPath(oldName) || !IsPlainPath(newName)) {
      ReportFailure(newName, traits_.invalidName);
      return;
    }
    PrepareLine(ReportRoom(newName, oldName));
    const ErrorCode error = tree_.RenameBelow(Above(newName), Last(newName), Last(oldName));
    if (error == 0) {
      ReportRename(newName, oldName);
    } else {
      ReportFailure(newName, error);
    }
  }

  platform::Tree& tree_;
};

}  // namespace

int Undo(const std::vector<std::u16string>& operands, platform::Platform& system,
         Output& output) {
  if (operands.size() != 2) return Usage(Tool::kUndo, system);
  const bool fromStandardInput = operands[1] == u"-";
  if (!fromStandardInput && system.KindOf(operands[0].c_str()) == platform::Kind::kOther &&
      system.KindOf(operands[1].c_str()) == platform::Kind::kDirectory) {
    output.Line(u"ERROR: The first argument must be the directory and the second the report.");
    return 1;
  }
  ResolvedDirectory directory;
  if (!Resolve(operands[0], system, output, directory)) return 1;
  const std::unique_ptr<platform::Tree> tree = OpenTree(directory, system, output);
  if (tree == nullptr) return 1;
  ReportReader report;
  const ErrorCode error = system.ReadFile(fromStandardInput ? nullptr : operands[1].c_str(),
                                          [&](std::string_view piece) { return report.Take(piece); });
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
  UndoWalk(system, *tree, output).Run(report);
  return Finish(system, output);
}

}  // namespace app
