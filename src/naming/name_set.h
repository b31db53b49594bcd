// A set of names kept end to end in one buffer and found by their hash: no
// allocation for each name, a few bytes of table for each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace naming {

class NameSet {
 public:
  static constexpr size_t kAbsent = SIZE_MAX;

  // Makes room for `names` names of `units` units in all.
  void Reserve(size_t names, size_t units);

  // The index of `name` (names are numbered in the order they came), or
  // kAbsent.
  size_t Find(std::u16string_view name) const;

  // Adds `name` unless it is there: its index, and whether it was added.
  std::pair<size_t, bool> Insert(std::u16string_view name) { return Insert(name, Hash(name)); }
  std::pair<size_t, bool> Insert(std::u16string_view name, uint64_t hash);

  // The hash a name is found by, and a hint that it will be looked for
  // soon: its slot is fetched into the cache meanwhile.
  static uint64_t Hash(std::u16string_view name);
  void Prefetch(uint64_t hash) const {
    if (!slots_.empty()) __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]);
  }

  // Takes back the name added last.
  void EraseLast();

  void Clear();
  size_t size() const { return starts_.size() - 1; }
  std::u16string_view Name(size_t index) const {
    return std::u16string_view(text_).substr(starts_[index], starts_[index + 1] - starts_[index]);
  }

 private:
  // The slot that holds `name`, or the empty slot where it would go.
  size_t Slot(std::u16string_view name, uint64_t hash) const;
  void Grow();

  std::u16string text_;                  // every name, end to end
  std::vector<uint32_t> starts_ = {0};   // where each name starts, and the end
  // Open addressing, linear probing: the high half of a name's hash and
  // its index + 1; 0 for an empty slot. At most half of them are used.
  std::vector<uint64_t> slots_;
};

}  // namespace naming
