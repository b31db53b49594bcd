// How Windows treats names, so that every new name works there and on any
// volume that compares names ignoring case (NTFS, exFAT, FAT, SMB shares),
// whichever system the tool runs on. Pure functions on UTF-16 code units.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace naming {

// True for the names of Windows devices: the part before the first dot, with
// trailing spaces removed, is CON, PRN, AUX, NUL, COM0 to COM9, LPT0 to LPT9,
// or COM or LPT followed by a superscript 1, 2 or 3, in any case. Ordinary
// programs opening such a name reach the device, not the file.
bool IsReservedName(std::u16string_view name);

// The unit Windows compares `unit` as when it ignores case: its simple
// uppercase, one UTF-16 unit for one.
char16_t UpcaseUnit(char16_t unit);

// Sets `out` to `name` with every unit in uppercase: two names are the same
// to Windows on NTFS, ignoring case, exactly when these forms are equal.
void Upcase(std::u16string_view name, std::u16string& out);

// Sets `out` to the form under which names count as one on some Windows
// volume: NTFS's uppercase joined with what exFAT's up-case table folds
// together (final sigma with sigma). Names with different forms are
// different names on NTFS, exFAT and FAT alike.
void FoldCase(std::u16string_view name, std::u16string& out);

// True when NTFS keeps `a` before `b` in a directory: the names compared unit
// by unit in uppercase as unsigned 16-bit numbers, a name before every
// longer name it begins, and names equal that way by their own units.
bool ListsBefore(std::u16string_view a, std::u16string_view b);

// Sorts the items from `begin` to `end` into the order NTFS keeps their
// names (ListsBefore); `nameOf(item)` is an item's name, and each item has a
// field `key` (uint64_t) that the sort uses. Each name is read four units
// at a time, each part once, so that many names that begin alike sort as
// fast as names that differ at once.
template <typename Item, typename NameOf>
void SortAsListed(Item* begin, Item* end, const NameOf& nameOf, size_t first = 0);

// Units `first` to `first` + 3 of `name` in uppercase, packed into one
// number (0 for units past its end): names whose keys differ list in the
// order of their keys, when all units before `first` are the same.
uint64_t ListingKey(std::u16string_view name, size_t first);

template <typename Item, typename NameOf>
void SortAsListed(Item* begin, Item* end, const NameOf& nameOf, size_t first) {
  if (end - begin < 2) return;
  bool longer = false;  // some name goes on past these four units
  for (Item* at = begin; at != end; ++at) {
    const std::u16string_view name = nameOf(*at);
    at->key = ListingKey(name, first);
    longer = longer || name.size() > first + 4;
  }
  if (!longer) {
    // Equal in uppercase so far and no further units: by their own units.
    std::sort(begin, end, [&](const Item& a, const Item& b) {
      return a.key != b.key ? a.key < b.key : nameOf(a) < nameOf(b);
    });
    return;
  }
  std::sort(begin, end, [](const Item& a, const Item& b) { return a.key < b.key; });
  for (Item* run = begin; run != end;) {
    Item* next = run + 1;
    while (next != end && next->key == run->key) ++next;
    SortAsListed(run, next, nameOf, first + 4);
    run = next;
  }
}

}  // namespace naming
