#include "fit/planner.h"

#include <algorithm>
#include <limits>
#include <memory>

#include "naming/candidates.h"
#include "naming/decompose.h"
#include "naming/destination_names.h"
#include "naming/name_set.h"
#include "naming/whole_cut.h"
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

// The least of a range of values, with a number added to a whole range: a
// segment tree over a power of two of leaves, walked from the leaves up.
// Each inner node holds the least of its two children plus what was added
// to its whole range and not yet handed down.
class RangeMin {
 public:
  explicit RangeMin(const std::vector<int64_t>& values) {
    while (leaves_ < values.size()) leaves_ *= 2;
    while ((size_t{1} << height_) < leaves_) ++height_;
    min_.assign(2 * leaves_, kNoLimit);
    added_.assign(leaves_, 0);
    std::copy(values.begin(), values.end(), min_.begin() + static_cast<ptrdiff_t>(leaves_));
    for (size_t at = leaves_; at-- > 1;) min_[at] = std::min(min_[2 * at], min_[2 * at + 1]);
  }
  // The least value from `first` to `last`, both included.
  int64_t Min(size_t first, size_t last) {
    size_t low = first + leaves_, high = last + leaves_ + 1;
    HandDown(low);
    HandDown(high - 1);
    int64_t least = kNoLimit;
    for (; low < high; low /= 2, high /= 2) {
      if (low & 1) least = std::min(least, min_[low++]);
      if (high & 1) least = std::min(least, min_[--high]);
    }
    return least;
  }
  // Adds `value` to every value from `first` to `last`.
  void Add(size_t first, size_t last, int64_t value) {
    size_t low = first + leaves_, high = last + leaves_ + 1;
    const size_t low0 = low, high0 = high - 1;
    for (; low < high; low /= 2, high /= 2) {
      if (low & 1) Apply(low++, value);
      if (high & 1) Apply(--high, value);
    }
    PullUp(low0);
    PullUp(high0);
  }

 private:
  void Apply(size_t at, int64_t value) {
    min_[at] += value;
    if (at < leaves_) added_[at] += value;
  }
  // Hands down what was added above the leaf `at`, top first.
  void HandDown(size_t at) {
    for (size_t shift = height_; shift > 0; --shift) {
      const size_t node = at >> shift;
      if (added_[node] != 0) {
        Apply(2 * node, added_[node]);
        Apply(2 * node + 1, added_[node]);
        added_[node] = 0;
      }
    }
  }
  // Makes the nodes above the leaf `at` right again.
  void PullUp(size_t at) {
    for (at /= 2; at >= 1; at /= 2) {
      min_[at] = std::min(min_[2 * at], min_[2 * at + 1]) + added_[at];
    }
  }

  size_t leaves_ = 1, height_ = 0;
  std::vector<int64_t> min_, added_;
};

class Planner {
 public:
  Planner(const std::vector<Node>& nodes, const Limits& limits,
          const std::function<bool()>& stopped)
      : nodes_(nodes), limits_(limits), stopped_(stopped),
        count_(static_cast<uint32_t>(nodes.size())) {}

  Plan Run() {
    Plan plan;
    plan.newNames.resize(count_);
    plan.noFreeName.resize(count_);
    if (count_ == 0) return plan;
    const bool done = Order() && Prepare(plan) && Bounds() && Levels(plan) && Cut() && GiveBack() && Name(plan);
    if (!done) {
      Plan stopped;
      stopped.stopped = true;
      return stopped;
    }
    // Twins found while naming were kept names the destination refuses.
    std::sort(plan.refused.begin(), plan.refused.end(),
              [this](const Plan::Refused& a, const Plan::Refused& b) {
                return position_[a.node] < position_[b.node];
              });
    // Every entry before its directory: the tree's order backwards, each
    // directory's entries taken in their order.
    for (uint32_t i = count_; i-- > 0;) {
      const uint32_t node = mirrored_[i];
      if (!plan.newNames[node].empty()) plan.renameOrder.push_back(node);
    }
    Tightest(plan);
    return plan;
  }

 private:
  // The name a node is planned with: its own, or as mended for the
  // destination.
  std::u16string_view NameOf(uint32_t node) const {
    return mendedOf_.empty() || mendedOf_[node] == kNone ? nodes_[node].name
                                                         : mended_[mendedOf_[node]];
  }
  bool Mended(uint32_t node) const { return !mendedOf_.empty() && mendedOf_[node] != kNone; }
  // The longest a node's name may be on its path: its own length, or that
  // of its longest cut within the name limit (in the path's unit).
  uint32_t Length(uint32_t node) const { return own_[node]; }
  // The length of its name uncut, in the path's unit.
  uint32_t Full(uint32_t node) const {
    return full_.empty() ? static_cast<uint32_t>(NameOf(node).size()) : full_[node];
  }
  bool Plain() const {
    return limits_.pathMeasure.CountsUnits() && limits_.nameMeasure.CountsUnits();
  }
  bool Cuttable(uint32_t node) const { return low_[node] < Length(node); }
  int64_t BudgetOf(uint32_t node) const {
    return nodes_[node].isDirectory ? limits_.budget.directory : limits_.budget.file;
  }
  uint32_t ParentSlot(uint32_t node) const {
    return nodes_[node].parent == kNoParent ? count_ : nodes_[node].parent;
  }
  // Asked every few thousand steps of a loop over the tree.
  bool GoOn(uint32_t step) const { return (step & 0xFFF) != 0 || !stopped_ || !stopped_(); }

  // Each directory's entries in the order NTFS keeps names, and the tree in
  // that order, top first (and mirrored, for the order of renames).
  bool Order() {
    firstChild_.assign(count_ + 2, 0);
    for (uint32_t node = 0; node < count_; ++node) ++firstChild_[ParentSlot(node) + 1];
    for (uint32_t slot = 0; slot <= count_; ++slot) firstChild_[slot + 1] += firstChild_[slot];
    struct Child {
      uint64_t key;
      uint32_t node;
    };
    std::vector<Child> children(count_);
    std::vector<uint32_t> next(firstChild_.begin(), firstChild_.end() - 1);
    for (uint32_t node = 0; node < count_; ++node) children[next[ParentSlot(node)]++].node = node;
    next = std::vector<uint32_t>();
    const auto nameOf = [this](const Child& child) { return nodes_[child.node].name; };
    for (uint32_t slot = 0; slot <= count_; ++slot) {
      naming::SortAsListed(children.data() + firstChild_[slot],
                           children.data() + firstChild_[slot + 1], nameOf);
      if (!GoOn(slot)) return false;
    }
    children_.resize(count_);
    for (uint32_t i = 0; i < count_; ++i) children_[i] = children[i].node;
    children = std::vector<Child>();
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
    return true;
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

  // Mends the names the destination refuses, measures each name, and
  // finds the longest each may keep within the name limit.
  bool Prepare(Plan& plan) {
    refused_.assign(count_, false);
    std::u16string mended;
    for (uint32_t node = 0; node < count_ && limits_.rules != 0; ++node) {
      if (!naming::Refuses(nodes_[node].name, limits_.rules)) continue;
      if (nodes_[node].keep) {
        refused_[node] = true;
        continue;
      }
      naming::Mend(nodes_[node].name, limits_.rules, mended);
      if (mendedOf_.empty()) mendedOf_.assign(count_, kNone);
      mendedOf_[node] = static_cast<uint32_t>(mended_.size());
      mended_.push_back(mended);
    }
    if (!Plain()) {
      full_.resize(count_);
      for (uint32_t node = 0; node < count_; ++node) full_[node] = limits_.pathMeasure.Of(NameOf(node));
    }
    own_.resize(count_);
    std::vector<uint32_t> measured, native;
    for (uint32_t node = 0; node < count_; ++node) {
      if (!GoOn(node)) return false;
      own_[node] = Full(node);
      const std::u16string_view name = NameOf(node);
      const bool within = Plain() ? name.size() <= limits_.nameLimit
                                  : limits_.nameMeasure.Of(name) <= limits_.nameLimit;
      if (within) continue;
      if (nodes_[node].keep) {
        refused_[node] = true;
        continue;
      }
      LengthsOf(node, measured, native);
      if (measured.empty()) {
        refused_[node] = true;
      } else {
        own_[node] = measured.back();
      }
    }
    for (const uint32_t node : order_) {
      if (refused_[node]) plan.refused.push_back({node, nodes_[node].keep});
    }
    return true;
  }

  // How short each name may become: the shortest whole cut from the floor
  // on, for names on a path that is over budget (the others stay as they
  // are); the name's own length where it is not cut.
  bool Bounds() {
    std::vector<int64_t> pathLength(count_);
    std::vector<bool> over(count_);
    for (uint32_t i = 0; i < count_; ++i) {
      const uint32_t node = order_[i], parent = nodes_[node].parent;
      pathLength[node] =
          (parent == kNoParent ? limits_.baseLength : pathLength[parent]) + 1 + Length(node);
      over[node] = pathLength[node] > BudgetOf(node);
    }
    for (uint32_t i = count_; i-- > 0;) {
      const uint32_t node = order_[i], parent = nodes_[node].parent;
      if (over[node] && parent != kNoParent) over[parent] = true;
    }
    low_.resize(count_);
    std::vector<uint32_t> lengths;
    std::vector<uint32_t> native;
    for (uint32_t node = 0; node < count_; ++node) {
      low_[node] = Length(node);
      if (!over[node] || nodes_[node].keep) continue;
      LengthsOf(node, lengths, native);
      if (!lengths.empty()) low_[node] = lengths.front();
      if (!GoOn(node)) return false;
    }
    return true;
  }

  // For each node whose path is over budget, the longest length its names
  // can keep (names longer are cut to it, none below its shortest cut), or
  // its place among the unfit.
  bool Levels(Plan& plan) {
    uint32_t longest = limits_.floor;
    for (uint32_t node = 0; node < count_; ++node) longest = std::max(longest, Length(node));
    // The names that may be cut on the path in hand, by their own length
    // and by the shortest they may become: a name at level L counts
    // min(own, max(shortest, L)).
    LengthCounts byOwn(longest), byShortest(longest);
    level_.assign(count_, kNone);
    unfit_.assign(count_, false);
    std::vector<uint32_t> path;       // the nodes from the top down to the one in hand
    std::vector<int64_t> fixed;       // base, separators and uncut names, along `path`
    std::vector<int64_t> cuttable;    // how many cuttable names, along `path`
    for (uint32_t step = 0; step < count_; ++step) {
      if (!GoOn(step)) return false;
      const uint32_t node = order_[step];
      while (!path.empty() && path.back() != nodes_[node].parent) {
        if (Cuttable(path.back())) {
          byOwn.Add(Length(path.back()), -1);
          byShortest.Add(low_[path.back()], -1);
        }
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
      if (cuttableHere) {
        byOwn.Add(Length(node), +1);
        byShortest.Add(low_[node], +1);
      }
      const int64_t names = cuttable.back();
      const auto total = [&](uint32_t level) {
        int64_t ownCount, ownSum, shortCount, shortSum, allShort, shortAll;
        byOwn.UpTo(level, ownCount, ownSum);            // names no longer than the level
        byShortest.UpTo(level == 0 ? 0 : level - 1, shortCount, shortSum);
        byShortest.UpTo(longest, allShort, shortAll);   // names that may not reach it
        const int64_t above = allShort - shortCount, aboveSum = shortAll - shortSum;
        return fixed.back() + ownSum + aboveSum + int64_t{level} * (names - ownCount - above);
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

  // The lengths `node`'s name may have, shortest first: its whole cuts
  // within the name limit and longer than the floor, in the path's unit
  // (`measured`) and in UTF-16 units (`native`), then its own length if it
  // is within the name limit. A name no longer than the floor has no cut.
  void LengthsOf(uint32_t node, std::vector<uint32_t>& measured,
                 std::vector<uint32_t>& native) const {
    const std::u16string_view name = NameOf(node);
    const bool isDirectory = nodes_[node].isDirectory;
    const uint32_t size = static_cast<uint32_t>(name.size());
    if (Plain()) {
      if (size > limits_.floor) naming::WholeCutLengths(name, isDirectory, limits_.floor, native);
      else native.clear();
      while (!native.empty() && native.back() > limits_.nameLimit) native.pop_back();
      if (size <= limits_.nameLimit) native.push_back(size);
      measured = native;
      return;
    }
    measured.clear();
    native.clear();
    limits_.pathMeasure.Prefixes(name, pathPrefixes_);
    limits_.nameMeasure.Prefixes(name, namePrefixes_);
    const uint32_t nameLength = namePrefixes_[size];
    if (nameLength > limits_.floor) {
      naming::WholeCutLengths(name, isDirectory, 1, cuts_);
      const size_t extension = naming::WholeExtensionLength(name, isDirectory);
      const auto cutLength = [&](const std::vector<uint32_t>& prefixes, uint32_t length) {
        return prefixes[length - extension] + prefixes[size] - prefixes[size - extension];
      };
      for (const uint32_t length : cuts_) {
        const uint32_t asName = cutLength(namePrefixes_, length);
        if (asName > limits_.nameLimit) break;
        if (asName < limits_.floor) continue;
        measured.push_back(cutLength(pathPrefixes_, length));
        native.push_back(length);
      }
    }
    if (nameLength <= limits_.nameLimit) {
      measured.push_back(pathPrefixes_[size]);
      native.push_back(size);
    }
  }
  // Where in `lengths` the longest no longer than `length` is (the first
  // when none is).
  static size_t AtMost(const std::vector<uint32_t>& lengths, uint32_t length) {
    const auto after = std::upper_bound(lengths.begin(), lengths.end(), length);
    return after == lengths.begin() ? 0 : static_cast<size_t>(after - 1 - lengths.begin());
  }

  // Each name is cut to the lowest level of the paths through it, or to
  // the longest whole cut no longer.
  bool Cut() {
    std::vector<uint32_t> lowest(level_);
    for (uint32_t i = count_; i-- > 0;) {
      const uint32_t node = order_[i];
      if (nodes_[node].parent != kNoParent) {
        uint32_t& up = lowest[nodes_[node].parent];
        up = std::min(up, lowest[node]);
      }
    }
    length_.resize(count_);
    std::vector<uint32_t> lengths, native;
    for (uint32_t node = 0; node < count_; ++node) {
      length_[node] = Length(node);
      if (!Cuttable(node) || lowest[node] >= Length(node)) continue;
      LengthsOf(node, lengths, native);
      length_[node] = lengths[AtMost(lengths, std::max(lowest[node], low_[node]))];
      if (!GoOn(node)) return false;
    }
    return true;
  }

  // Gives cut names back what every path through them leaves to spare, top
  // first: first one whole cut longer each (the spare units of a level go
  // to the names met first), then all that is left, so that no cut is
  // deeper than needed.
  bool GiveBack() {
    std::vector<uint32_t> given;
    for (const uint32_t node : order_) {
      if (length_[node] < Length(node)) given.push_back(node);
    }
    if (given.empty()) return true;
    std::vector<int64_t> pathLength(count_), slack(count_);
    for (uint32_t i = 0; i < count_; ++i) {
      const uint32_t node = order_[i];
      const uint32_t parent = nodes_[node].parent;
      pathLength[node] =
          (parent == kNoParent ? limits_.baseLength : pathLength[parent]) + 1 + length_[node];
      slack[i] = unfit_[node] ? kNoLimit : BudgetOf(node) - pathLength[node];
    }
    pathLength = std::vector<int64_t>();
    RangeMin slackOf(slack);
    slack = std::vector<int64_t>();
    std::vector<uint32_t> lengths, native;
    for (const bool all : {false, true}) {
      for (uint32_t step = 0; step < given.size(); ++step) {
        if (!GoOn(step)) return false;
        const uint32_t node = given[step];
        const uint32_t first = position_[node], last = last_[node];
        const int64_t spare = slackOf.Min(first, last);
        if (spare < 1 || length_[node] == Length(node)) continue;
        LengthsOf(node, lengths, native);
        uint32_t longer = *std::upper_bound(lengths.begin(), lengths.end(), length_[node]);
        if (all) {
          longer = lengths[AtMost(lengths, static_cast<uint32_t>(std::min<int64_t>(
                                               Length(node), length_[node] + spare)))];
        }
        if (longer <= length_[node] || longer - length_[node] > spare) continue;
        slackOf.Add(first, last, -int64_t{longer - length_[node]});
        length_[node] = longer;
      }
    }
    return true;
  }

  // The whole cut at each new length, with the counter where a name is
  // taken by another entry of the directory, as it was or as it becomes.
  // Only directories where something is cut are looked at.
  bool Name(Plan& plan) {
    naming::NameSet taken, knownTaken;
    std::vector<uint64_t> knownSteps;
    std::u16string folded, candidate, key;
    std::vector<uint32_t> lengths, native;
    std::vector<bool> twin;  // of the directory in hand, by position
    const auto isCut = [&](uint32_t node) { return length_[node] < Full(node) || Mended(node); };
    const auto fold = [&](std::u16string_view name, std::u16string& out) {
      if (limits_.decomposes) {
        naming::Decompose(name, decomposed_);
        name = decomposed_;
      }
      if (limits_.ignoresCase) {
        naming::FoldCase(name, out);
      } else {
        out.assign(name);
      }
    };
    for (uint32_t slot = 0; slot <= count_; ++slot) {
      if (!GoOn(slot)) return false;
      const uint32_t first = firstChild_[slot], end = firstChild_[slot + 1];
      bool anyCut = false;
      for (uint32_t i = first; i < end && !anyCut; ++i) anyCut = isCut(children_[i]);
      // Entries that keep their names but are one name where the tree is
      // going: all but the first change.
      twin.assign(end - first, false);
      bool anyTwin = false;
      if (limits_.twins && end - first > 1) {
        taken.Clear();
        for (uint32_t i = first; i < end; ++i) {
          const uint32_t node = children_[i];
          if (isCut(node) || refused_[node]) continue;
          fold(NameOf(node), folded);
          if (taken.Insert(folded).second) continue;
          if (nodes_[node].keep) {
            refused_[node] = true;
            plan.refused.push_back({node, true});
            continue;
          }
          twin[i - first] = anyTwin = true;
        }
      }
      if (!anyCut && !anyTwin) continue;
      taken.Clear();
      taken.Reserve(end - first, 0);
      knownTaken.Clear();
      knownSteps.clear();
      for (uint32_t i = first; i < end; ++i) {
        fold(nodes_[children_[i]].name, folded);
        taken.Insert(folded);
      }
      for (uint32_t i = first; i < end; ++i) {
        const uint32_t node = children_[i];
        // A name the destination cannot take either way stays as it is.
        if ((!isCut(node) && !twin[i - first]) || refused_[node]) continue;
        // The new length in units: the same number where units are what
        // the destination counts.
        uint32_t units = length_[node];
        if (!Plain()) {
          LengthsOf(node, lengths, native);
          units = native[AtMost(lengths, length_[node])];
        }
        const naming::CutResult cut = naming::WholeCut(NameOf(node), nodes_[node].isDirectory, units);
        // The characters before the counter are looked at only if it is needed.
        std::unique_ptr<naming::WholeCandidates> candidates;
        candidate = cut.newName;
        // Candidates known to be taken are skipped, as in snipdir.
        key = cut.newName;
        key += static_cast<char16_t>(cut.counterAnchor);
        const size_t known = knownTaken.Find(key);
        uint64_t step = known == naming::NameSet::kAbsent ? 0 : knownSteps[known];
        bool found = false;
        for (;; ++step) {
          if (step > 0 && candidates == nullptr) {
            candidates = std::make_unique<naming::WholeCandidates>(cut);
          }
          if (step > 0 && !candidates->Write(candidate.data(), step)) break;
          if (naming::IsReservedName(candidate) || naming::Refuses(candidate, limits_.rules)) {
            continue;
          }
          // Digits over a character that decomposes shorter can make a
          // candidate longer than its cut, the destination's way.
          if (step > 0 && !Plain() &&
              (limits_.pathMeasure.Of(candidate) > length_[node] ||
               limits_.nameMeasure.Of(candidate) > limits_.nameLimit)) {
            continue;
          }
          fold(candidate, folded);
          if (taken.Insert(folded).second) {
            found = true;
            break;
          }
        }
        if (found) {
          plan.newNames[node] = candidate;
        } else {
          plan.noFreeName[node] = true;
        }
        if (known != naming::NameSet::kAbsent) {
          knownSteps[known] = step + 1;
        } else {
          knownTaken.Insert(key);
          knownSteps.push_back(step + 1);
        }
      }
    }
    return true;
  }

  // The path closest to its budget once every cut is made, and the one
  // furthest over of those that cannot fit.
  void Tightest(Plan& plan) const {
    std::vector<int64_t> pathLength(count_);
    int64_t closest = std::numeric_limits<int64_t>::min();
    for (const uint32_t node : order_) {
      const uint32_t parent = nodes_[node].parent;
      const size_t length = plan.newNames[node].empty() ? Full(node)
                            : Plain() ? plan.newNames[node].size()
                                      : limits_.pathMeasure.Of(plan.newNames[node]);
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
  const std::function<bool()>& stopped_;
  const uint32_t count_;
  std::vector<uint32_t> firstChild_;  // by parent slot (count_ for the top)
  std::vector<uint32_t> children_;    // each directory's entries, in order
  std::vector<uint32_t> order_;       // the tree, top first
  std::vector<uint32_t> mirrored_;    // the same with each directory's entries reversed
  std::vector<uint32_t> position_;    // of each node in order_
  std::vector<uint32_t> last_;        // the position of the last node of its subtree
  std::vector<uint32_t> low_;         // the shortest each name may be cut to
  std::vector<uint32_t> level_;       // for an over-budget path that can fit
  std::vector<bool> unfit_;           // a path that cannot fit at all
  std::vector<uint32_t> length_;      // the new length of each name
  std::vector<std::u16string> mended_;  // the names mended for the destination
  std::vector<uint32_t> mendedOf_;    // where each node's is in mended_ (none when empty)
  std::vector<uint32_t> full_;        // each name's length in the path's unit (none when plain)
  std::vector<uint32_t> own_;         // the longest each name may be
  std::vector<bool> refused_;         // kept, or too long even when cut: left as it is
  std::u16string decomposed_;         // a name decomposed, to compare it
  // Buffers of LengthsOf.
  mutable std::vector<uint32_t> cuts_, pathPrefixes_, namePrefixes_;
};

}  // namespace

Plan MakePlan(const std::vector<Node>& nodes, const Limits& limits,
              const std::function<bool()>& stopped) {
  return Planner(nodes, limits, stopped).Run();
}

}  // namespace fit
