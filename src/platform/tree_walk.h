// The tree walk, written once for every system: the order a tree is listed
// in, the chain of directories the walk stands in (each reached from the
// one above it by one name, and checked to be the directory the listing
// saw), and, before renames, the check that those directories are still
// where the walk found them. Only the last few directories stay open; one
// closed earlier is opened again from its child and checked the same way,
// so any depth works.
//
// What differs between systems is a small class of theirs (posix_tree.cpp,
// win32_tree.cpp), `System` below:
//
//   Name, Identity, Place       a name as the system takes it; which file a
//                               directory is (SameFile); an open directory:
//                               its handle, its identity and what renames
//                               in it need
//   kOtherVolume, kChanged      the error codes of a directory on another
//                               volume or mount, and of one that is no
//                               longer the directory listed
//   Encode(text, name)          a name of the listing as the system takes it
//   Open(parent, name, place)   opens the directory `name` of `parent`,
//                               never following a link
//   Reopen(child, place, out)   opens again the directory of `place`, whose
//                               handle was closed, from its open child
//   IsOpen(place), Close(place)
//   Look(parent, name, out)     which file `name` in `parent` is now
//   List(place, take)           hands each entry of the directory to `take`
//   Rename(place, old, new, expected)  one name in the directory, never
//                               replacing; with `expected`, only while
//                               `old` still is that file
//   Refusal(place, name)        what a rename of `name` would fail with
//   ReadLink(place, name, target)
//   RealPath(place, path)       the directory's path, every link resolved
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace platform {

// One entry of a directory as a system's listing hands it on.
template <typename Identity>
struct ListedEntry {
  std::u16string_view name;
  bool isDirectory = false;
  bool isLink = false;
  bool isOutput = false;
  // A directory of the tree, to be listed in turn (not a mount point, a
  // junction or a directory link), and which file it was when listed.
  bool enter = false;
  bool identityKnown = false;
  Identity identity{};
  // Why a directory of the tree cannot be entered at all, or 0.
  ErrorCode unenterable = 0;
};

template <typename System>
class WalkedTree final : public Tree {
 public:
  using Name = typename System::Name;
  using Place = typename System::Place;
  using Identity = typename System::Identity;

  WalkedTree(System system, Place top) : system_(std::move(system)) {
    levels_.push_back({kTop, {}, std::move(top)});
  }

  const TreeListing& List(std::vector<TreeError>& errors, const Progress& goOn) override {
    struct Pending {
      std::vector<uint32_t> subdirectories;
      size_t next = 0;
    };
    std::vector<Pending> pending(1);
    ListHere(pending.back().subdirectories, errors);
    while (!pending.empty() && goOn(listing_.entries.size()) == Go::kOn) {
      Pending& level = pending.back();
      if (level.next == level.subdirectories.size()) {
        pending.pop_back();
        if (!pending.empty()) Up();
        continue;
      }
      const uint32_t node = level.subdirectories[level.next++];
      if (const ErrorCode error = MoveTo(node)) {
        errors.push_back({node, error, false});
        continue;
      }
      std::vector<uint32_t> subdirectories;
      ListHere(subdirectories, errors);
      pending.push_back({std::move(subdirectories), 0});
    }
    return listing_;
  }

  ErrorCode Rename(uint32_t node, std::u16string_view newName) override {
    if (const ErrorCode error = MoveTo(listing_.entries[node].parent)) return error;
    if (const ErrorCode error = StillInPlace()) return error;
    NameOf(node, oldName_);
    System::Encode(newName, newName_);
    // A directory is renamed only while its name holds the one listed:
    // another in its place was never listed.
    const Identity* expected = nullptr;
    Name* renamed = nullptr;
    if (listing_.entries[node].isDirectory) {
      const auto listed = Listed(node);
      if (listed != directories_.end()) expected = &listed->identity;
      // Its new name is kept for the way to entries below it; the room is
      // made before the rename, which nothing after it may fail for.
      renamed = &renamed_[node];
    }
    const ErrorCode error = system_.Rename(Here(), oldName_, newName_, expected);
    if (renamed != nullptr && error == 0) renamed->swap(newName_);
    if (renamed != nullptr && error != 0) renamed_.erase(node);
    return error;
  }

  ErrorCode RenameRefusal(uint32_t node) override {
    if (const ErrorCode error = MoveTo(listing_.entries[node].parent)) return error;
    NameOf(node, oldName_);
    return system_.Refusal(Here(), oldName_);
  }

  ErrorCode ReadLink(uint32_t node, std::u16string& target) override {
    if (const ErrorCode error = MoveTo(listing_.entries[node].parent)) return error;
    NameOf(node, oldName_);
    return system_.ReadLink(Here(), oldName_, target);
  }

  ErrorCode RealPath(std::u16string& path) override {
    return system_.RealPath(levels_.front().place, path);
  }

  ErrorCode RenameBelow(std::u16string_view below, std::u16string_view oldName,
                        std::u16string_view newName) override {
    if (const ErrorCode error = WalkBelow(below)) return error;
    if (const ErrorCode error = StillInPlace()) return error;
    System::Encode(oldName, oldName_);
    System::Encode(newName, newName_);
    return system_.Rename(Here(), oldName_, newName_, nullptr);
  }

  ErrorCode LookBelow(std::u16string_view below, std::u16string_view name) override {
    if (const ErrorCode error = WalkBelow(below)) return error;
    System::Encode(name, oldName_);
    Identity found;
    return system_.Look(Here(), oldName_, found);
  }

 private:
  static constexpr uint32_t kTop = TreeEntry::kTop;
  // Directories open at once, the top included.
  static constexpr size_t kOpenAtMost = 16;
  // How long the check that the chain is in place holds: renames in one
  // directory follow each other closely, but a write of a line can wait.
  static constexpr std::chrono::milliseconds kCheckedFor{1};

  struct Level {
    uint32_t node;  // its entry in the listing (kTop for the top and off it)
    Name name;      // its name in the level above
    Place place;    // its handle closed for all but the last few levels
  };

  // A directory of the listing to be entered, and which file it was.
  struct ListedDirectory {
    uint32_t node;
    Identity identity;
  };

  const Place& Here() const { return levels_.back().place; }

  // Brings the chain to the directory reached from the top through `below`
  // (names joined by "/"), keeping the directories it shares with the way
  // it stands on.
  ErrorCode WalkBelow(std::u16string_view below) {
    route_.clear();
    for (size_t start = 0; start < below.size();) {
      const size_t slash = std::min(below.find(u'/', start), below.size());
      route_.emplace_back();
      System::Encode(below.substr(start, slash - start), route_.back());
      start = slash + 1;
    }
    return WalkTo(
        route_.size(), [this](const Level& level, size_t i) { return level.name == route_[i]; },
        [this](size_t i) { return Down(kTop, route_[i], nullptr); });
  }
  size_t Depth() const { return levels_.size() - 1; }

  // Lists the deepest directory of the chain, appending its entries, and
  // notes the directories to be listed next.
  void ListHere(std::vector<uint32_t>& subdirectories, std::vector<TreeError>& errors) {
    const uint32_t node = levels_.back().node;
    const size_t firstEntry = listing_.entries.size(), firstName = listing_.names.size();
    const size_t firstDirectory = directories_.size(), firstError = errors.size();
    size_t read = 0;
    const ErrorCode error = system_.List(Here(), [&](const ListedEntry<Identity>& entry) {
      const uint32_t self = static_cast<uint32_t>(listing_.entries.size());
      listing_.entries.push_back({node, static_cast<uint32_t>(listing_.names.size()),
                                  static_cast<uint32_t>(entry.name.size()), entry.isDirectory,
                                  entry.isLink, entry.isOutput});
      listing_.names += entry.name;
      ++read;
      if (entry.unenterable != 0) {
        errors.push_back({self, entry.unenterable, false});
      } else if (entry.enter) {
        if (entry.identityKnown) directories_.push_back({self, entry.identity});
        subdirectories.push_back(self);
      }
    });
    if (error == 0) return;
    // What was read of a listing that failed is not enough to plan with.
    errors.resize(firstError);
    errors.push_back({node, error, read > 0});
    listing_.entries.resize(firstEntry);
    listing_.names.resize(firstName);
    directories_.resize(firstDirectory);
    subdirectories.clear();
  }

  typename std::vector<ListedDirectory>::const_iterator Listed(uint32_t node) const {
    const auto listed = std::lower_bound(
        directories_.begin(), directories_.end(), node,
        [](const ListedDirectory& directory, uint32_t n) { return directory.node < n; });
    return listed != directories_.end() && listed->node == node ? listed : directories_.end();
  }

  // Brings the chain to the directory `target` (kTop for the top): up to
  // the last directory it shares with the way there, then down one name at
  // a time, each directory checked to be the one listed.
  ErrorCode MoveTo(uint32_t target) {
    way_.clear();
    for (uint32_t at = target; at != kTop; at = listing_.entries[at].parent) way_.push_back(at);
    std::reverse(way_.begin(), way_.end());
    return WalkTo(
        way_.size(), [this](const Level& level, size_t i) { return level.node == way_[i]; },
        [this](size_t i) {
          const uint32_t node = way_[i];
          NameOf(node, stepName_);
          const auto listed = Listed(node);
          return Down(node, stepName_, listed != directories_.end() ? &listed->identity : nullptr);
        });
  }

  // Brings the chain to the end of a way of `length` directories: up to
  // the last one it shares with the way (`shares(level, i)`: the chain's
  // level below the top is the way's `i`-th), then down (`down(i)`).
  template <typename Shares, typename Down>
  ErrorCode WalkTo(size_t length, Shares&& shares, Down&& down) {
    size_t common = 0;
    while (common < Depth() && common < length && shares(levels_[common + 1], common)) ++common;
    while (Depth() > common) Up();
    for (size_t level = Depth(); level < length; ++level) {
      if (const ErrorCode error = down(level)) return error;
    }
    return 0;
  }

  // Enters the directory `name` of the deepest level: a directory, not a
  // link, on the top's volume, and the file `expected` when given.
  ErrorCode Down(uint32_t node, const Name& name, const Identity* expected) {
    Level level{node, name, Place()};
    if (const ErrorCode error = system_.Open(Here(), name, level.place)) return error;
    if (System::OtherVolume(levels_.front().place, level.place)) return System::kOtherVolume;
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
  void Up() {
    if (Depth() == 0) return;
    const Level child = std::move(levels_.back());
    levels_.pop_back();
    --open_;
    ++changes_;
    Level& parent = levels_.back();
    if (System::IsOpen(parent.place)) return;
    Place reopened;
    if (system_.Reopen(child.place, parent.place, reopened) == 0 &&
        System::SameFile(reopened.identity, parent.place.identity)) {
      parent.place = std::move(reopened);
      ++open_;
      return;
    }
    while (!System::IsOpen(levels_.back().place)) levels_.pop_back();
  }

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

  // 0 when every directory of the chain is still where the walk entered
  // it: from the deepest up to the top, each one's name in the one above
  // still holds it. Another program may have moved one out of the tree
  // since; renaming in it then would rename outside the tree. Checked when
  // the chain changed, and again once kCheckedFor has passed.
  ErrorCode StillInPlace() {
    const auto now = std::chrono::steady_clock::now();
    if (checkedChanges_ == changes_ && now - checkedAt_ < kCheckedFor) return 0;
    // Levels closed on the way up are opened again from their child, two
    // at a time at most, and checked to be the directories entered.
    Place reopened[2];
    const Place* child = &Here();
    for (size_t depth = Depth(); depth > 0; --depth) {
      const Place* parent = &levels_[depth - 1].place;
      if (!System::IsOpen(*parent)) {
        Place& spare = reopened[depth % 2];
        if (system_.Reopen(*child, *parent, spare) != 0 ||
            !System::SameFile(spare.identity, parent->identity)) {
          return System::kChanged;
        }
        parent = &spare;
      }
      Identity found;
      if (system_.Look(*parent, levels_[depth].name, found) != 0 ||
          !System::SameFile(found, levels_[depth].place.identity)) {
        return System::kChanged;
      }
      child = parent;
    }
    checkedChanges_ = changes_;
    checkedAt_ = now;
    return 0;
  }

  // The name of `node` as it is now, as the system takes it.
  void NameOf(uint32_t node, Name& out) const {
    const auto renamed = renamed_.find(node);
    if (renamed != renamed_.end()) {
      out = renamed->second;
    } else {
      System::Encode(listing_.Name(node), out);
    }
  }

  System system_;
  std::vector<Level> levels_;  // the chain, the top first
  size_t open_ = 1;
  uint64_t changes_ = 0, checkedChanges_ = UINT64_MAX;
  std::chrono::steady_clock::time_point checkedAt_;
  TreeListing listing_;
  std::vector<ListedDirectory> directories_;  // in the order of their entries
  std::unordered_map<uint32_t, Name> renamed_;  // directories' new names
  std::vector<uint32_t> way_;
  std::vector<Name> route_;
  Name stepName_, oldName_, newName_;
};

}  // namespace platform
