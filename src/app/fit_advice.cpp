#include "app/fit_advice.h"

#include "app/fit_summary.h"
#include "app/progress.h"

namespace app {

std::vector<std::u16string> AdviceOnTheUnfit(const fit::Plan::Unfit& worst,
                                             std::u16string_view path,
                                             const std::vector<fit::Node>& nodes,
                                             const fit::Limits& limits, const FitCommand& command,
                                             bool backslashPaths,
                                             const std::function<bool()>& stopped) {
  std::vector<std::u16string> lines;
  const uint32_t budget =
      nodes[worst.node].isDirectory ? limits.budget.directory : limits.budget.file;
  std::u16string line = u"snipdir-fit: the worst path, \"" + std::u16string(path) + u"\", is " +
                        Grouped(worst.over) + u" over " + Grouped(budget) +
                        u" even with every name on it cut to the floor";
  if (limits.baseLength > 1) {
    line += u"; " + Grouped(static_cast<uint64_t>(limits.baseLength)) +
            u" of its length is the folder it goes to";
  }
  lines.push_back(line + u".");
  // The highest floor below the one given at which every path fits.
  uint32_t fits = 0;
  fit::Plan lowest;
  for (uint32_t low = kLowestMaxLength, high = command.floor - 1; low <= high;) {
    fit::Limits lower = limits;
    lower.floor = low + (high - low + 1) / 2;
    fit::Plan plan = fit::MakePlan(nodes, lower, stopped);
    if (plan.stopped) return lines;
    if (plan.unfit.empty()) {
      fits = lower.floor;
      low = lower.floor + 1;
    } else {
      high = lower.floor - 1;
      if (lower.floor == kLowestMaxLength) lowest = std::move(plan);
    }
  }
  if (fits != 0) {
    lines.push_back(u"snipdir-fit: with --floor " + Grouped(fits) + u" every path would fit: " +
                    CommandLineWithFloor(command, fits, backslashPaths));
    return lines;
  }
  // Even at the lowest floor: what is left over on the worst path, and
  // whether a shorter folder or fewer names kept would make up for it.
  const fit::Plan::Unfit* left = command.floor == kLowestMaxLength ? &worst : nullptr;
  for (const fit::Plan::Unfit& unfit : lowest.unfit) {
    if (left == nullptr || unfit.over > left->over) left = &unfit;
  }
  if (left == nullptr) return lines;
  uint64_t freed = 0;  // what cutting its kept names to the lowest floor would give
  for (uint32_t at = left->node; at != fit::kNoParent; at = nodes[at].parent) {
    if (!nodes[at].keep) continue;
    const uint32_t length = limits.pathMeasure.Of(nodes[at].name);
    if (length > kLowestMaxLength) freed += length - kLowestMaxLength;
  }
  line = u"snipdir-fit: not even --floor 8 fits every path (the worst stays " +
         Grouped(left->over) + u" over): ";
  if (limits.baseLength > 1 && static_cast<uint64_t>(limits.baseLength) > left->over) {
    line += u"a folder (--as) shorter by " + Grouped(left->over) + u" would fit it";
    if (freed >= left->over) line += u", or fewer names kept on it";
  } else if (freed >= left->over) {
    line += u"fewer names kept on it would fit it";
  } else {
    line += u"it holds too many directories for the budget: it fits only higher up";
  }
  lines.push_back(line + u".");
  return lines;
}

}  // namespace app
