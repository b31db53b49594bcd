// Work on a tree done on threads of its own, several calls at once. On a
// file share every call waits for a round trip; calls in flight together
// wait for theirs together. Each worker has a chain of its own
// (tree_chain.h), started from a copy of the top's handle: it walks down to
// the directory a piece of work is in, one name at a time, each directory
// checked to be the one the listing saw, and does the work there. Whoever
// asks decides the order the work is taken in; nothing here depends on
// which worker finishes first.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/tree_chain.h"

namespace platform {

template <typename System>
class TreeWorkers {
 public:
  using Name = typename System::Name;
  using Place = typename System::Place;
  using Identity = typename System::Identity;
  using Chain = TreeChain<System>;

  // A directory on the way to where the work is, the top's child first:
  // its entry in the listing (TreeEntry::kTop where the way is one of
  // names alone) and its name now. A worker keeps the part of its chain
  // that matches both.
  struct Step {
    uint32_t node;
    Name name;
    bool identityKnown;
    Identity identity;  // which file the listing saw
  };

  // The work, done where the way leads (`wayError` 0) or told why it could
  // not get there. It keeps what it finds itself, in a place of its own
  // that nobody reads before Wait returns. It may throw std::bad_alloc.
  using Work = std::function<void(System& system, Chain& chain, ErrorCode wayError)>;

  // Up to `count` workers, each with a copy of the system and of the top's
  // handle; fewer where the system leaves room for fewer or gives no more
  // (size() says).
  // Memory running out on the way ends those started and goes on.
  TreeWorkers(const System& system, const Place& top, unsigned count) {
    count = System::WorkersFor(count, Chain::kOpenAtMost + Chain::kOpenBeyond);
    workers_.reserve(count);
    threads_.reserve(count);
    try {
      for (unsigned i = 0; i < count; ++i) {
        Place copy;
        if (system.Duplicate(top, copy) != 0) break;
        workers_.push_back(std::make_unique<Worker>(Worker{system, Chain(std::move(copy)), 0}));
        try {
          threads_.emplace_back([this, worker = workers_.back().get()] { Serve(*worker); });
        } catch (const std::system_error&) {
          workers_.pop_back();
          break;
        }
      }
    } catch (...) {
      Stop();
      throw;
    }
  }

  ~TreeWorkers() { Stop(); }

  size_t size() const { return threads_.size(); }

  // Asks for `work` at the end of `way`, known by `key`; work asked `first`
  // is taken before all asked earlier.
  void Ask(uint64_t key, std::vector<Step> way, Work work, bool first) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      // Made here, where memory running out is the asker's to report: then
      // nothing is asked.
      state_.emplace(key, State::kAsked);
      try {
        Job job{key, std::move(way), std::move(work), first};
        if (first) {
          asked_.push_front(std::move(job));
        } else {
          asked_.push_back(std::move(job));
        }
      } catch (const std::bad_alloc&) {
        state_.erase(key);
        throw;
      }
    }
    wake_.notify_one();
  }

  // True once the work `key` is done (it is then forgotten). Throws
  // std::bad_alloc where memory ran out on its way.
  bool Done(uint64_t key) {
    State state;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      state = state_.at(key);
      if (state == State::kAsked) return false;
      state_.erase(key);
    }
    if (state == State::kOutOfMemory) throw std::bad_alloc();
    return true;
  }

  // Waits until more work is done than when it last returned.
  void WaitForMore() {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [&] { return finished_ != seen_; });
    seen_ = finished_;
  }

  // Waits until the work `key` is done.
  void Wait(uint64_t key) {
    while (!Done(key)) WaitForMore();
  }

  // Every worker leaves the directories it stands in for the top (none
  // may be working); returns once all have.
  void Leave() {
    std::unique_lock<std::mutex> lock(mutex_);
    ++leave_;
    left_ = 0;
    wake_.notify_all();
    done_.wait(lock, [&] { return left_ == threads_.size(); });
  }

  // Work asked for and not yet done.
  size_t Unfinished() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return asked_.size() + busy_;
  }

 private:
  enum class State { kAsked, kDone, kOutOfMemory };
  struct Job {
    uint64_t key;
    std::vector<Step> way;
    Work work;
    bool first;
  };
  // Queued work a worker looks through for the nearest.
  static constexpr size_t kLookedAt = 16;
  struct Worker {
    System system;
    Chain chain;
    uint64_t leave = 0;  // the last Leave it did
  };

  // Ends every worker, once its work in hand is done.
  void Stop() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
      asked_.clear();
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) thread.join();
  }

  // Whether a level of a chain is the `i`-th directory of `way`: the same
  // entry of the listing under the same name.
  static auto Shares(const std::vector<Step>& way) {
    return [&way](const typename Chain::Level& level, size_t i) {
      return level.node == way[i].node && level.name == way[i].name;
    };
  }

  // The work to take next: the first asked `first`, else of the first few
  // the one whose way shares most with where the worker stands (every
  // directory it need not open again is a round trip saved).
  typename std::deque<Job>::iterator Nearest(const Worker& worker) {
    if (asked_.front().first) return asked_.begin();
    auto best = asked_.begin();
    size_t most = worker.chain.Common(best->way.size(), Shares(best->way));
    const auto end = asked_.size() > kLookedAt ? asked_.begin() + kLookedAt : asked_.end();
    for (auto job = asked_.begin() + 1; job != end && most < worker.chain.Depth(); ++job) {
      const size_t common = worker.chain.Common(job->way.size(), Shares(job->way));
      if (common > most) best = job, most = common;
    }
    return best;
  }

  void Serve(Worker& worker) {
    for (;;) {
      Job job;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [&] { return stop_ || !asked_.empty() || worker.leave != leave_; });
        if (stop_) return;
        if (worker.leave != leave_) {
          worker.leave = leave_;
          lock.unlock();
          worker.chain.UpToTop(worker.system);
          lock.lock();
          ++left_;
          done_.notify_all();
          continue;
        }
        const auto taken = Nearest(worker);
        job = std::move(*taken);
        asked_.erase(taken);
        ++busy_;
      }
      State state = State::kDone;
      try {
        const std::vector<Step>& way = job.way;
        const ErrorCode wayError = worker.chain.WalkTo(
            worker.system, way.size(), Shares(way), [&](size_t i) {
              return worker.chain.Down(worker.system, way[i].node, way[i].name,
                                       way[i].identityKnown ? &way[i].identity : nullptr);
            });
        job.work(worker.system, worker.chain, wayError);
      } catch (const std::bad_alloc&) {
        state = State::kOutOfMemory;
      }
      {
        const std::lock_guard<std::mutex> lock(mutex_);
        state_.at(job.key) = state;
        --busy_;
        ++finished_;
      }
      done_.notify_all();
    }
  }

  std::vector<std::unique_ptr<Worker>> workers_;
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable wake_, done_;
  std::deque<Job> asked_;
  std::unordered_map<uint64_t, State> state_;
  size_t busy_ = 0;  // pieces of work being done
  uint64_t finished_ = 0, seen_ = 0;  // pieces done, and as WaitForMore last saw
  uint64_t leave_ = 0;  // Leave calls
  size_t left_ = 0;     // workers that did the last
  bool stop_ = false;
};

}  // namespace platform
