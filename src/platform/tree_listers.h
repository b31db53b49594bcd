// Directories of a tree listed on threads of their own, several at once.
// On a file share every call waits for a round trip; calls in flight
// together wait for theirs together. Each lister has a chain of its own
// (tree_chain.h), started from a copy of the top's handle: it walks down to
// the directory it is asked for one name at a time, each directory checked
// to be the one the listing saw, and lists it. The walk asks for
// directories and takes their listings in its own order, so the tree is
// listed as one walk alone would list it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/tree_chain.h"

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
class TreeListers {
 public:
  using Name = typename System::Name;
  using Place = typename System::Place;
  using Identity = typename System::Identity;
  using Chain = TreeChain<System>;

  // A directory on the way to the one to be listed, the top's child first.
  struct Step {
    uint32_t node;
    Name name;
    bool identityKnown;
    Identity identity;  // which file the listing saw
  };

  // What a lister found in one directory.
  struct Found {
    ErrorCode wayError = 0;  // the way there could not be walked
    ErrorCode error = 0;     // the listing failed part way (or at once)
    bool outOfMemory = false;
    bool ready = false;
    std::u16string names;  // every name, end to end
    struct Entry {
      size_t nameOffset;
      ListedEntry<Identity> entry;  // its name set when taken
    };
    std::vector<Entry> entries;
  };

  // Up to `count` listers, each with a copy of the system and of the top's
  // handle; fewer where the system leaves room for fewer or gives no more
  // (size() says).
  TreeListers(const System& system, const Place& top, unsigned count) {
    count = System::ListersFor(count, Chain::kOpenAtMost);
    for (unsigned i = 0; i < count; ++i) {
      Place copy;
      if (system.Duplicate(top, copy) != 0) break;
      listers_.push_back(std::make_unique<Lister>(Lister{system, Chain(std::move(copy))}));
      try {
        threads_.emplace_back([this, lister = listers_.back().get()] { Serve(*lister); });
      } catch (const std::system_error&) {
        listers_.pop_back();
        break;
      }
    }
  }

  ~TreeListers() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
      asked_.clear();
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) thread.join();
  }

  size_t size() const { return threads_.size(); }

  // Asks for the listing of the directory `node`, reached by `way`; one
  // `first` is listed before those asked for earlier.
  void Ask(uint32_t node, std::vector<Step> way, bool first) {
    {
      // Its place among the listings found is made here, where memory
      // running out is the walk's to report.
      const std::lock_guard<std::mutex> lock(mutex_);
      found_.emplace(node, Found());
      if (first) {
        asked_.push_front({node, std::move(way)});
      } else {
        asked_.push_back({node, std::move(way)});
      }
    }
    wake_.notify_one();
  }

  // Listings asked for and not yet found.
  size_t Unfinished() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return asked_.size() + busy_;
  }

  // The listing of `node`, asked for before: waits until it is there.
  // Throws std::bad_alloc where memory ran out on the way.
  Found Take(uint32_t node) {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [&] { return found_.at(node).ready; });
    Found found = std::move(found_.at(node));
    found_.erase(node);
    lock.unlock();
    if (found.outOfMemory) throw std::bad_alloc();
    for (typename Found::Entry& entry : found.entries) {
      entry.entry.name =
          std::u16string_view(found.names).substr(entry.nameOffset, entry.entry.name.size());
    }
    return found;
  }

 private:
  struct Job {
    uint32_t node;
    std::vector<Step> way;
  };
  struct Lister {
    System system;
    Chain chain;
  };

  void Serve(Lister& lister) {
    for (;;) {
      Job job;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [&] { return stop_ || !asked_.empty(); });
        if (stop_) return;
        job = std::move(asked_.front());
        asked_.pop_front();
        ++busy_;
      }
      Found found = List(lister, job.way);
      found.ready = true;
      {
        const std::lock_guard<std::mutex> lock(mutex_);
        found_.at(job.node) = std::move(found);
        --busy_;
      }
      done_.notify_all();
    }
  }

  static Found List(Lister& lister, const std::vector<Step>& way) {
    Found found;
    try {
      found.wayError = lister.chain.WalkTo(
          lister.system, way.size(),
          [&](const typename Chain::Level& level, size_t i) { return level.node == way[i].node; },
          [&](size_t i) {
            return lister.chain.Down(lister.system, way[i].node, way[i].name,
                                     way[i].identityKnown ? &way[i].identity : nullptr);
          });
      if (found.wayError != 0) return found;
      found.error = lister.system.List(lister.chain.Here(), [&](const ListedEntry<Identity>& entry) {
        found.entries.push_back({found.names.size(), entry});
        found.names += entry.name;
      });
    } catch (const std::bad_alloc&) {
      found = Found();
      found.outOfMemory = true;
    }
    return found;
  }

  std::vector<std::unique_ptr<Lister>> listers_;
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable wake_, done_;
  std::deque<Job> asked_;
  std::unordered_map<uint32_t, Found> found_;
  size_t busy_ = 0;  // listings being made
  bool stop_ = false;
};

}  // namespace platform
