#include "naming/candidates.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace naming {
namespace {

constexpr Answer kTaken = 183;

TEST(SearchCandidatesTest, TriesEachCandidateInTurnUntilOneIsFree) {
  // From which step, with which names taken: where the search ends.
  const struct {
    uint64_t from;
    std::set<std::u16string> taken;
    std::u16string chosen;
    uint64_t step;
  } cases[] = {
      {0, {}, u"abcdefgh.txt", 0},
      {0, {u"abcdefgh.txt"}, u"abcdefg0.txt", 1},
      {0, {u"abcdefgh.txt", u"abcdefg0.txt", u"abcdefg1.txt"}, u"abcdefg2.txt", 3},
      // A remembered step starts there, whatever the names before it.
      {5, {}, u"abcdefg4.txt", 5},
      {16, {u"abcdefgF.txt"}, u"abcdef10.txt", 17},
      {0x101, {}, u"abcde100.txt", 0x101},
  };
  for (const auto& c : cases) {
    std::u16string candidate = u"abcdefgh.txt";
    std::set<std::u16string> tried;
    const Found found = SearchCandidates(candidate.data(), 8, c.from, kTaken, [&] {
      tried.insert(candidate);
      return c.taken.count(candidate) ? kTaken : Answer{0};
    });
    EXPECT_EQ(candidate, c.chosen);
    EXPECT_EQ(found.step, c.step);
    EXPECT_EQ(found.answer, 0u);
    EXPECT_EQ(tried.size(), c.step - c.from + 1);
  }
}

TEST(SearchCandidatesTest, EndsOnAnotherErrorOrWhenTheDigitsRunOut) {
  std::u16string candidate = u"abcdefgh.txt";
  Found found = SearchCandidates(candidate.data(), 8, 0, kTaken,
                                 [&] { return candidate == u"abcdefg1.txt" ? 5u : kTaken; });
  EXPECT_EQ(found.step, 2u);
  EXPECT_EQ(found.answer, 5u);

  // At 8 with a four-unit extension, four digits fit: 1 + 0x10000 steps.
  candidate = u"abcd.txt";
  uint64_t attempts = 0;
  found = SearchCandidates(candidate.data(), 4, 0, kTaken, [&] {
    ++attempts;
    return kTaken;
  });
  EXPECT_EQ(attempts, 0x10001u);
  EXPECT_EQ(found.step, 0x10001u);
  EXPECT_EQ(found.answer, kTaken);
  EXPECT_EQ(candidate, u"FFFF.txt");
}

}  // namespace
}  // namespace naming
