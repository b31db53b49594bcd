#include "app/fit_walk.h"

#include <string>
#include <vector>

#include "app/command_line.h"
#include "fit/planner.h"

namespace app {
namespace {

using platform::ErrorCode;

class FitWalk : private WalkBase {
 public:
  FitWalk(platform::Platform& system, OpenDirectory& directory, Output& output,
          const FitCommand& command)
      : WalkBase(system, directory, output), command_(command) {}

  int Run() {
    const std::u16string top = workPath_.substr(0, nameStart_);
    if (const ErrorCode error = system_.ListTree(top.c_str(), entries_, names_)) {
      output_.Line(WithNumber(u"ERROR: FindNextFile() failed (", error, u")."));
      return 1;
    }
    std::vector<fit::Node> nodes;
    nodes.reserve(entries_.size());
    for (const platform::TreeEntry& entry : entries_) {
      nodes.push_back({entry.parent, NameOf(entry), entry.isDirectory, entry.isOutput});
    }
    const fit::Plan plan = fit::MakePlan(
        nodes, {BaseLength(), {command_.fileBudget, command_.directoryBudget}, command_.floor});
    nodes = std::vector<fit::Node>();

    bool allFit = plan.unfit.empty();
    for (const fit::Plan::Unfit& unfit : plan.unfit) {
      line_ = u"ERROR: ";
      AppendQuoted(line_, Path(unfit.node, u'/'), traits_.namesAreBytes);
      line_ += u": cannot fit in ";
      AppendDecimal(line_, entries_[unfit.node].isDirectory ? command_.directoryBudget
                                                            : command_.fileBudget);
      line_ += u" (";
      AppendDecimal(line_, unfit.over);
      line_ += u" over).";
      output_.Line(line_);
    }
    for (const uint32_t node : plan.renameOrder) {
      if (!GoingOn()) break;
      allFit = Rename(node, plan.newNames[node]) && allFit;
    }
    for (uint32_t node = 0; node < plan.noFreeName.size(); ++node) {
      if (!plan.noFreeName[node] || !GoingOn()) continue;
      ReportFailure(Path(node, u'/'), traits_.targetExists);
      allFit = false;
    }
    return allFit ? 0 : 1;
  }

 private:
  std::u16string_view NameOf(const platform::TreeEntry& entry) const {
    return std::u16string_view(names_).substr(entry.nameOffset, entry.nameLength);
  }

  // The path of `node` below the directory, names joined by `separator`.
  std::u16string Path(uint32_t node, char16_t separator) const {
    std::vector<uint32_t> chain;
    for (uint32_t at = node; at != platform::TreeEntry::kTop; at = entries_[at].parent) {
      chain.push_back(at);
    }
    std::u16string path;
    for (size_t i = chain.size(); i-- > 0;) {
      path += NameOf(entries_[chain[i]]);
      if (i > 0) path += separator;
    }
    return path;
  }

  // The length of the directory's own full path, as the system writes it
  // (without the long-path prefix), or of the path given with --as.
  uint32_t BaseLength() const {
    std::u16string_view base = command_.hasAs ? std::u16string_view(command_.as)
                                              : std::u16string_view(workPath_).substr(0, nameStart_);
    size_t length = base.size();
    if (!command_.hasAs) {
      if (!traits_.longUncPrefix.empty() && base.substr(0, traits_.longUncPrefix.size()) ==
                                                traits_.longUncPrefix) {
        length -= traits_.longUncPrefix.size() - 2;  // "\\server\share"
      } else if (base.substr(0, traits_.longPathPrefix.size()) == traits_.longPathPrefix) {
        length -= traits_.longPathPrefix.size();
      }
    }
    // Entries' paths add a separator and their name; one ending the base
    // already counts.
    if (!base.empty() && traits_.separators.find(base.back()) != std::u16string_view::npos) {
      --length;
    }
    return static_cast<uint32_t>(length);
  }

  // Sets `above` to the path of the directory that holds `node`, with a
  // separator after it (nothing at the top), and `here` to the same with
  // the system's separator. The entries of one directory are renamed one
  // after another, so each directory's path is made once.
  void Above(uint32_t node) {
    const uint32_t parent = entries_[node].parent;
    if (aboveKnown_ && parent == aboveOf_) return;
    aboveKnown_ = true;
    aboveOf_ = parent;
    above_.clear();
    here_.clear();
    if (parent == platform::TreeEntry::kTop) return;
    above_ = Path(parent, u'/') + u'/';
    here_ = Path(parent, traits_.separator) + traits_.separator;
  }

  // Renames `node` to `newName`, reporting it; true when it was renamed (or
  // in a preview would be).
  bool Rename(uint32_t node, std::u16string_view newName) {
    Above(node);
    const std::u16string_view oldName = NameOf(entries_[node]);
    SetPath(from_, here_);
    from_ += oldName;
    SetPath(to_, here_);
    to_ += newName;
    oldPath_.assign(above_).append(oldName);
    newPath_.assign(above_).append(newName);
    line_.reserve(ReportRoom(oldPath_, newPath_));
    const ErrorCode error = Move();
    if (error == 0) {
      ReportRename(oldPath_, newPath_);
    } else {
      ReportFailure(oldPath_, error);
    }
    return error == 0;
  }

  // The rename itself; in a preview, what a rename would meet where the
  // entry is. The plan already knows every name of the tree, so no new
  // name is looked up.
  ErrorCode Move() {
    if (!command_.preview) return directory_.Rename(from_.c_str(), to_.c_str(), nameStart_);
    return directory_.RenameRefusal(from_.c_str(), nameStart_);
  }

  const FitCommand& command_;
  std::vector<platform::TreeEntry> entries_;
  std::u16string names_;  // every name of the tree, end to end
  bool aboveKnown_ = false;
  uint32_t aboveOf_ = 0;  // the directory above_ and here_ are the paths of
  std::u16string above_, here_;
  std::u16string from_, to_;        // full paths, for the system
  std::u16string oldPath_, newPath_;  // paths below the directory, for the report
};

}  // namespace

int Fit(const std::vector<std::u16string>& args, platform::Platform& system,
        Output& output) {
  FitCommand command;
  if (const int status = ReadFitCommand(args, system, command); status >= 0) return status;
  OpenDirectory directory;
  if (!Open(command.directory, system, output, directory)) return 1;
  if (command.preview) output.Gather();
  const int status = FitWalk(system, directory, output, command).Run();
  const int finished = Finish(system, output);
  return finished != 0 ? finished : status;
}


}  // namespace app
