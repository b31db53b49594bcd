#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>

namespace app {
namespace {

TEST(ParseLimitTest, ReadsLikeTheCLibraryButSaturates) {
  struct {
    std::u16string text;
    uint32_t value;
  } const cases[] = {
      {u"12", 12},
      {u"256", 256},
      {u"20abc", 20},
      {u" +16", 16},
      {u"\t\n 9", 9},
      {u"abc", 0},
      {u"", 0},
      {u"-1", 0xFFFFFFFF},
      {u"- 5", 0},
      {u"+-5", 0},
      {u"2147483647", 2147483647},
      {u"2147483648", 2147483647},
      {u"4294967308", 2147483647},  // would wrap to 12
      {u"99999999999999999999999", 2147483647},
      {u"-2147483649", 0x80000000},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseLimit(c.text), c.value) << std::string(c.text.begin(), c.text.end());
  }
}

}  // namespace
}  // namespace app
