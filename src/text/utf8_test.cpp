#include "text/utf8.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace text {
namespace {

TEST(Utf8Test, DecodesWellFormedAndEscapesEveryOtherByte) {
  struct {
    std::string bytes;
    std::u16string units;
  } const cases[] = {
      {"plain.txt", u"plain.txt"},
      {"caf\xC3\xA9", u"caf\u00E9"},
      {"\xE2\x82\xAC", u"\u20AC"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},
      {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
      // Stray continuation bytes.
      {"a\x80z", u"a\xDC80z"},
      {"\xBF", u"\xDCBF"},
      // Truncated sequences, at the end and before another character.
      {"\xE2\x82", u"\xDCE2\xDC82"},
      {"\xE2\x82z", u"\xDCE2\xDC82z"},
      {"\xF0\x9F\x98", u"\xDCF0\xDC9F\xDC98"},
      // Overlong forms.
      {"\xC0\xAF", u"\xDCC0\xDCAF"},
      {"\xC1\xBF", u"\xDCC1\xDCBF"},
      {"\xE0\x80\xAF", u"\xDCE0\xDC80\xDCAF"},
      {"\xF0\x80\x80\xAF", u"\xDCF0\xDC80\xDC80\xDCAF"},
      // Encoded lone surrogates are one unit, as on Windows; not where the
      // unit stands for a byte, or would pair with the unit after it.
      {"\xED\xA0\x80", u"\xD800"},
      {"a\xED\xBF\xBF" "b", u"a\xDFFF" u"b"},
      {"\xED\xA0\x80\xED\xA0\x81z", u"\xD800\xD801z"},
      {"\xED\xB2\x80", u"\xDCED\xDCB2\xDC80"},
      {"\xED\xA0\x80\xED\xB0\x80", u"\xDCED\xDCA0\xDC80\xDC00"},
      {"\xED\xA0\x80\xED\xA0\x81\xFF", u"\xDCED\xDCA0\xDC80\xDCED\xDCA0\xDC81\xDCFF"},
      // Past U+10FFFF, and bytes that never occur.
      {"\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"},
      {"\xF5\xFE\xFF", u"\xDCF5\xDCFE\xDCFF"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DecodeName(c.bytes), c.units) << c.bytes;
    std::string back;
    EncodeName(c.units, back);
    EXPECT_EQ(back, c.bytes);
  }
}

TEST(Utf8Test, EveryByteStringSurvivesTheRoundTrip) {
  std::mt19937 random(20261208);
  // Bytes drawn mostly from the ranges where UTF-8 goes wrong.
  const std::string alphabet =
      "a.\x80\x8F\x90\x9F\xA0\xB0\xB2\xBF\xC0\xC1\xC2\xDF\xE0\xE1\xED\xEF\xF0\xF4\xF5\xFF";
  for (int round = 0; round < 20000; ++round) {
    std::string bytes(random() % 12, '\0');
    for (char& byte : bytes) byte = alphabet[random() % alphabet.size()];
    const std::u16string units = DecodeName(bytes);
    std::string back;
    EncodeName(units, back);
    ASSERT_EQ(back, bytes);
  }
}

TEST(Utf8Test, LoneSurrogatesTakeTheirThreeBytes) {
  std::string out;
  EncodeName(u"a\xD83D", out);
  EXPECT_EQ(out, "a\xED\xA0\xBD");
  EncodeName(u"\xDC7F", out);  // not an escaped byte: U+DC7F itself
  EXPECT_EQ(out, "\xED\xB1\xBF");
}

}  // namespace
}  // namespace text
