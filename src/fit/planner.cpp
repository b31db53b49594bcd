#include "fit/planner.h"

#include <algorithm>
#include <limits>

#include "fit/name_lengths.h"
#include "fit/new_names.h"
#include "fit/ranges.h"
#include "fit/tree_order.h"

namespace fit {
namespace {

constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();

// The steps of the plan, one after another, each with what it needs:
//   OrderTree      the tree in the order it is worked in (tree_order.h)
//   Measure        each name mended, measured, its longest (name_lengths.h)
//   Bounds         the shortest each name on a path over budget may become
//   Levels         for each path over budget, the longest its names may
//                  keep, or that it cannot fit
//   Cut            each name cut to the lowest level of the paths through it
//   GiveBack       what the paths leave to spare, given back
//   NameTheCuts    the new names, with counters (new_names.h)
class Planner {
 public:
  Planner(const std::vector<Node>& nodes, const Limits& limits,
          const std::function<bool()>& stopped)
      : nodes_(nodes), limits_(limits), pace_(stopped),
        count_(static_cast<uint32_t>(nodes.size())), names_(nodes, limits_) {}

  Plan Run() {
    Plan plan;
    plan.newNames.resize(count_);
    plan.noFreeName.resize(count_);
    if (count_ == 0) return plan;
    const bool done = OrderTree(nodes_, pace_, tree_) &&
                      names_.Measure(tree_, pace_, plan.refused) && Bounds() &&
                      Levels(plan) && Cut() && GiveBack() &&
                      NameTheCuts(nodes_, limits_, tree_, newLength_, names_, pace_, plan);
    if (!done) {
      Plan stopped;
      stopped.stopped = true;
      return stopped;
    }
    // Twins found while naming were kept names the destination refuses.
    std::sort(plan.refused.begin(), plan.refused.end(),
              [this](const Plan::Refused& a, const Plan::Refused& b) {
                return tree_.position[a.node] < tree_.position[b.node];
              });
    // Every entry before its directory: the tree's order backwards, each
    // directory's entries taken in their order.
    for (uint32_t i = count_; i-- > 0;) {
      const uint32_t node = tree_.mirrored[i];
      if (!plan.newNames[node].empty()) plan.renameOrder.push_back(node);
    }
    Tightest(plan);
    return plan;
  }

 private:
  uint32_t Longest(uint32_t node) const { return names_.Longest(node); }
  bool Cuttable(uint32_t node) const { return shortest_[node] < Longest(node); }
  int64_t BudgetOf(uint32_t node) const {
    return nodes_[node].isDirectory ? limits_.budget.directory : limits_.budget.file;
  }

  // How short each name may become: the shortest whole cut from the floor
  // on, for names on a path that is over budget (the others stay as they
  // are); the name's longest where it is not cut.
  bool Bounds() {
    std::vector<int64_t> pathLength(count_);
    std::vector<bool> over(count_);
    for (uint32_t i = 0; i < count_; ++i) {
      const uint32_t node = tree_.order[i], parent = nodes_[node].parent;
      pathLength[node] =
          (parent == kNoParent ? limits_.baseLength : pathLength[parent]) + 1 + Longest(node);
      over[node] = pathLength[node] > BudgetOf(node);
    }
    for (uint32_t i = count_; i-- > 0;) {
      const uint32_t node = tree_.order[i], parent = nodes_[node].parent;
      if (over[node] && parent != kNoParent) over[parent] = true;
    }
    shortest_.resize(count_);
    std::vector<uint32_t> lengths, native;
    for (uint32_t node = 0; node < count_; ++node) {
      shortest_[node] = Longest(node);
      if (!over[node] || nodes_[node].keep) continue;
      names_.LengthsOf(node, lengths, native);
      if (!lengths.empty()) shortest_[node] = lengths.front();
      if (!pace_.GoOn(node)) return false;
    }
    return true;
  }

  // For each node whose path is over budget, the longest length its names
  // can keep (names longer are cut to it, none below its shortest), or its
  // place among the unfit.
  bool Levels(Plan& plan) {
    uint32_t longest = limits_.floor;
    for (uint32_t node = 0; node < count_; ++node) longest = std::max(longest, Longest(node));
    // The names that may be cut on the path in hand, by their longest and
    // by their shortest: a name at level L counts min(longest, max(shortest, L)).
    LengthTally byLongest(longest), byShortest(longest);
    level_.assign(count_, kNone);
    unfit_.assign(count_, false);
    std::vector<uint32_t> path;       // the nodes from the top down to the one in hand
    std::vector<int64_t> fixed;       // base, separators and uncut names, along `path`
    std::vector<int64_t> cuttable;    // how many cuttable names, along `path`
    for (uint32_t step = 0; step < count_; ++step) {
      if (!pace_.GoOn(step)) return false;
      const uint32_t node = tree_.order[step];
      while (!path.empty() && path.back() != nodes_[node].parent) {
        if (Cuttable(path.back())) {
          byLongest.Add(Longest(path.back()), -1);
          byShortest.Add(shortest_[path.back()], -1);
        }
        path.pop_back();
        fixed.pop_back();
        cuttable.pop_back();
      }
      const int64_t fixedBefore = path.empty() ? limits_.baseLength : fixed.back();
      const int64_t cuttableBefore = path.empty() ? 0 : cuttable.back();
      const bool cuttableHere = Cuttable(node);
      path.push_back(node);
      fixed.push_back(fixedBefore + 1 + (cuttableHere ? 0 : Longest(node)));
      cuttable.push_back(cuttableBefore + (cuttableHere ? 1 : 0));
      if (cuttableHere) {
        byLongest.Add(Longest(node), +1);
        byShortest.Add(shortest_[node], +1);
      }
      const int64_t names = cuttable.back();
      const auto total = [&](uint32_t level) {
        int64_t longCount, longSum, shortCount, shortSum, allShort, shortAll;
        byLongest.UpTo(level, longCount, longSum);       // names no longer than the level
        byShortest.UpTo(level == 0 ? 0 : level - 1, shortCount, shortSum);
        byShortest.UpTo(longest, allShort, shortAll);    // names that may not reach it
        const int64_t above = allShort - shortCount, aboveSum = shortAll - shortSum;
        return fixed.back() + longSum + aboveSum + int64_t{level} * (names - longCount - above);
      };
      const int64_t budget = BudgetOf(node);
      if (total(longest) <= budget) continue;  // fits as it is
      const int64_t atShortest = total(0);
      if (atShortest > budget) {
        plan.unfit.push_back({node, static_cast<uint32_t>(atShortest - budget)});
        unfit_[node] = true;
        continue;
      }
      // The longest level that fits.
      uint32_t low = 0, high = longest;
      while (low < high) {
        const uint32_t middle = low + (high - low + 1) / 2;
        if (total(middle) <= budget) {
          low = middle;
        } else {
          high = middle - 1;
        }
      }
      level_[node] = low;
    }
    return true;
  }

  // Each name is cut to the lowest level of the paths through it, or to
  // the longest whole cut no longer.
  bool Cut() {
    std::vector<uint32_t> lowest(level_);
    for (uint32_t i = count_; i-- > 0;) {
      const uint32_t node = tree_.order[i];
      if (nodes_[node].parent != kNoParent) {
        uint32_t& up = lowest[nodes_[node].parent];
        up = std::min(up, lowest[node]);
      }
    }
    newLength_.resize(count_);
    std::vector<uint32_t> lengths, native;
    for (uint32_t node = 0; node < count_; ++node) {
      newLength_[node] = Longest(node);
      if (!Cuttable(node) || lowest[node] >= Longest(node)) continue;
      names_.LengthsOf(node, lengths, native);
      newLength_[node] =
          lengths[NameLengths::AtMost(lengths, std::max(lowest[node], shortest_[node]))];
      if (!pace_.GoOn(node)) return false;
    }
    return true;
  }

  // Gives cut names back what every path through them leaves to spare, top
  // first: first one whole cut longer each (the spare units of a level go
  // to the names met first), then all that is left, so that no cut is
  // deeper than needed.
  bool GiveBack() {
    std::vector<uint32_t> given;
    for (const uint32_t node : tree_.order) {
      if (newLength_[node] < Longest(node)) given.push_back(node);
    }
    if (given.empty()) return true;
    std::vector<int64_t> pathLength(count_), slack(count_);
    for (uint32_t i = 0; i < count_; ++i) {
      const uint32_t node = tree_.order[i];
      const uint32_t parent = nodes_[node].parent;
      pathLength[node] =
          (parent == kNoParent ? limits_.baseLength : pathLength[parent]) + 1 + newLength_[node];
      slack[i] = unfit_[node] ? RangeMin::kNone : BudgetOf(node) - pathLength[node];
    }
    pathLength = std::vector<int64_t>();
    RangeMin slackOf(slack);
    slack = std::vector<int64_t>();
    std::vector<uint32_t> lengths, native;
    for (const bool all : {false, true}) {
      for (uint32_t step = 0; step < given.size(); ++step) {
        if (!pace_.GoOn(step)) return false;
        const uint32_t node = given[step];
        const uint32_t first = tree_.position[node], last = tree_.last[node];
        const int64_t spare = slackOf.Min(first, last);
        if (spare < 1 || newLength_[node] == Longest(node)) continue;
        names_.LengthsOf(node, lengths, native);
        uint32_t longer = *std::upper_bound(lengths.begin(), lengths.end(), newLength_[node]);
        if (all) {
          const int64_t room = std::min<int64_t>(Longest(node), newLength_[node] + spare);
          longer = lengths[NameLengths::AtMost(lengths, static_cast<uint32_t>(room))];
        }
        if (longer <= newLength_[node] || longer - newLength_[node] > spare) continue;
        slackOf.Add(first, last, -int64_t{longer - newLength_[node]});
        newLength_[node] = longer;
      }
    }
    return true;
  }

  // The path closest to its budget once every cut is made, and the one
  // furthest over of those that cannot fit.
  void Tightest(Plan& plan) const {
    std::vector<int64_t> pathLength(count_);
    int64_t closest = std::numeric_limits<int64_t>::min();
    for (const uint32_t node : tree_.order) {
      const uint32_t parent = nodes_[node].parent;
      const std::u16string& newName = plan.newNames[node];
      const size_t length = newName.empty()          ? names_.Full(node)
                            : names_.CountsUnits() ? newName.size()
                                                   : limits_.pathMeasure.Of(newName);
      pathLength[node] =
          (parent == kNoParent ? limits_.baseLength : pathLength[parent]) + 1 + length;
      if (unfit_[node]) {
        const int64_t over = pathLength[node] - BudgetOf(node);
        if (plan.worstNode == kNoParent || over > plan.worstOver) {
          plan.worstNode = node;
          plan.worstOver = static_cast<uint32_t>(over);
        }
        continue;
      }
      if (pathLength[node] - BudgetOf(node) > closest) {
        closest = pathLength[node] - BudgetOf(node);
        plan.tightestLength = static_cast<uint32_t>(pathLength[node]);
        plan.tightestBudget = static_cast<uint32_t>(BudgetOf(node));
      }
    }
  }

  const std::vector<Node>& nodes_;
  const Limits limits_;
  const Pace pace_;
  const uint32_t count_;
  TreeOrder tree_;
  NameLengths names_;
  std::vector<uint32_t> shortest_;   // the shortest each name may be cut to
  std::vector<uint32_t> level_;      // for an over-budget path that can fit
  std::vector<bool> unfit_;          // a path that cannot fit at all
  std::vector<uint32_t> newLength_;  // the new length of each name
};

}  // namespace

Plan MakePlan(const std::vector<Node>& nodes, const Limits& limits,
              const std::function<bool()>& stopped) {
  return Planner(nodes, limits, stopped).Run();
}

}  // namespace fit
