#include "naming/name_set.h"

#include <cstring>

namespace naming {
namespace {

constexpr uint64_t kIndexMask = 0xFFFFFFFF;

}  // namespace

void NameSet::Reserve(size_t names, size_t units) {
  text_.reserve(text_.size() + units);
  starts_.reserve(starts_.size() + names);
  size_t room = 16;
  while (room < 2 * (size() + names)) room *= 2;
  if (room > slots_.size()) {
    slots_.assign(room, 0);
    const uint64_t mask = room - 1;
    for (size_t index = 0; index < size(); ++index) {
      const uint64_t hash = Hash(Name(index));
      size_t slot = hash & mask;
      while (slots_[slot] != 0) slot = (slot + 1) & mask;
      slots_[slot] = (hash & ~kIndexMask) | (index + 1);
    }
  }
}

uint64_t NameSet::Hash(std::u16string_view name) {
  // Four units at a time, each step a bijection of the state (an odd
  // multiplier, then a shift mixed in), the rest unit by unit as FNV-1a
  // does; then a final mix so that both halves are spread.
  uint64_t hash = 0xCBF29CE484222325 ^ name.size();
  size_t at = 0;
  for (; at + 4 <= name.size(); at += 4) {
    uint64_t word;
    std::memcpy(&word, name.data() + at, sizeof word);
    hash = (hash ^ word) * 0x9E3779B97F4A7C15;
    hash ^= hash >> 31;
  }
  for (; at < name.size(); ++at) hash = (hash ^ name[at]) * 0x100000001B3;
  hash ^= hash >> 29;
  hash *= 0xBF58476D1CE4E5B9;
  return hash ^ (hash >> 32);
}

size_t NameSet::Slot(std::u16string_view name, uint64_t hash) const {
  const uint64_t mask = slots_.size() - 1;
  for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    const uint64_t held = slots_[slot];
    if (held == 0) return slot;
    if ((held & ~kIndexMask) == (hash & ~kIndexMask) && Name((held & kIndexMask) - 1) == name) {
      return slot;
    }
  }
}

size_t NameSet::Find(std::u16string_view name) const {
  if (slots_.empty()) return kAbsent;
  const uint64_t held = slots_[Slot(name, Hash(name))];
  return held == 0 ? kAbsent : (held & kIndexMask) - 1;
}

std::pair<size_t, bool> NameSet::Insert(std::u16string_view name, uint64_t hash) {
  if (2 * (size() + 1) > slots_.size()) Reserve(size() + 1 > 8 ? size() : 8, 0);
  const size_t slot = Slot(name, hash);
  if (slots_[slot] != 0) return {(slots_[slot] & kIndexMask) - 1, false};
  const size_t index = size();
  text_ += name;
  starts_.push_back(static_cast<uint32_t>(text_.size()));
  slots_[slot] = (hash & ~kIndexMask) | (index + 1);
  return {index, true};
}

void NameSet::EraseLast() {
  const size_t index = size() - 1;
  const uint64_t mask = slots_.size() - 1;
  size_t hole = Slot(Name(index), Hash(Name(index)));
  slots_[hole] = 0;
  // Later names of the same run move up into the hole where their probe
  // passes it, so that every name stays reachable from its first slot.
  for (size_t slot = (hole + 1) & mask; slots_[slot] != 0; slot = (slot + 1) & mask) {
    const size_t home = Hash(Name((slots_[slot] & kIndexMask) - 1)) & mask;
    if (((slot - home) & mask) >= ((slot - hole) & mask)) {
      slots_[hole] = slots_[slot];
      slots_[slot] = 0;
      hole = slot;
    }
  }
  text_.resize(starts_[index]);
  starts_.pop_back();
}

void NameSet::Clear() {
  text_.clear();
  starts_.assign(1, 0);
  slots_.clear();
}

}  // namespace naming
