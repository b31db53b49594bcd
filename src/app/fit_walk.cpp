#include "app/fit_walk.h"

#include <algorithm>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/fit_advice.h"
#include "app/fit_summary.h"
#include "app/progress.h"
#include "app/report_reader.h"
#include "fit/keeps.h"
#include "fit/measured_path.h"
#include "fit/planner.h"
#include "naming/windows_names.h"

namespace app {
namespace {

// A listed entry's parent is the planner's node's parent as it stands.
static_assert(fit::kNoParent == platform::TreeEntry::kTop,
              "the top of a listing is the planner's root");

using platform::ErrorCode;
using platform::TreeEntry;

class FitWalk : private WalkBase {
 public:
  FitWalk(platform::Platform& system, const ResolvedDirectory& directory,
          platform::Tree& tree, Output& output, const FitCommand& command,
          const fit::Limits& limits)
      : WalkBase(system, output),
        directory_(directory),
        tree_(tree),
        command_(command),
        limits_(limits) {}

  int Run() {
    Progress progress(system_);
    std::vector<platform::TreeError> unseen;
    const unsigned jobs = command_.jobs != 0 ? command_.jobs : tree_.OnShare() ? kShareJobs : 1;
    listing_ = &tree_.List(unseen, [&](size_t listed) {
      progress.Show(listed, 0);
      return system_.Interrupted() ? platform::Go::kStop : platform::Go::kOn;
    }, jobs);
    if (system_.Interrupted()) return 1;
    // The directory itself could not be listed: there is no tree to plan.
    for (const platform::TreeError& error : unseen) {
      if (error.node != TreeEntry::kTop) continue;
      output_.Line(WithNumber(error.partWay ? u"ERROR: FindNextFile() failed ("
                                            : u"ERROR: FindFirstFile() failed (",
                              error.error, u")."));
      return 1;
    }
    const uint64_t entries = listing_->entries.size();
    const std::vector<fit::Node> nodes = Nodes();
    WarnOfTheMeasure();
    const auto stop = [&] {
      progress.Show(entries, 0);
      return system_.Interrupted();
    };
    const fit::Plan plan = fit::MakePlan(nodes, limits_, stop);
    if (plan.stopped) return 1;

    // What could not be seen, and what cannot fit, comes first. Unless
    // --partial asks for the rest, a tree that cannot fit whole is left as
    // it is.
    ReportUnseen(unseen);
    for (const fit::Plan::Unfit& unfit : plan.unfit) ReportUnfit(unfit);
    for (const fit::Plan::Refused& refused : plan.refused) ReportRefused(refused);
    size_t noFreeName = plan.refused.size();
    for (uint32_t node = 0; node < plan.noFreeName.size(); ++node) noFreeName += plan.noFreeName[node];
    const bool whole = plan.unfit.empty() && unseen.empty() && noFreeName == 0;
    noFreeName -= plan.refused.size();
    FitFigures figures;
    figures.preview = command_.preview;
    figures.refused = !whole && !command_.partial;
    // Before anything is renamed: what the renames break.
    if (!figures.refused) {
      const fit::Breaks breaks = fit::WhatBreaks(nodes, plan.newNames);
      if (breaks.any()) Say(BreaksLine(breaks, command_.preview, app::BackslashPaths(system_)));
    }
    const std::vector<uint32_t> none;
    const std::vector<uint32_t>& order = figures.refused ? none : plan.renameOrder;
    // The line of each rename in flight, made before it starts.
    prepared_.resize(jobs);
    // A preview asks what each rename would fail with, and renames nothing.
    tree_.Renames(
        order.size(), jobs,
        [&](size_t index, platform::Tree::RenameOrder& rename) {
          if (!GoingOn()) return platform::Go::kStop;
          rename.node = order[index];
          rename.newName = plan.newNames[rename.node];
          rename.refused = Prepare(rename.node, rename.newName, prepared_[index % jobs]);
          rename.ask = command_.preview;
          return platform::Go::kOn;
        },
        [&](size_t index, ErrorCode error) {
          const uint32_t node = order[index];
          (Report(node, error, prepared_[index % jobs]) ? figures.renamed : figures.failed) += 1;
          progress.Show(entries, figures.renamed);
          return GoingOn() ? platform::Go::kOn : platform::Go::kStop;
        });
    for (uint32_t node = 0; node < plan.noFreeName.size(); ++node) {
      if (plan.noFreeName[node] && GoingOn()) ReportFailure(Path(node), traits_.targetExists);
    }
    progress.Clear();
    if (GoingOn()) {
      figures.entries = entries;
      figures.unseen = unseen.size();
      figures.unfit = plan.unfit.size();
      figures.untaken = noFreeName + plan.refused.size();
      figures.tightestLength = plan.tightestLength;
      figures.tightestBudget = plan.tightestBudget;
      // Left as it is, the worst path is as far over as the plan leaves it;
      // else as far as it stays once every name on it is cut to the floor.
      const fit::Plan::Unfit* worst = nullptr;
      for (const fit::Plan::Unfit& unfit : plan.unfit) {
        if (worst == nullptr || unfit.over > worst->over) worst = &unfit;
      }
      if (worst != nullptr) {
        figures.worstOver = figures.refused ? worst->over : plan.worstOver;
        figures.worstBudget = BudgetOf(figures.refused ? worst->node : plan.worstNode);
      }
      Say(SummaryLine(figures));
      if (worst != nullptr) {
        std::u16string path;
        AppendEscaped(path, Path(worst->node), traits_.namesAreBytes);
        for (const std::u16string& line : AdviceOnTheUnfit(
                 *worst, path, nodes, limits_, command_, app::BackslashPaths(system_), stop)) {
          Say(line);
        }
      }
    }
    return whole && figures.failed == 0 ? 0 : 1;
  }

 private:
  // The tree for the planner, with what must not change marked.
  std::vector<fit::Node> Nodes() {
    std::vector<fit::Node> nodes;
    nodes.reserve(listing_->entries.size());
    std::vector<fit::Link> links;
    std::u16string target;
    for (uint32_t node = 0; node < listing_->entries.size(); ++node) {
      const TreeEntry& entry = listing_->entries[node];
      nodes.push_back({entry.parent, listing_->Name(node), entry.isDirectory, entry.isOutput});
      if (entry.isLink && tree_.ReadLink(node, target) == 0) links.push_back({node, target});
    }
    const std::u16string top = fit::MeasuredPath(
        std::u16string_view(directory_.workPath).substr(0, directory_.nameStart),
        traits_.separators);
    std::u16string real;
    if (!links.empty() && tree_.RealPath(real) != 0) real.clear();
    fit::MarkKept(nodes, command_.keeps, links,
                  {top, traits_.separators, /*ignoreCase=*/!traits_.namesAreBytes, real});
    return nodes;
  }

  void ReportRefused(const fit::Plan::Refused& refused) {
    line_ = u"ERROR: ";
    AppendQuoted(line_, Path(refused.node), traits_.namesAreBytes);
    line_ += refused.kept ? u": kept, but " : u": cannot be cut to a name ";
    line_ += command_.destination->name;
    line_ += refused.kept ? u" does not take its name." : u" takes.";
    output_.Line(line_);
  }

  void ReportUnfit(const fit::Plan::Unfit& unfit) {
    line_ = u"ERROR: ";
    AppendQuoted(line_, Path(unfit.node), traits_.namesAreBytes);
    line_ += u": cannot fit in ";
    AppendDecimal(line_, listing_->entries[unfit.node].isDirectory ? limits_.budget.directory
                                                                  : limits_.budget.file);
    line_ += u" (";
    AppendDecimal(line_, unfit.over);
    line_ += u" over).";
    output_.Line(line_);
  }

  uint32_t BudgetOf(uint32_t node) const {
    return listing_->entries[node].isDirectory ? limits_.budget.directory : limits_.budget.file;
  }

  // Where paths are measured on this system but go to a Windows PC, and
  // --as does not say where: one line saying what was measured.
  void WarnOfTheMeasure() {
    const fit::Destination* destination = command_.destination;
    if (destination == nullptr || !destination->windowsPaths || command_.hasAs ||
        app::BackslashPaths(system_)) {
      return;
    }
    Say(MeasureLine(*destination,
                    fit::MeasuredPath(std::u16string_view(directory_.workPath)
                                          .substr(0, directory_.nameStart),
                                      traits_.separators)));
  }

  // Writes a line on standard error, after the lines gathered for standard
  // output, so that the two read in order where they go to one place.
  void Say(std::u16string_view line) {
    output_.Flush();
    system_.WriteLine(platform::Stream::Err, line);
  }

  // The directories that could not be listed, in the order of the tree.
  void ReportUnseen(std::vector<platform::TreeError>& unseen) {
    std::vector<std::pair<std::vector<std::u16string_view>, const platform::TreeError*>> sorted;
    for (const platform::TreeError& error : unseen) {
      std::vector<std::u16string_view> names;
      for (uint32_t at = error.node; at != TreeEntry::kTop; at = listing_->entries[at].parent) {
        names.push_back(listing_->Name(at));
      }
      std::reverse(names.begin(), names.end());
      sorted.emplace_back(std::move(names), &error);
    }
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
      return std::lexicographical_compare(a.first.begin(), a.first.end(), b.first.begin(),
                                          b.first.end(), naming::ListsBefore);
    });
    for (const auto& [names, error] : sorted) {
      line_ = u"ERROR: ";
      AppendQuoted(line_, Path(error->node), traits_.namesAreBytes);
      line_ += WithNumber(error->partWay ? u": FindNextFile() failed ("
                                         : u": FindFirstFile() failed (",
                          error->error, u").");
      output_.Line(line_);
    }
  }

  // The path of `node` below the directory, names joined by "/".
  std::u16string Path(uint32_t node) const {
    std::vector<uint32_t> chain;
    for (uint32_t at = node; at != TreeEntry::kTop; at = listing_->entries[at].parent) {
      chain.push_back(at);
    }
    std::u16string path;
    for (size_t i = chain.size(); i-- > 0;) {
      path += listing_->Name(chain[i]);
      if (i > 0) path += u'/';
    }
    return path;
  }

  // Sets `above_` to the path of the directory that holds `node`, with a
  // "/" after it (nothing at the top). The entries of one directory are
  // renamed one after another, so each directory's path is made once.
  void Above(uint32_t node) {
    const uint32_t parent = listing_->entries[node].parent;
    if (aboveKnown_ && parent == aboveOf_) return;
    aboveKnown_ = true;
    aboveOf_ = parent;
    above_.clear();
    if (parent != TreeEntry::kTop) above_ = Path(parent) + u'/';
    escapedAbove_.clear();
    AppendEscaped(escapedAbove_, above_, traits_.namesAreBytes);
  }

  // Makes `line`, the line of the rename of `node` to `newName`, before
  // the rename: a rename made always has its line. Returns 0, or the error
  // the rename fails with without being made: a line too long to be read
  // back to undo it, or (only from an emulation of Windows on another
  // system) a name that could reach another directory.
  ErrorCode Prepare(uint32_t node, std::u16string_view newName, std::u16string& line) {
    Above(node);
    const std::u16string_view oldName = listing_->Name(node);
    const size_t room =
        ReportRoom(above_.size() + oldName.size(), above_.size() + newName.size());
    if (room > kLongestReportLine || !IsPlainName(oldName) || !IsPlainName(newName)) {
      return traits_.invalidName;
    }
    PrepareLine(room);
    // The line of ReportRename, with the directory's path escaped once for
    // all its entries.
    line = u"\"";
    line += escapedAbove_;
    AppendEscaped(line, oldName, traits_.namesAreBytes);
    line += u"\" => \"";
    line += escapedAbove_;
    AppendEscaped(line, newName, traits_.namesAreBytes);
    line += u'"';
    return 0;
  }

  // Reports the rename of `node` (or in a preview, what it would do) with
  // its `prepared` line; true when it was renamed.
  bool Report(uint32_t node, ErrorCode error, const std::u16string& prepared) {
    if (error == 0) {
      output_.Line(prepared);
      return true;
    }
    // The full paths are made only for a line that needs them.
    Above(node);
    oldPath_.assign(above_).append(listing_->Name(node));
    ReportFailure(oldPath_, error);
    return false;
  }

  const ResolvedDirectory& directory_;
  platform::Tree& tree_;
  const FitCommand& command_;
  const fit::Limits limits_;
  const platform::TreeListing* listing_ = nullptr;
  bool aboveKnown_ = false;
  uint32_t aboveOf_ = 0;  // the directory above_ is the path of
  std::u16string above_, escapedAbove_;
  std::u16string oldPath_;  // a path below the directory, for an error line
  std::vector<std::u16string> prepared_;  // the lines of the renames in flight
};

}  // namespace

int FitTree(platform::Platform& system, const ResolvedDirectory& directory, platform::Tree& tree,
            Output& output, const FitCommand& command, const fit::Limits& limits) {
  return FitWalk(system, directory, tree, output, command, limits).Run();
}

}  // namespace app
