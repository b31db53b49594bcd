#include "fit/ranges.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace fit {
namespace {

// Both structures against plain arrays, on random operations at sizes
// around powers of two.
TEST(RangesTest, AgreeWithPlainArrays) {
  std::mt19937 random(7);
  for (const size_t size : {1u, 2u, 3u, 7u, 8u, 9u, 100u}) {
    LengthTally tally(static_cast<uint32_t>(size));
    std::vector<int64_t> counts(size + 1);
    std::vector<int64_t> values(size);
    for (int64_t& value : values) value = static_cast<int64_t>(random() % 1000);
    RangeMin least(values);
    for (int round = 0; round < 500; ++round) {
      const uint32_t length = static_cast<uint32_t>(random() % (size + 1));
      const int sign = counts[length] > 0 && random() % 3 == 0 ? -1 : 1;
      tally.Add(length, sign);
      counts[length] += sign;
      int64_t count = 0, sum = 0, wantCount = 0, wantSum = 0;
      const uint32_t upTo = static_cast<uint32_t>(random() % (size + 1));
      tally.UpTo(upTo, count, sum);
      for (uint32_t i = 0; i <= upTo; ++i) {
        wantCount += counts[i];
        wantSum += counts[i] * i;
      }
      ASSERT_EQ(std::make_pair(count, sum), std::make_pair(wantCount, wantSum));

      size_t first = random() % size, last = random() % size;
      if (first > last) std::swap(first, last);
      if (random() % 2 == 0) {
        const int64_t added = static_cast<int64_t>(random() % 21) - 10;
        least.Add(first, last, added);
        for (size_t i = first; i <= last; ++i) values[i] += added;
      }
      ASSERT_EQ(least.Min(first, last),
                *std::min_element(values.begin() + static_cast<ptrdiff_t>(first),
                                  values.begin() + static_cast<ptrdiff_t>(last) + 1))
          << "size " << size << ", round " << round;
    }
  }
}

}  // namespace
}  // namespace fit
