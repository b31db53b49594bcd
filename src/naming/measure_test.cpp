#include "naming/measure.h"

#include "naming/decompose.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace naming {
namespace {

TEST(MeasureTest, EachUnitCountsItsWay) {
  const struct {
    const char16_t* name;
    bool namesAreBytes;
    uint32_t utf16, utf8, nfd16, nfd8;
  } cases[] = {
      {u"report.txt", false, 10, 10, 10, 10},
      {u"\u00E9t\u00E9", false, 3, 5, 5, 7},           // é decomposes to e + U+0301
      {u"e\u0301", false, 2, 3, 2, 3},                 // already decomposed
      {u"\u5831\u544A", false, 2, 6, 2, 6},            // CJK: three bytes each
      {u"\uD55C\uAE00", false, 2, 6, 6, 18},           // 한글: three jamo each
      {u"\uAC00", false, 1, 3, 2, 6},                  // 가 (LV): two jamo
      {u"\U0001F600", false, 2, 4, 2, 4},              // a pair: four bytes
      {u"\U0001D15E", false, 2, 4, 4, 8},              // musical half note: two pairs
      {u"\U0002F800", false, 2, 4, 2, 4},              // left as it is, like...
      {u"\u2260\u212B", false, 2, 6, 2, 6},            // ... not-equal and the angstrom sign
      {u"\u1E69", false, 1, 3, 3, 5},                  // ṩ: s + two marks of two bytes
      {u"a\xDC80z", false, 3, 5, 3, 5},                // a lone surrogate: written in 3
      {u"a\xDC80z", true, 3, 3, 3, 3},                 // an escaped byte: one byte
      {u"\xD800", false, 1, 3, 1, 3},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Measure(Unit::kUtf16, c.namesAreBytes).Of(c.name), c.utf16) << c.utf8;
    EXPECT_EQ(Measure(Unit::kUtf8, c.namesAreBytes).Of(c.name), c.utf8) << c.utf8;
    EXPECT_EQ(Measure(Unit::kNfdUtf16, c.namesAreBytes).Of(c.name), c.nfd16) << c.utf8;
    EXPECT_EQ(Measure(Unit::kNfdUtf8, c.namesAreBytes).Of(c.name), c.nfd8) << c.utf8;
    std::vector<uint32_t> prefixes;
    Measure(Unit::kNfdUtf8, c.namesAreBytes).Prefixes(c.name, prefixes);
    EXPECT_EQ(prefixes.back(), c.nfd8);
  }
}

void Append(std::u16string& text, char32_t code) {
  if (code > 0xFFFF) {
    text += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
    text += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
  } else {
    text += static_cast<char16_t>(code);
  }
}

uint32_t Utf8Length(const std::u16string& text) {
  uint32_t bytes = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      bytes += 4;
      ++i;
    } else {
      bytes += unit < 0x80 ? 1 : unit < 0x800 ? 2 : 3;
    }
  }
  return bytes;
}

bool LeftAsItIs(const std::u16string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if ((unit >= 0x2000 && unit <= 0x2FFF) || (unit >= 0xF900 && unit <= 0xFAFF)) return true;
    if (unit == 0xD87E && i + 1 < text.size() && text[i + 1] <= 0xDEFF) return true;  // U+2F800..2FAFF
  }
  return false;
}

// Every line of the Unicode Consortium's test of normalization
// ("c1;c2;c3;c4;c5;") but those with a character macOS leaves as it is:
// each of c1, c2 and c3 decomposes to c3 and measures as long as c3, in
// units and in bytes.
TEST(MeasureTest, EveryLineOfTheConsortiumsNormalizationTest) {
  const char* path = std::getenv("SNIPDIR_NORMALIZATION_TEST");
  std::ifstream file(path != nullptr ? path : "NormalizationTest.txt");
  ASSERT_TRUE(file) << "NormalizationTest.txt (Debian's unicode-data) is missing";
  const Measure units(Unit::kNfdUtf16), bytes(Unit::kNfdUtf8);
  int lines = 0;
  for (std::string line; std::getline(file, line);) {
    line = line.substr(0, line.find('#'));
    if (line.empty() || line[0] == '@') continue;
    std::u16string columns[3];
    std::istringstream fields(line);
    for (std::u16string& column : columns) {
      std::string field;
      std::getline(fields, field, ';');
      std::istringstream codes(field);
      for (std::string code; codes >> code;) Append(column, std::stoul(code, nullptr, 16));
    }
    if (LeftAsItIs(columns[0]) || LeftAsItIs(columns[1])) continue;
    ++lines;
    const std::u16string& decomposed = columns[2];
    std::u16string ours;
    for (const std::u16string& column : columns) {
      Decompose(column, ours);
      ASSERT_TRUE(ours == decomposed) << "line " << lines << ": " << line;
      ASSERT_EQ(units.Of(column), decomposed.size()) << "line " << lines << ": " << line;
      ASSERT_EQ(bytes.Of(column), Utf8Length(decomposed)) << "line " << lines << ": " << line;
    }
  }
  EXPECT_GE(lines, 17000);
  std::cout << lines << " lines\n";
}

}  // namespace
}  // namespace naming
