#include "app/undo_walk.h"

#include <algorithm>
#include <string>
#include <vector>

namespace app {
namespace {

using platform::ErrorCode;

// Renames every entry a report lists back to its old name, last rename first.
class UndoWalk : private WalkBase {
 public:
  UndoWalk(platform::Platform& system, OpenDirectory& directory, Output& output)
      : WalkBase(system, directory, output) {}

  void Run(std::u16string_view report) {
    std::vector<std::u16string_view> lines;
    for (size_t start = 0; start < report.size();) {
      const size_t end = std::min(report.find(u'\n', start), report.size());
      lines.push_back(report.substr(start, end - start));
      start = end + 1;
    }
    for (size_t number = lines.size(); number > 0; --number) {
      if (!GoingOn()) return;
      std::u16string_view line = lines[number - 1];
      if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
      // Reports joined into one keep the byte-order mark of each.
      if (!line.empty() && line.front() == u'\uFEFF') line.remove_prefix(1);
      // Blank lines and the messages of the run name no rename.
      if (line.empty() || line.substr(0, 7) == u"ERROR: ") continue;
      if (!ParseRename(line, oldName_, newName_)) {
        output_.Line(WithNumber(u"ERROR: Line ", static_cast<ErrorCode>(number),
                                u" of the report cannot be read."));
        continue;
      }
      RenameBack();
    }
  }

 private:
  void RenameBack() {
    if (!IsPlainName(oldName_) || !IsPlainName(newName_)) {
      ReportFailure(newName_, traits_.invalidName);
      return;
    }
    SetPath(from_, newName_);
    SetPath(to_, oldName_);
    line_.reserve(ReportRoom(newName_, oldName_));
    const ErrorCode error = directory_.Rename(from_.c_str(), to_.c_str(), nameStart_);
    if (error == 0) {
      ReportRename(newName_, oldName_);
    } else {
      ReportFailure(newName_, error);
    }
  }

  std::u16string oldName_, newName_;  // as the report names them
  std::u16string from_, to_;
};

}  // namespace

void RenameBack(platform::Platform& system, OpenDirectory& directory, Output& output,
                std::u16string_view report) {
  UndoWalk(system, directory, output).Run(report);
}

}  // namespace app
