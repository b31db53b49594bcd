#include "fit/limits.h"

#include <gtest/gtest.h>

#include <string>

namespace fit {
namespace {

TEST(LimitsOfTest, EachDestinationFromWhereTheTreeGoes) {
  struct Row {
    std::u16string_view budget;  // a destination's name, or a number
    uint32_t floor, headroom;
    std::u16string_view base;
    bool onWindows;
    // What comes out: the limits, or (ok false) the least limit.
    bool ok;
    uint32_t file, directory, nameLimit;
    int64_t baseLength;
    uint32_t least;
  };
  const Row rows[] = {
      {u"200", 12, 0, u"/home/ana", false, true, 200, 200, UINT32_MAX, 9, 200},
      {u"200", 12, 5, u"/home/ana", false, true, 195, 195, UINT32_MAX, 9, 200},
      {u"10", 12, 0, u"/", false, false, 0, 0, 0, 0, 10},
      {u"windows", 12, 0, u"C:\\Users\\ana", true, true, 259, 247, 255, 12, 247},
      {u"windows", 8, 240, u"C:\\Users\\ana", true, false, 0, 0, 0, 0, 247},
      // A library counts from its top; its synced folder on a PC, the
      // full path there.
      {u"onedrive", 12, 0, u"/srv/share", false, true, 400, 400, 255, -1, 255},
      {u"onedrive", 12, 0, u"C:\\Users\\ana\\OneDrive", true, true, 259, 247, 255, 21, 247},
      {u"onedrive", 8, 245, u"C:\\Users\\ana\\OneDrive", true, false, 0, 0, 0, 0, 247},
      {u"joliet", 12, 0, u"/home/ana", false, true, 240, 240, 64, 1, 64},
      {u"linux", 12, 3, u"/home/\u00e9", false, true, 4092, 4092, 252, 8, 255},
  };
  for (const Row& row : rows) {
    Asked asked;
    asked.destination = FindDestination(row.budget);
    for (const char16_t digit : asked.destination == nullptr ? row.budget : u"") {
      asked.budget = asked.budget * 10 + (digit - u'0');
    }
    asked.floor = row.floor;
    asked.headroom = row.headroom;
    asked.base = row.base;
    asked.baseOnWindows = row.onWindows;
    Limits limits{};
    uint32_t least = 0;
    const std::u16string what = std::u16string(row.budget) + u" from " + std::u16string(row.base);
    SCOPED_TRACE(std::string(what.begin(), what.end()));  // ASCII but for one row
    ASSERT_EQ(LimitsOf(asked, limits, least), row.ok);
    EXPECT_EQ(least, row.least);
    if (!row.ok) continue;
    EXPECT_EQ(limits.budget.file, row.file);
    EXPECT_EQ(limits.budget.directory, row.directory);
    EXPECT_EQ(limits.nameLimit, row.nameLimit);
    EXPECT_EQ(limits.baseLength, row.baseLength);
    EXPECT_EQ(limits.floor, row.floor);
  }
}

}  // namespace
}  // namespace fit
