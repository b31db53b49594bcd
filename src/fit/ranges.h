// Two range structures of the planner, each a few lines of arithmetic on
// arrays: counts and sums of lengths with prefix queries (a Fenwick tree),
// and the least of a range with a number added to a whole range (a
// segment tree).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fit {

// Counts and sums of lengths from 0 to `longest`, with prefix queries.
class LengthTally {
 public:
  explicit LengthTally(uint32_t longest) : count_(longest + 2), sum_(longest + 2) {}

  // Adds one `length` (`sign` +1), or takes one away (-1).
  void Add(uint32_t length, int sign);
  // Sets `count` and `sum` to the number and the sum of the lengths up to
  // `length`.
  void UpTo(uint32_t length, int64_t& count, int64_t& sum) const;

 private:
  std::vector<int64_t> count_, sum_;
};

// The least of a range of values, with a number added to a whole range.
class RangeMin {
 public:
  // What a range of no value answers: larger than any slack.
  static constexpr int64_t kNone = INT64_MAX / 4;

  explicit RangeMin(const std::vector<int64_t>& values);
  // The least value from `first` to `last`, both included.
  int64_t Min(size_t first, size_t last);
  // Adds `value` to every value from `first` to `last`.
  void Add(size_t first, size_t last, int64_t value);

 private:
  void Apply(size_t at, int64_t value);
  void HandDown(size_t at);
  void PullUp(size_t at);

  // A power of two of leaves, walked from the leaves up. Each inner node
  // holds the least of its two children plus what was added to its whole
  // range and not yet handed down.
  size_t leaves_ = 1, height_ = 0;
  std::vector<int64_t> min_, added_;
};

}  // namespace fit
