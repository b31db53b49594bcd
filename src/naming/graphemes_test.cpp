#include "naming/graphemes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace naming {
namespace {

void Append(std::u16string& text, char32_t code) {
  if (code < 0x10000) {
    text += static_cast<char16_t>(code);
  } else {
    text += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
    text += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
  }
}

// Every line of the Unicode Consortium's own test: "÷ 0020 × 0308 ÷ ...".
// Its file is Unicode 15.0's, from before GB9c: without that rule every line
// must agree; with it, the lines that differ may only join a consonant to
// a conjunct that a virama links.
TEST(ClusterStartsTest, EveryLineOfTheConsortiumsTest) {
  const char* path = std::getenv("SNIPDIR_GRAPHEME_TEST");
  std::ifstream file(path != nullptr ? path
                                     : "/usr/share/unicode/auxiliary/GraphemeBreakTest.txt");
  ASSERT_TRUE(file) << "GraphemeBreakTest.txt (Debian's unicode-data) is missing";
  const std::u16string viramas = u"\u094D\u09CD\u0ACD\u0B4D\u0C4D\u0D4D";
  int lines = 0, differ = 0;
  for (std::string line; std::getline(file, line);) {
    line = line.substr(0, line.find('#'));
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    std::u16string text;
    std::vector<bool> expected;
    std::istringstream tokens(line);
    for (std::string token; tokens >> token;) {
      if (token == "\xC3\xB7" || token == "\xC3\x97") {
        expected.resize(text.size() + 1);
        expected[text.size()] = token == "\xC3\xB7";
      } else {
        Append(text, static_cast<char32_t>(std::stoul(token, nullptr, 16)));
      }
    }
    // A pair's low half never starts a cluster.
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] >= 0xDC00 && text[i] <= 0xDFFF && i > 0) expected[i] = false;
    }
    expected.resize(text.size() + 1);
    ++lines;
    std::vector<bool> starts;
    ClusterStarts(text, starts, false);
    ASSERT_EQ(starts, expected) << "line " << lines << ": " << line;
    ClusterStarts(text, starts);
    if (starts == expected) continue;
    ++differ;
    for (size_t i = 0; i < text.size(); ++i) {
      if (starts[i] == expected[i]) continue;
      EXPECT_TRUE(expected[i] && !starts[i]) << "line " << lines << ": " << line;
      EXPECT_NE(text.substr(0, i).find_first_of(viramas), std::u16string::npos) << line;
    }
  }
  EXPECT_GE(lines, 600);
  std::cout << lines << " lines; " << differ << " answered otherwise by GB9c\n";
}

TEST(WholeClustersTest, NoCutFallsInsideACharacter) {
  const struct {
    std::u16string text;
    size_t count, kept;
  } cases[] = {
      {u"\uC0BC\uBD84\uAE30", 2, 2},                       // 삼분기: syllables
      {u"\u1109\u1161\u11B7\u1107\u116E\u11AB", 4, 3},     // the same in jamo
      {u"\u0E2A\u0E21\u0E1A\u0E39\u0E23\u0E13\u0E4C", 6, 5},  // สมบูรณ์: ณ with its mark
      {u"\U0001F1E9\U0001F1EA\U0001F1EB\U0001F1F7", 6, 4}, // two flags, never half of one
      {u"\U0001F468\u200D\U0001F469\u200D\U0001F467x", 7, 0},  // a family
      {u"O\u0323\u0300pe\u0323\u0300", 6, 4},              // Ọ̀pẹ̀
      {u"\u0915\u094D\u0937a", 2, 0},                     // क्ष: a conjunct (GB9c)
      {u"\u0915\u094D\u200D\u0937a", 3, 0},               // the same with a joiner
      {u"\u0915\u200C\u094D\u0937a", 3, 3},               // a non-joiner breaks it
      {u"\u0600abc", 1, 0},                               // a prepended mark keeps its base
      {u"plain", 3, 3},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WholeClusters(c.text, c.count), c.kept) << c.count;
  }
}

}  // namespace
}  // namespace naming
