#include "fit/planner.h"

#include <algorithm>
#include <limits>
#include <unordered_set>

#include "naming/candidates.h"
#include "naming/shorten.h"
#include "naming/windows_names.h"

namespace fit {
namespace {

constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();
// Slack that never stops a name from getting units back: the paths that
// cannot fit at all.
constexpr int64_t kNoLimit = std::numeric_limits<int64_t>::max() / 4;

// Counts and sums of name lengths, by length, with prefix queries: the
// names cut down on the path being looked at.
class LengthCounts {
 public:
  explicit LengthCounts(uint32_t longest) : count_(longest + 2), sum_(longest + 2) {}

  void Add(uint32_t length, int sign) {
    for (size_t i = length + 1; i < count_.size(); i += i & (~i + 1)) {
      count_[i] += sign;
      sum_[i] += sign * int64_t{length};
    }
  }
  // The number and the sum of the lengths up to `length`.
  void UpTo(uint32_t length, int64_t& count, int64_t& sum) const {
    count = sum = 0;
    for (size_t i = std::min<size_t>(length + 1, count_.size() - 1); i > 0; i -= i & (~i + 1)) {
      count += count_[i];
      sum += sum_[i];
    }
  }

 private:
  std::vector<int64_t> count_, sum_;
};

// The least of a range of values, with a number added to a whole range.
class RangeMin {
 public:
  explicit RangeMin(const std::vector<int64_t>& values)
      : size_(values.size()), min_(4 * size_ + 4), add_(4 * size_ + 4, 0) {
    if (size_ > 0) Build(1, 0, size_ - 1, values);
  }
  int64_t Min(size_t first, size_t last) { return Min(1, 0, size_ - 1, first, last); }
  void Add(size_t first, size_t last, int64_t value) { Add(1, 0, size_ - 1, first, last, value); }

 private:
  void Build(size_t at, size_t low, size_t high, const std::vector<int64_t>& values) {
    if (low == high) {
      min_[at] = values[low];
      return;
    }
    const size_t middle = (low + high) / 2;
    Build(2 * at, low, middle, values);
    Build(2 * at + 1, middle + 1, high, values);
    min_[at] = std::min(min_[2 * at], min_[2 * at + 1]);
  }
  int64_t Min(size_t at, size_t low, size_t high, size_t first, size_t last) {
    if (last < low || high < first) return kNoLimit;
    if (first <= low && high <= last) return min_[at];
    const size_t middle = (low + high) / 2;
    return add_[at] + std::min(Min(2 * at, low, middle, first, last),
                               Min(2 * at + 1, middle + 1, high, first, last));
  }
  void Add(size_t at, size_t low, size_t high, size_t first, size_t last, int64_t value) {
    if (last < low || high < first) return;
    if (first <= low && high <= last) {
      min_[at] += value;
      add_[at] += value;
      return;
    }
    const size_t middle = (low + high) / 2;
    Add(2 * at, low, middle, first, last, value);
    Add(2 * at + 1, middle + 1, high, first, last, value);
    min_[at] = add_[at] + std::min(min_[2 * at], min_[2 * at + 1]);
  }

  size_t size_;
  std::vector<int64_t> min_, add_;
};

class Planner {
 public:
  Planner(const std::vector<Node>& nodes, const Limits& limits)
      : nodes_(nodes), limits_(limits), count_(static_cast<uint32_t>(nodes.size())) {}

  Plan Run() {
    Plan plan;
    plan.newNames.resize(count_);
    plan.noFreeName.resize(count_);
    if (count_ == 0) return plan;
    Order();
    Levels(plan);
    Cut();
    GiveBack();
    Name(plan);
    // Every entry before its directory: the tree's order backwards, each
    // directory's entries taken in their order.
    for (uint32_t i = count_; i-- > 0;) {
      const uint32_t node = mirrored_[i];
      if (!plan.newNames[node].empty()) plan.renameOrder.push_back(node);
    }
    return plan;
  }

 private:
  uint32_t Length(uint32_t node) const {
    return static_cast<uint32_t>(nodes_[node].name.size());
  }
  bool Cuttable(uint32_t node) const {
    return Length(node) > limits_.floor && !nodes_[node].keep;
  }
  int64_t BudgetOf(uint32_t node) const {
    return nodes_[node].isDirectory ? limits_.budget.directory : limits_.budget.file;
  }
  uint32_t ParentSlot(uint32_t node) const {
    return nodes_[node].parent == kNoParent ? count_ : nodes_[node].parent;
  }

  // Each directory's entries in the order NTFS keeps names, and the tree in
  // that order, top first (and mirrored, for the order of renames).
  void Order() {
    firstChild_.assign(count_ + 2, 0);
    for (uint32_t node = 0; node < count_; ++node) ++firstChild_[ParentSlot(node) + 1];
    for (uint32_t slot = 0; slot <= count_; ++slot) firstChild_[slot + 1] += firstChild_[slot];
    children_.resize(count_);
    std::vector<uint32_t> next(firstChild_.begin(), firstChild_.end() - 1);
    for (uint32_t node = 0; node < count_; ++node) children_[next[ParentSlot(node)]++] = node;
    for (uint32_t slot = 0; slot <= count_; ++slot) {
      std::sort(children_.begin() + firstChild_[slot], children_.begin() + firstChild_[slot + 1],
                [this](uint32_t a, uint32_t b) {
                  return naming::ListsBefore(nodes_[a].name, nodes_[b].name);
                });
    }
    order_ = Walk(false);
    mirrored_ = Walk(true);
    position_.resize(count_);
    for (uint32_t i = 0; i < count_; ++i) position_[order_[i]] = i;
    // Where each subtree ends in the order.
    last_.resize(count_);
    for (uint32_t i = count_; i-- > 0;) {
      const uint32_t node = order_[i];
      const uint32_t end = firstChild_[node + 1];
      last_[node] = end > firstChild_[node] ? last_[children_[end - 1]] : i;
    }
  }

  // The nodes top first, each before its entries; with `mirrored`, each
  // directory's entries taken last first.
  std::vector<uint32_t> Walk(bool mirrored) const {
    std::vector<uint32_t> order, stack;
    order.reserve(count_);
    const auto push = [&](uint32_t slot) {
      const uint32_t first = firstChild_[slot], end = firstChild_[slot + 1];
      for (uint32_t i = first; i < end; ++i) {
        stack.push_back(children_[mirrored ? i : end - 1 - (i - first)]);
      }
    };
    push(count_);
    while (!stack.empty()) {
      const uint32_t node = stack.back();
      stack.pop_back();
      order.push_back(node);
      push(node);
    }
    return order;
  }

  // For each node whose path is over budget, the longest length its names
  // can keep (names longer are cut to it), or its place among the unfit.
  void Levels(Plan& plan) {
    uint32_t longest = limits_.floor;
    for (uint32_t node = 0; node < count_; ++node) longest = std::max(longest, Length(node));
    LengthCounts cut(longest);
    level_.assign(count_, kNone);
    unfit_.assign(count_, false);
    std::vector<uint32_t> path;       // the nodes from the top down to the one in hand
    std::vector<int64_t> fixed;       // base, separators and uncut names, along `path`
    std::vector<int64_t> cuttable;    // how many cuttable names, along `path`
    for (const uint32_t node : order_) {
      while (!path.empty() && path.back() != nodes_[node].parent) {
        if (Cuttable(path.back())) cut.Add(Length(path.back()), -1);
        path.pop_back();
        fixed.pop_back();
        cuttable.pop_back();
      }
      const int64_t fixedBefore = path.empty() ? limits_.baseLength : fixed.back();
      const int64_t cuttableBefore = path.empty() ? 0 : cuttable.back();
      const bool cuttableHere = Cuttable(node);
      path.push_back(node);
      fixed.push_back(fixedBefore + 1 + (cuttableHere ? 0 : Length(node)));
      cuttable.push_back(cuttableBefore + (cuttableHere ? 1 : 0));
      if (cuttableHere) cut.Add(Length(node), +1);

      int64_t upCount, upSum;
      cut.UpTo(longest, upCount, upSum);
      const int64_t budget = BudgetOf(node);
      if (fixed.back() + upSum <= budget) continue;  // fits as it is
      const int64_t atFloor = fixed.back() + int64_t{limits_.floor} * cuttable.back();
      if (atFloor > budget) {
        plan.unfit.push_back({node, static_cast<uint32_t>(atFloor - budget)});
        unfit_[node] = true;
        continue;
      }
      // The longest level that fits: lengths up to it stay, longer ones
      // become it.
      uint32_t low = limits_.floor, high = longest;
      while (low < high) {
        const uint32_t middle = low + (high - low + 1) / 2;
        cut.UpTo(middle, upCount, upSum);
        const int64_t total = fixed.back() + upSum + int64_t{middle} * (cuttable.back() - upCount);
        if (total <= budget) {
          low = middle;
        } else {
          high = middle - 1;
        }
      }
      level_[node] = low;
    }
  }

  // Each name is cut to the lowest level of the paths through it.
  void Cut() {
    std::vector<uint32_t> lowest(level_);
    for (uint32_t i = count_; i-- > 0;) {
      const uint32_t node = order_[i];
      if (nodes_[node].parent != kNoParent) {
        uint32_t& up = lowest[nodes_[node].parent];
        up = std::min(up, lowest[node]);
      }
    }
    length_.resize(count_);
    for (uint32_t node = 0; node < count_; ++node) {
      length_[node] = Cuttable(node) && Length(node) > lowest[node]
                          ? std::max(lowest[node], limits_.floor)
                          : Length(node);
    }
  }

  // Gives cut names back a unit at a time, top first, for as long as every
  // path through them still fits: no cut is deeper than needed.
  void GiveBack() {
    std::vector<uint32_t> given;
    for (const uint32_t node : order_) {
      if (length_[node] < Length(node)) given.push_back(node);
    }
    if (given.empty()) return;
    std::vector<int64_t> pathLength(count_), slack(count_);
    for (uint32_t i = 0; i < count_; ++i) {
      const uint32_t node = order_[i];
      const uint32_t parent = nodes_[node].parent;
      pathLength[node] =
          (parent == kNoParent ? limits_.baseLength : pathLength[parent]) + 1 + length_[node];
      slack[i] = unfit_[node] ? kNoLimit : BudgetOf(node) - pathLength[node];
    }
    RangeMin slackOf(slack);
    while (!given.empty()) {
      std::vector<uint32_t> again;
      for (const uint32_t node : given) {
        const uint32_t first = position_[node], last = last_[node];
        if (slackOf.Min(first, last) < 1) continue;
        slackOf.Add(first, last, -1);
        if (++length_[node] < Length(node)) again.push_back(node);
      }
      given.swap(again);
    }
  }

  // The name rule at each new length, with the counter where a name is
  // taken by another entry of the directory, as it was or as it becomes.
  void Name(Plan& plan) const {
    std::unordered_set<std::u16string> taken;
    std::u16string folded, candidate;
    for (uint32_t slot = 0; slot <= count_; ++slot) {
      const uint32_t first = firstChild_[slot], end = firstChild_[slot + 1];
      bool anyCut = false;
      for (uint32_t i = first; i < end && !anyCut; ++i) {
        anyCut = length_[children_[i]] < Length(children_[i]);
      }
      if (!anyCut) continue;
      taken.clear();
      for (uint32_t i = first; i < end; ++i) {
        naming::FoldCase(nodes_[children_[i]].name, folded);
        taken.insert(folded);
      }
      for (uint32_t i = first; i < end; ++i) {
        const uint32_t node = children_[i];
        if (length_[node] >= Length(node)) continue;
        const naming::CutResult cut =
            naming::ShortenName(nodes_[node].name, nodes_[node].isDirectory, length_[node]);
        candidate = cut.newName;
        constexpr uint32_t kTaken = 1;
        const naming::Found found =
            naming::SearchCandidates(candidate.data(), cut.counterAnchor, 0, kTaken, [&] {
              if (naming::IsReservedName(candidate)) return kTaken;
              naming::FoldCase(candidate, folded);
              return taken.insert(folded).second ? 0u : kTaken;
            });
        if (found.answer == 0) {
          plan.newNames[node] = candidate;
        } else {
          plan.noFreeName[node] = true;
        }
      }
    }
  }

  const std::vector<Node>& nodes_;
  const Limits limits_;
  const uint32_t count_;
  std::vector<uint32_t> firstChild_;  // by parent slot (count_ for the top)
  std::vector<uint32_t> children_;    // each directory's entries, in order
  std::vector<uint32_t> order_;       // the tree, top first
  std::vector<uint32_t> mirrored_;    // the same with each directory's entries reversed
  std::vector<uint32_t> position_;    // of each node in order_
  std::vector<uint32_t> last_;        // the position of the last node of its subtree
  std::vector<uint32_t> level_;       // for an over-budget path that can fit
  std::vector<bool> unfit_;           // a path that cannot fit at all
  std::vector<uint32_t> length_;      // the new length of each name
};

}  // namespace

Plan MakePlan(const std::vector<Node>& nodes, const Limits& limits) {
  return Planner(nodes, limits).Run();
}

}  // namespace fit
