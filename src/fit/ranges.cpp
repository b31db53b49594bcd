#include "fit/ranges.h"

#include <algorithm>

namespace fit {

void LengthTally::Add(uint32_t length, int sign) {
  for (size_t i = length + 1; i < count_.size(); i += i & (~i + 1)) {
    count_[i] += sign;
    sum_[i] += sign * int64_t{length};
  }
}

void LengthTally::UpTo(uint32_t length, int64_t& count, int64_t& sum) const {
  count = sum = 0;
  for (size_t i = std::min<size_t>(length + 1, count_.size() - 1); i > 0; i -= i & (~i + 1)) {
    count += count_[i];
    sum += sum_[i];
  }
}

RangeMin::RangeMin(const std::vector<int64_t>& values) {
  while (leaves_ < values.size()) leaves_ *= 2;
  while ((size_t{1} << height_) < leaves_) ++height_;
  min_.assign(2 * leaves_, kNone);
  added_.assign(leaves_, 0);
  std::copy(values.begin(), values.end(), min_.begin() + static_cast<ptrdiff_t>(leaves_));
  for (size_t at = leaves_; at-- > 1;) min_[at] = std::min(min_[2 * at], min_[2 * at + 1]);
}

int64_t RangeMin::Min(size_t first, size_t last) {
  size_t low = first + leaves_, high = last + leaves_ + 1;
  HandDown(low);
  HandDown(high - 1);
  int64_t least = kNone;
  for (; low < high; low /= 2, high /= 2) {
    if (low & 1) least = std::min(least, min_[low++]);
    if (high & 1) least = std::min(least, min_[--high]);
  }
  return least;
}

void RangeMin::Add(size_t first, size_t last, int64_t value) {
  size_t low = first + leaves_, high = last + leaves_ + 1;
  const size_t firstLeaf = low, lastLeaf = high - 1;
  for (; low < high; low /= 2, high /= 2) {
    if (low & 1) Apply(low++, value);
    if (high & 1) Apply(--high, value);
  }
  PullUp(firstLeaf);
  PullUp(lastLeaf);
}

void RangeMin::Apply(size_t at, int64_t value) {
  min_[at] += value;
  if (at < leaves_) added_[at] += value;
}

// Hands down what was added above the leaf `at`, top first.
void RangeMin::HandDown(size_t at) {
  for (size_t shift = height_; shift > 0; --shift) {
    const size_t node = at >> shift;
    if (added_[node] != 0) {
      Apply(2 * node, added_[node]);
      Apply(2 * node + 1, added_[node]);
      added_[node] = 0;
    }
  }
}

// Makes the nodes above the leaf `at` right again.
void RangeMin::PullUp(size_t at) {
  for (at /= 2; at >= 1; at /= 2) {
    min_[at] = std::min(min_[2 * at], min_[2 * at + 1]) + added_[at];
  }
}

}  // namespace fit
