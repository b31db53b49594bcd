#include "fit/new_names.h"

#include <memory>
#include <string>

#include "naming/decompose.h"
#include "naming/destination_names.h"
#include "naming/remembered_steps.h"
#include "naming/whole_cut.h"
#include "naming/windows_names.h"

namespace fit {
namespace {

class Namer {
 public:
  Namer(const std::vector<Node>& nodes, const Limits& limits, const TreeOrder& tree,
        const std::vector<uint32_t>& newLength, NameLengths& names, Plan& plan)
      : nodes_(nodes), limits_(limits), tree_(tree), newLength_(newLength), names_(names),
        plan_(plan) {}

  // Only directories where something is cut, or where twins are, are
  // named.
  void Directory(uint32_t slot) {
    const uint32_t first = tree_.firstChild[slot], end = tree_.firstChild[slot + 1];
    bool anyCut = false;
    for (uint32_t i = first; i < end && !anyCut; ++i) anyCut = IsCut(tree_.children[i]);
    const bool anyTwin = FindTwins(first, end);
    if (!anyCut && !anyTwin) return;
    taken_.Clear();
    taken_.Reserve(end - first, 0);
    remembered_.Clear();
    for (uint32_t i = first; i < end; ++i) {
      Fold(nodes_[tree_.children[i]].name, folded_);
      taken_.Insert(folded_);
    }
    for (uint32_t i = first; i < end; ++i) {
      const uint32_t node = tree_.children[i];
      // A name the destination cannot take either way stays as it is.
      if ((!IsCut(node) && !twin_[i - first]) || names_.Refused(node)) continue;
      NameOne(node);
    }
  }

 private:
  bool IsCut(uint32_t node) const {
    return newLength_[node] < names_.Full(node) || names_.Mended(node);
  }

  // Names as the destination compares them.
  void Fold(std::u16string_view name, std::u16string& out) {
    if (limits_.decomposes) {
      naming::Decompose(name, decomposed_);
      name = decomposed_;
    }
    if (limits_.ignoresCase) {
      naming::FoldCase(name, out);
    } else {
      out.assign(name);
    }
  }

  // Marks the entries from `first` to `end` that keep their names but are
  // one name where the tree is going: all but the first change, unless
  // kept. True when there is one to change.
  bool FindTwins(uint32_t first, uint32_t end) {
    twin_.assign(end - first, false);
    if (!limits_.twins || end - first < 2) return false;
    bool any = false;
    taken_.Clear();
    for (uint32_t i = first; i < end; ++i) {
      const uint32_t node = tree_.children[i];
      if (IsCut(node) || names_.Refused(node)) continue;
      Fold(names_.NameOf(node), folded_);
      if (taken_.Insert(folded_).second) continue;
      if (nodes_[node].keep) {
        names_.Refuse(node);
        plan_.refused.push_back({node, true});
        continue;
      }
      twin_[i - first] = any = true;
    }
    return any;
  }

  void NameOne(uint32_t node) {
    // The new length in units: the same number where units are what the
    // destination counts.
    uint32_t units = newLength_[node];
    if (!names_.CountsUnits()) {
      names_.LengthsOf(node, lengths_, native_);
      units = native_[NameLengths::AtMost(lengths_, newLength_[node])];
    }
    const naming::CutResult cut =
        naming::WholeCut(names_.NameOf(node), nodes_[node].isDirectory, units);
    // The characters before the counter are looked at only if it is needed.
    std::unique_ptr<naming::WholeCandidates> candidates;
    candidate_ = cut.newName;
    uint64_t step = remembered_.Start(cut);
    bool found = false;
    for (;; ++step) {
      if (step > 0 && candidates == nullptr) {
        candidates = std::make_unique<naming::WholeCandidates>(cut);
      }
      if (step > 0 && !candidates->Write(candidate_.data(), step)) break;
      if (naming::IsReservedName(candidate_) || naming::Refuses(candidate_, limits_.rules)) {
        continue;
      }
      // Digits over a character that decomposes shorter can make a
      // candidate longer than its cut, the destination's way.
      if (step > 0 && !names_.CountsUnits() &&
          (limits_.pathMeasure.Of(candidate_) > newLength_[node] ||
           limits_.nameMeasure.Of(candidate_) > limits_.nameLimit)) {
        continue;
      }
      Fold(candidate_, folded_);
      if (taken_.Insert(folded_).second) {
        found = true;
        break;
      }
    }
    if (found) {
      plan_.newNames[node] = candidate_;
    } else {
      plan_.noFreeName[node] = true;
    }
    remembered_.Ended(found ? step + 1 : step);
  }

  const std::vector<Node>& nodes_;
  const Limits& limits_;
  const TreeOrder& tree_;
  const std::vector<uint32_t>& newLength_;
  NameLengths& names_;
  Plan& plan_;
  naming::NameSet taken_;
  naming::RememberedSteps remembered_;
  std::vector<bool> twin_;  // of the directory in hand, by position
  std::u16string folded_, candidate_, decomposed_;
  std::vector<uint32_t> lengths_, native_;
};

}  // namespace

bool NameTheCuts(const std::vector<Node>& nodes, const Limits& limits, const TreeOrder& tree,
                 const std::vector<uint32_t>& newLength, NameLengths& names, const Pace& pace,
                 Plan& plan) {
  Namer namer(nodes, limits, tree, newLength, names, plan);
  const uint32_t count = static_cast<uint32_t>(nodes.size());
  for (uint32_t slot = 0; slot <= count; ++slot) {
    if (!pace.GoOn(slot)) return false;
    namer.Directory(slot);
  }
  return true;
}

}  // namespace fit
