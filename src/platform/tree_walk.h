// The parts of a tree walk that are the same on every system: the order the
// tree is listed in, and the way from the directory the walk stands in to
// another, one name at a time.
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace platform {

// Lists a tree depth first: each directory is read whole, then its
// subdirectories are listed in turn. `listHere(subdirectories)` lists the
// directory the walk stands in and gives the ones to enter; `moveTo(node)`
// brings the walk into a directory (an error where it cannot); `up()`
// leaves the one it stands in.
template <typename ListHere, typename MoveTo, typename Up>
void ListDepthFirst(const TreeListing& listing, std::vector<TreeError>& errors,
                    const Tree::Progress& goOn, ListHere&& listHere, MoveTo&& moveTo, Up&& up) {
  struct Pending {
    std::vector<uint32_t> subdirectories;
    size_t next = 0;
  };
  std::vector<Pending> pending(1);
  listHere(pending.back().subdirectories);
  while (!pending.empty() && goOn(listing.entries.size())) {
    Pending& level = pending.back();
    if (level.next == level.subdirectories.size()) {
      pending.pop_back();
      if (!pending.empty()) up();
      continue;
    }
    const uint32_t node = level.subdirectories[level.next++];
    if (const ErrorCode error = moveTo(node)) {
      errors.push_back({node, error, false});
      continue;
    }
    std::vector<uint32_t> subdirectories;
    listHere(subdirectories);
    pending.push_back({std::move(subdirectories), 0});
  }
}

// The directories from the top down to `target` (kTop: none), top first.
inline void WayTo(const TreeListing& listing, uint32_t target, std::vector<uint32_t>& way) {
  way.clear();
  for (uint32_t at = target; at != TreeEntry::kTop; at = listing.entries[at].parent) {
    way.push_back(at);
  }
  std::reverse(way.begin(), way.end());
}

// Brings `chain` (the directories the walk stands in, the top first) to the
// end of a way of `length` directories: up to the last one it shares with
// the way (`shares(level, i)`: the chain's directory below the top at
// `level` is the way's `i`-th), then down one at a time (`down(i)`).
template <typename Chain, typename Shares, typename Down>
ErrorCode WalkTo(Chain& chain, size_t length, Shares&& shares, Down&& down) {
  size_t common = 0;
  while (common < chain.depth() && common < length && shares(chain.at(common + 1), common)) {
    ++common;
  }
  while (chain.depth() > common) chain.Up();
  for (size_t level = chain.depth(); level < length; ++level) {
    if (const ErrorCode error = down(level)) return error;
  }
  return 0;
}

}  // namespace platform
