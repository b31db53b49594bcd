// The chain of directories a walk stands in: the top first, each reached
// from the one above it by one name and checked to be the directory the
// listing saw. Only the last few stay open; one closed earlier is opened
// again from its child and checked the same way, so any depth works. The
// walk of tree_walk.h keeps one, and each of its listers one of its own.
#pragma once

#include <chrono>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace platform {

template <typename System>
class TreeChain {
 public:
  using Name = typename System::Name;
  using Place = typename System::Place;
  using Identity = typename System::Identity;

  // Directories open at once, the top included; and how many more a walk
  // may hold for a moment: the two its check reopens, and those a rename
  // onto a placeholder opens.
  static constexpr size_t kOpenAtMost = 16, kOpenBeyond = 5;

  struct Level {
    uint32_t node;  // its entry in the listing (kTop for the top and off it)
    Name name;      // its name in the level above
    Place place;    // its handle closed for all but the last few levels
  };

  explicit TreeChain(Place top) { levels_.push_back({TreeEntry::kTop, {}, std::move(top)}); }

  const Place& Top() const { return levels_.front().place; }
  const Place& Here() const { return levels_.back().place; }
  uint32_t HereNode() const { return levels_.back().node; }
  size_t Depth() const { return levels_.size() - 1; }

  // Brings the chain to the end of a way of `length` directories: up to
  // the last one it shares with the way (`shares(level, i)`: the chain's
  // level below the top is the way's `i`-th), then down (`down(i)`, which
  // calls Down).
  template <typename Shares, typename Down>
  ErrorCode WalkTo(System& system, size_t length, Shares&& shares, Down&& down) {
    const size_t common = Common(length, shares);
    while (Depth() > common) Up(system);
    for (size_t level = Depth(); level < length; ++level) {
      if (const ErrorCode error = down(level)) return error;
    }
    return 0;
  }

  // Leaves every level but the top.
  void UpToTop(System& system) {
    while (Depth() > 0) Up(system);
  }

  // How many levels below the top the chain shares with a way of `length`
  // directories (see WalkTo).
  template <typename Shares>
  size_t Common(size_t length, Shares&& shares) const {
    size_t common = 0;
    while (common < Depth() && common < length && shares(levels_[common + 1], common)) ++common;
    return common;
  }

  // Enters the directory `name` of the deepest level: a directory, not a
  // link, on the top's volume, and the file `expected` when given.
  ErrorCode Down(System& system, uint32_t node, const Name& name, const Identity* expected) {
    Level level{node, name, Place()};
    if (const ErrorCode error = system.Open(Here(), name, level.place)) return error;
    if (System::OtherVolume(Top(), level.place)) return System::kOtherVolume;
    if (expected != nullptr && !System::SameFile(*expected, level.place.identity)) {
      return System::kChanged;
    }
    levels_.push_back(std::move(level));
    ++changes_;
    if (++open_ > kOpenAtMost) CloseOne();
    return 0;
  }

  // Leaves the deepest level. The one above, if closed, is opened again
  // from it and must be the same directory; where it is not, the chain
  // goes up further, to a level still open, and the walk comes down again
  // by names.
  void Up(System& system) {
    if (Depth() == 0) return;
    const Level child = std::move(levels_.back());
    levels_.pop_back();
    --open_;
    ++changes_;
    Level& parent = levels_.back();
    if (System::IsOpen(parent.place)) return;
    Place reopened;
    if (system.Reopen(child.place, parent.place, reopened) == 0 &&
        System::SameFile(reopened.identity, parent.place.identity)) {
      parent.place = std::move(reopened);
      ++open_;
      return;
    }
    while (!System::IsOpen(levels_.back().place)) levels_.pop_back();
  }

  // 0 when every directory of the chain is still where the walk entered
  // it: from the deepest up to the top, each one's name in the one above
  // still holds it. Another program may have moved one out of the tree
  // since; renaming in it then would rename outside the tree. Checked when
  // the chain changed, and again once kCheckedFor has passed.
  ErrorCode StillInPlace(System& system) {
    const auto now = std::chrono::steady_clock::now();
    if (checkedChanges_ == changes_ && now - checkedAt_ < kCheckedFor) return 0;
    // Levels closed on the way up are opened again from their child, two
    // at a time at most, and checked to be the directories entered.
    Place reopened[2];
    const Place* child = &Here();
    for (size_t depth = Depth(); depth > 0; --depth) {
      const Place* parent = &levels_[depth - 1].place;
      if (!System::IsOpen(*parent)) {
        // (The spare's last directory is closed first: two at a time.)
        Place& spare = reopened[depth % 2];
        spare = Place();
        if (const ErrorCode error = system.Reopen(*child, *parent, spare)) return error;
        if (!System::SameFile(spare.identity, parent->identity)) return System::kChanged;
        parent = &spare;
      }
      Identity found;
      if (system.Look(*parent, levels_[depth].name, found) != 0 ||
          !System::SameFile(found, levels_[depth].place.identity)) {
        return System::kChanged;
      }
      child = parent;
    }
    checkedChanges_ = changes_;
    checkedAt_ = now;
    return 0;
  }

 private:
  // How long the check that the chain is in place holds: renames in one
  // directory follow each other closely, but a write of a line can wait.
  static constexpr std::chrono::milliseconds kCheckedFor{1};

  // Closes the highest level still open but the top.
  void CloseOne() {
    for (size_t i = 1; i + 1 < levels_.size(); ++i) {
      if (System::IsOpen(levels_[i].place)) {
        System::Close(levels_[i].place);
        --open_;
        return;
      }
    }
  }

  std::vector<Level> levels_;  // the top first
  size_t open_ = 1;
  uint64_t changes_ = 0, checkedChanges_ = UINT64_MAX;
  std::chrono::steady_clock::time_point checkedAt_;
};

}  // namespace platform
