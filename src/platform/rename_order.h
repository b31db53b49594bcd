// Which renames of a tree may be in flight together: none whose order
// another's makes a difference to.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace platform {

// True when two names may be one name where they are renamed: as a system
// that ignores case would take them (letters beyond ASCII are taken for
// the same, where folding or composing them could make them so).
inline bool SameName(std::u16string_view a, std::u16string_view b) {
  const auto fold = [](char16_t unit) {
    return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - u'a' + u'A') : unit;
  };
  const auto beyond = [](std::u16string_view name) {
    return std::any_of(name.begin(), name.end(), [](char16_t unit) { return unit >= 0x80; });
  };
  // (A full case fold may make one letter two: "ß" and "ss".)
  if (a.size() != b.size()) return beyond(a) || beyond(b);
  return std::equal(a.begin(), a.end(), b.begin(), [&](char16_t x, char16_t y) {
    return x >= 0x80 || y >= 0x80 || fold(x) == fold(y);
  });
}

// True when `above` is a directory above `node` in `listing`.
inline bool Above(uint32_t above, uint32_t node, const TreeListing& listing) {
  for (uint32_t at = listing.entries[node].parent; at != TreeEntry::kTop;
       at = listing.entries[at].parent) {
    if (at == above) return true;
  }
  return false;
}

// True when `a` and `b` must not be in flight together: one renames a
// directory on the other's way, or the two may touch one name.
inline bool Tangled(const Tree::RenameOrder& a, const Tree::RenameOrder& b,
                    const TreeListing& listing) {
  constexpr uint32_t kTop = TreeEntry::kTop;
  if (a.ask && b.ask) return false;  // questions change nothing
  if ((a.node == kTop) != (b.node == kTop)) return true;
  if (a.node != kTop) {
    return Above(a.node, b.node, listing) || Above(b.node, a.node, listing) ||
           (listing.entries[a.node].parent == listing.entries[b.node].parent &&
            (SameName(a.newName, b.newName) || SameName(a.newName, listing.Name(b.node)) ||
             SameName(listing.Name(a.node), b.newName)));
  }
  // Orders of names alone: one's old or new path on the other's way.
  for (const Tree::RenameOrder* one : {&a, &b}) {
    const Tree::RenameOrder& other = one == &a ? b : a;
    for (const std::u16string* name : {&one->oldName, &one->newName}) {
      const std::u16string path = one->below.empty() ? *name : one->below + u'/' + *name;
      if (other.below.compare(0, path.size(), path) == 0 &&
          (other.below.size() == path.size() || other.below[path.size()] == u'/')) {
        return true;
      }
    }
  }
  return a.below == b.below && (SameName(a.newName, b.newName) || SameName(a.newName, b.oldName) ||
                                SameName(a.oldName, b.newName));
}

}  // namespace platform
