#include "app/undo_walk.h"

#include <algorithm>
#include <string>
#include <vector>

#include "app/command_line.h"

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
      // A report of snipdir-fit names paths below the directory, "/"
      // between names; a line may rename the last name alone.
      if (Above(oldName_) != Above(newName_)) {
        output_.Line(WithNumber(u"ERROR: Line ", static_cast<ErrorCode>(number),
                                u" of the report renames more than a last name."));
        continue;
      }
      RenameBack();
    }
  }

 private:
  static std::u16string_view Above(std::u16string_view path) {
    const size_t slash = path.rfind(u'/');
    return path.substr(0, slash == std::u16string_view::npos ? 0 : slash);
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

  // Sets `path` to the directory's path and `relative`, its names joined by
  // the system's separator.
  void SetRelativePath(std::u16string& path, std::u16string_view relative) const {
    SetPath(path, relative);
    std::replace(path.begin() + static_cast<std::ptrdiff_t>(nameStart_), path.end(), u'/',
                 traits_.separator);
  }

  void RenameBack() {
    if (!IsPlainPath(oldName_) || !IsPlainPath(newName_)) {
      ReportFailure(newName_, traits_.invalidName);
      return;
    }
    SetRelativePath(from_, newName_);
    SetRelativePath(to_, oldName_);
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

int Undo(const std::vector<std::u16string>& args, platform::Platform& system,
         Output& output) {
  if (args.size() != 3) return Usage(Tool::kUndo, system);
  const bool fromStandardInput = args[2] == u"-";
  if (!fromStandardInput && system.KindOf(args[1].c_str()) == platform::Kind::kOther &&
      system.KindOf(args[2].c_str()) == platform::Kind::kDirectory) {
    output.Line(u"ERROR: The first argument must be the directory and the second the report.");
    return 1;
  }
  OpenDirectory directory;
  if (!Open(args[1], system, output, directory)) return 1;
  std::string bytes;
  if (const ErrorCode error =
          system.ReadFile(fromStandardInput ? nullptr : args[2].c_str(), bytes)) {
    if (system.Interrupted()) return Finish(system, output);
    output.Line(WithNumber(u"ERROR: Cannot read the report (", error, u")."));
    return 1;
  }
  const std::u16string report = DecodeReport(bytes);
  bytes = std::string();  // the text is all the walk needs
  UndoWalk(system, directory, output).Run(report);
  return Finish(system, output);
}


}  // namespace app
