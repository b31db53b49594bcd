// The tree walk, written once for every system: the order a tree is listed
// in, the chain of directories the walk stands in (tree_chain.h: each
// reached from the one above it by one name, and checked to be the
// directory the listing saw), and, before renames, the check that those
// directories are still where the walk found them. With more than one job,
// directories are listed, and entries renamed, by workers of their own,
// several at once (tree_workers.h), with the same listing and the same
// renames in the same order of lines.
//
// What differs between systems is a small class of theirs (posix_tree.cpp,
// win32_tree.cpp), `System` below, copied for each worker:
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
//   Duplicate(place, copy)      a second handle of the same directory
//   WorkersFor(wanted, open)    how many workers, each with up to `open`
//                               descriptors or handles, there is room for
//   IsOpen(place), Close(place)
//   Look(parent, name, out)     which file `name` in `parent` is now
//   List(place, take)           hands each entry of the directory to `take`
//   Rename(place, old, new, expected)  one name in the directory, never
//                               replacing; with `expected`, only while
//                               `old` still is that file
//   Refusal(place, name)        what a rename of `name` would fail with
//   ReadLink(place, name, target)
//   RealPath(place, path)       the directory's path, every link resolved
//   OnShare(place)              whether it is on a file share (or FUSE)
//   kOpenDirectoriesHoldTheirParents  whether a directory that holds an
//                               open one cannot be renamed
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/rename_order.h"
#include "platform/tree_chain.h"
#include "platform/tree_workers.h"

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

  WalkedTree(System system, Place top) : system_(std::move(system)), chain_(std::move(top)) {}

  const TreeListing& List(std::vector<TreeError>& errors, const Progress& goOn,
                          unsigned jobs) override {
    // What the workers found, by directory: made before them, so that it
    // outlives the listings they are still making when the walk stops.
    std::unordered_map<uint32_t, Found> found;
    const std::unique_ptr<Workers> workers = StartWorkers(jobs);
    std::vector<Pending> pending(1);
    ListHere(pending.back().subdirectories, errors);
    while (!pending.empty() && goOn(listing_.entries.size()) == Go::kOn) {
      Pending& level = pending.back();
      if (level.next == level.subdirectories.size()) {
        pending.pop_back();
        if (workers == nullptr && !pending.empty()) chain_.Up(system_);
        continue;
      }
      const uint32_t node = level.subdirectories[level.next];
      std::vector<uint32_t> subdirectories;
      if (workers != nullptr) {
        AskAhead(*workers, pending, found);
        ++level.next;
        workers->Wait(node);
        const Found here = std::move(found.at(node));
        found.erase(node);
        if (here.wayError != 0) {
          errors.push_back({node, here.wayError, false});
          continue;
        }
        Add(node, subdirectories, errors, [&](auto&& take) {
          for (auto [offset, entry] : here.entries) {
            entry.name = std::u16string_view(here.names).substr(offset, entry.name.size());
            take(entry);
          }
          return here.error;
        });
      } else {
        ++level.next;
        if (const ErrorCode error = MoveTo(node)) {
          errors.push_back({node, error, false});
          continue;
        }
        ListHere(subdirectories, errors);
      }
      pending.push_back({std::move(subdirectories), 0, 0});
    }
    return listing_;
  }

  ErrorCode Rename(uint32_t node, std::u16string_view newName) override {
    if (const ErrorCode error = MoveTo(listing_.entries[node].parent)) return error;
    if (const ErrorCode error = chain_.StillInPlace(system_)) return error;
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
    const ErrorCode error = system_.Rename(chain_.Here(), oldName_, newName_, expected);
    if (renamed != nullptr && error == 0) renamed->swap(newName_);
    if (renamed != nullptr && error != 0) renamed_.erase(node);
    return error;
  }

  ErrorCode RenameRefusal(uint32_t node) override {
    if (const ErrorCode error = MoveTo(listing_.entries[node].parent)) return error;
    NameOf(node, oldName_);
    return system_.Refusal(chain_.Here(), oldName_);
  }

  ErrorCode ReadLink(uint32_t node, std::u16string& target) override {
    if (const ErrorCode error = MoveTo(listing_.entries[node].parent)) return error;
    NameOf(node, oldName_);
    return system_.ReadLink(chain_.Here(), oldName_, target);
  }

  ErrorCode RealPath(std::u16string& path) override {
    return system_.RealPath(chain_.Top(), path);
  }

  ErrorCode RenameBelow(std::u16string_view below, std::u16string_view oldName,
                        std::u16string_view newName) override {
    if (const ErrorCode error = WalkBelow(below)) return error;
    if (const ErrorCode error = chain_.StillInPlace(system_)) return error;
    System::Encode(oldName, oldName_);
    System::Encode(newName, newName_);
    return system_.Rename(chain_.Here(), oldName_, newName_, nullptr);
  }

  ErrorCode LookBelow(std::u16string_view below, std::u16string_view name) override {
    if (const ErrorCode error = WalkBelow(below)) return error;
    System::Encode(name, oldName_);
    Identity found;
    return system_.Look(chain_.Here(), oldName_, found);
  }

  bool OnShare() override { return system_.OnShare(chain_.Top()); }

  void Renames(size_t count, unsigned jobs, const NextRename& next,
               const Renamed& done) override {
    // The renames from the first one not yet told of, as many as there are
    // workers. One starts once none before it that it waits for is still
    // to finish; each is told of once it and those before it are finished.
    // (Made before the workers, which write into it, so that it outlives
    // them when something is thrown.)
    std::deque<Flight> window;
    const std::unique_ptr<Workers> workers = StartWorkers(jobs);
    if (workers == nullptr) return RenameEach(count, next, done);
    // Where the walk's own chain stands holds nothing the workers rename.
    chain_.UpToTop(system_);
    // Where memory runs out, nothing more starts, every rename made is
    // still told of, and then the failure goes on.
    bool going = true, outOfMemory = false;
    const auto stop = [&](bool memory) {
      going = false;
      outOfMemory = outOfMemory || memory;
    };
    for (size_t given = 0;;) {
      bool moved = false;
      try {
        while (going && given < count && window.size() < workers->size()) {
          window.emplace_back();
          window.back().index = given;
          if (next(given++, window.back().order) != Go::kOn) {
            window.pop_back();
            stop(false);
          }
        }
        for (size_t i = 0; going && i < window.size(); ++i) {
          Flight& flight = window[i];
          if (flight.state != Flight::kWaiting ||
              std::any_of(window.begin(), window.begin() + i, [&](const Flight& before) {
                return before.state != Flight::kDone && Tangled(before.order, flight.order, listing_);
              })) {
            continue;
          }
          if (!ClearFor(*workers, flight.order)) break;
          Start(*workers, flight);
          moved = true;
        }
      } catch (const std::bad_alloc&) {
        stop(true);
      }
      for (Flight& flight : window) {
        if (flight.state != Flight::kFlying) continue;
        try {
          if (!workers->Done(flight.index)) continue;
          flight.state = Flight::kDone;
        } catch (const std::bad_alloc&) {
          // It ran out of memory on its way: nothing was renamed.
          flight.state = Flight::kWaiting;
          stop(true);
        }
        // A directory's new name holds from its start, unless it failed.
        if (flight.error != 0 && flight.order.node != kTop) renamed_.erase(flight.order.node);
        moved = true;
      }
      // Told of in order; once stopped, those never started are not.
      while (!window.empty() &&
             (window.front().state == Flight::kDone ||
              (!going && window.front().state == Flight::kWaiting))) {
        if (window.front().state == Flight::kDone) {
          try {
            if (done(window.front().index, window.front().error) != Go::kOn) stop(false);
          } catch (const std::bad_alloc&) {
            stop(true);  // (a failure's line: nothing of it was renamed)
          }
        }
        window.pop_front();
        moved = true;
      }
      if (window.empty() && (given == count || !going)) break;
      if (!moved) workers->WaitForMore();
    }
    if (outOfMemory) throw std::bad_alloc();
  }

 private:
  using Chain = TreeChain<System>;
  using Workers = TreeWorkers<System>;
  using Step = typename Workers::Step;
  static constexpr uint32_t kTop = TreeEntry::kTop;
  // Listings asked for and not yet made, for each worker: enough to keep
  // every worker busy while the walk takes the ones before.
  static constexpr size_t kAskedPerWorker = 2;

  // A listed directory's subdirectories: those the walk has gone into
  // (before `next`) and those asked for (before `asked`).
  struct Pending {
    std::vector<uint32_t> subdirectories;
    size_t next = 0, asked = 0;
  };

  // A directory of the listing to be entered, and which file it was.
  struct ListedDirectory {
    uint32_t node;
    Identity identity;
  };

  // What a worker found in one directory: its entries, each with where
  // its name starts in `names`.
  struct Found {
    ErrorCode wayError = 0, error = 0;
    std::u16string names;
    std::vector<std::pair<size_t, ListedEntry<Identity>>> entries;
  };

  // A rename given to Renames, and how it went.
  struct Flight {
    RenameOrder order;
    size_t index = 0;
    enum { kWaiting, kFlying, kDone } state = kWaiting;
    ErrorCode error = 0;
  };

  // Workers for `jobs` calls at once; none for one, or where none start.
  std::unique_ptr<Workers> StartWorkers(unsigned jobs) const {
    if (jobs <= 1) return nullptr;
    auto workers = std::make_unique<Workers>(system_, chain_.Top(), jobs);
    return workers->size() > 0 ? std::move(workers) : nullptr;
  }

  // Asks for the listing the walk takes next, before any other, and those
  // after it in the walk's order (the deepest level's first) while few are
  // waiting to be made. Those made wait in `found` to be taken.
  void AskAhead(Workers& workers, std::vector<Pending>& pending,
                std::unordered_map<uint32_t, Found>& found) {
    Pending& here = pending.back();
    if (here.asked == here.next) Ask(workers, here.subdirectories[here.asked++], true, found);
    const size_t most = kAskedPerWorker * workers.size();
    size_t unfinished = workers.Unfinished();
    for (size_t level = pending.size(); level-- > 0 && unfinished < most;) {
      Pending& at = pending[level];
      for (; at.asked < at.subdirectories.size() && unfinished < most; ++unfinished) {
        Ask(workers, at.subdirectories[at.asked++], false, found);
      }
    }
  }

  void Ask(Workers& workers, uint32_t node, bool first,
           std::unordered_map<uint32_t, Found>& found) {
    Found* slot = &found[node];
    workers.Ask(node, WayTo(node), [slot](System& system, TreeChain<System>& chain, ErrorCode wayError) {
      if ((slot->wayError = wayError) != 0) return;
      slot->error = system.List(chain.Here(), [&](const ListedEntry<Identity>& entry) {
        slot->entries.emplace_back(slot->names.size(), entry);
        slot->names += entry.name;
      });
    }, first);
  }

  // The way from the top to the listed directory `node`, each directory
  // with its name now and which file the listing saw.
  std::vector<Step> WayTo(uint32_t node) const {
    std::vector<Step> way;
    for (uint32_t at = node; at != kTop; at = listing_.entries[at].parent) {
      way.push_back({at, {}, false, {}});
      NameOf(at, way.back().name);
      const auto listed = Listed(at);
      if (listed != directories_.end()) {
        way.back().identityKnown = true;
        way.back().identity = listed->identity;
      }
    }
    std::reverse(way.begin(), way.end());
    return way;
  }

  // True when `order` may start as far as open directories go: where the
  // system refuses to rename a directory that holds an open one (Windows),
  // a directory is renamed once every worker has left it, which they are
  // asked to do once nothing else is in flight.
  bool ClearFor(Workers& workers, const RenameOrder& order) {
    // (A report taken back renames a directory before anything in it.)
    if (!System::kOpenDirectoriesHoldTheirParents || order.refused != 0 || order.ask ||
        order.node == kTop || !listing_.entries[order.node].isDirectory) {
      return true;
    }
    if (workers.Unfinished() != 0) return false;
    workers.Leave();
    return true;
  }

  // Hands `flight` to a worker (where it is to be renamed at all). A
  // directory's new name is kept for the way below it from now on, and
  // taken back if the rename fails: nothing below it is in flight, or
  // starts, before its rename is finished.
  void Start(Workers& workers, Flight& flight) {
    const RenameOrder& order = flight.order;
    if ((flight.error = order.refused) != 0) {
      flight.state = Flight::kDone;
      return;
    }
    std::vector<Step> way;
    Name oldName, newName;
    bool checked = false;
    Identity expected{};
    System::Encode(order.newName, newName);
    if (order.node != kTop) {
      way = WayTo(listing_.entries[order.node].parent);
      NameOf(order.node, oldName);
      if (listing_.entries[order.node].isDirectory && !order.ask) {
        const auto listed = Listed(order.node);
        if ((checked = listed != directories_.end())) expected = listed->identity;
        renamed_[order.node] = newName;
      }
    } else {
      for (size_t start = 0; start < order.below.size();) {
        const size_t slash = std::min(order.below.find(u'/', start), order.below.size());
        way.push_back({kTop, {}, false, {}});
        System::Encode(std::u16string_view(order.below).substr(start, slash - start),
                       way.back().name);
        start = slash + 1;
      }
      System::Encode(order.oldName, oldName);
    }
    ErrorCode* error = &flight.error;
    if (order.ask) {
      workers.Ask(flight.index, std::move(way),
                  [error, oldName](System& system, TreeChain<System>& chain, ErrorCode wayError) {
                    if ((*error = wayError) == 0) *error = system.Refusal(chain.Here(), oldName);
                  },
                  false);
      flight.state = Flight::kFlying;
      return;
    }
    workers.Ask(flight.index, std::move(way),
                [error, oldName, newName, checked, expected](System& system, TreeChain<System>& chain,
                                                             ErrorCode wayError) {
                  if ((*error = wayError) != 0 || (*error = chain.StillInPlace(system)) != 0) return;
                  *error = system.Rename(chain.Here(), oldName, newName, checked ? &expected : nullptr);
                },
                false);
    flight.state = Flight::kFlying;
  }

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
    return chain_.WalkTo(
        system_, route_.size(),
        [this](const typename Chain::Level& level, size_t i) { return level.name == route_[i]; },
        [this](size_t i) { return chain_.Down(system_, kTop, route_[i], nullptr); });
  }

  // Lists the deepest directory of the chain.
  void ListHere(std::vector<uint32_t>& subdirectories, std::vector<TreeError>& errors) {
    Add(chain_.HereNode(), subdirectories, errors,
        [&](auto&& take) { return system_.List(chain_.Here(), take); });
  }

  // Appends the entries of the directory `node` that `list(take)` hands on
  // and notes the directories to be listed next.
  template <typename ListEntries>
  void Add(uint32_t node, std::vector<uint32_t>& subdirectories, std::vector<TreeError>& errors,
           ListEntries&& list) {
    const size_t firstEntry = listing_.entries.size(), firstName = listing_.names.size();
    const size_t firstDirectory = directories_.size(), firstError = errors.size();
    size_t read = 0;
    const ErrorCode error = list([&](const ListedEntry<Identity>& entry) {
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
    return chain_.WalkTo(
        system_, way_.size(),
        [this](const typename Chain::Level& level, size_t i) { return level.node == way_[i]; },
        [this](size_t i) {
          const uint32_t node = way_[i];
          NameOf(node, stepName_);
          const auto listed = Listed(node);
          return chain_.Down(system_, node, stepName_,
                             listed != directories_.end() ? &listed->identity : nullptr);
        });
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
  Chain chain_;
  TreeListing listing_;
  std::vector<ListedDirectory> directories_;  // in the order of their entries
  std::unordered_map<uint32_t, Name> renamed_;  // directories' new names
  std::vector<uint32_t> way_;
  std::vector<Name> route_;
  Name stepName_, oldName_, newName_;
};

}  // namespace platform
