#include "app/report.h"

#include <gtest/gtest.h>

#include <string>

namespace app {
namespace {

std::string Narrow(std::u16string_view text) {
  std::string out;
  for (char16_t unit : text) {
    out += unit < 0x80 ? static_cast<char>(unit) : '?';
  }
  return out;
}

TEST(ReportTest, QuotesEveryNameAsOneUnambiguousString) {
  const struct {
    std::u16string name;
    bool namesAreBytes;
    std::u16string quoted;
  } cases[] = {
      {u"plain name.txt", false, u"\"plain name.txt\""},
      {u"back\\slash \"quoted\"", false, u"\"back\\\\slash \\\"quoted\\\"\""},
      {u"tab\tnew\nreturn\r", true, u"\"tab\\tnew\\nreturn\\r\""},
      {std::u16string(u"nul\0bell\a del\x7F", 14), true,
       u"\"nul\\x00bell\\x07 del\\x7F\""},
      // A byte that is not UTF-8, where names are bytes; a lone surrogate
      // anywhere else.
      {u"bad-\xDCFF-byte", true, u"\"bad-\\xFF-byte\""},
      {u"bad-\xDCFF-unit", false, u"\"bad-\\uDCFF-unit\""},
      {u"lone-\xD83D-high", true, u"\"lone-\\uD83D-high\""},
      {u"low-\xDE00", false, u"\"low-\\uDE00\""},
      // C1 and bidirectional controls, which drive a terminal or reorder a
      // line: \u on both systems (\x80 is a byte where names are bytes).
      {u"c1-\u0085\u009B-bidi-\u202E\u2066\u200F", true,
       u"\"c1-\\u0085\\u009B-bidi-\\u202E\\u2066\\u200F\""},
      {u"rtl-\u202Dtxt.exe", false, u"\"rtl-\\u202Dtxt.exe\""},
      // Everything else stands as it is.
      {u"caf\u00E9 \u65E5\u672C \U0001F600 \u00A0\u2010\u2065\u206A", true,
       u"\"caf\u00E9 \u65E5\u672C \U0001F600 \u00A0\u2010\u2065\u206A\""},
  };
  for (const auto& c : cases) {
    std::u16string line;
    AppendQuoted(line, c.name, c.namesAreBytes);
    EXPECT_EQ(line, c.quoted) << Narrow(c.name);
    // And it reads back as the same name.
    std::u16string oldName, newName;
    ASSERT_TRUE(ParseRename(line + u" => \"x\"", oldName, newName)) << Narrow(line);
    EXPECT_EQ(oldName, c.name) << Narrow(line);
  }
}

TEST(ReportTest, FormatsTheTwoEntryLines) {
  std::u16string line;
  FormatRename(line, u"secret-plans-v2.docx\" => \"secret-p.doc\"\n\"tail-part-long",
               u"secret-p.doc", true);
  EXPECT_EQ(line,
            u"\"secret-plans-v2.docx\\\" => \\\"secret-p.doc\\\"\\n\\\"tail-part-long\" => "
            u"\"secret-p.doc\"");
  FormatFailure(line, u"locked.txt", 0x80070005, false);
  EXPECT_EQ(line, u"ERROR: \"locked.txt\": MoveFile() failed (-2147024891).");
}

TEST(ReportTest, ReadsOnlyLinesOfTheExactForm) {
  std::u16string oldName, newName;
  EXPECT_TRUE(ParseRename(u"\"a\\x80\\u00e9\" => \"b\"", oldName, newName));
  EXPECT_EQ(oldName, u"a\xDC80\u00E9");
  for (const std::u16string line : {
           u"\"old\" => \"new\" ",          // text after the line
           u"\"old\"  => \"new\"",          // another separator
           u"\"old\" => \"new",             // no closing quote
           u"\"old\" => new",               // no quotes
           u"\"o\\qld\" => \"new\"",        // no such escape
           u"\"o\\x8\" => \"new\"",         // too few digits
           u"\"o\\uD83\" => \"new\"",
           u"\"o\tld\" => \"new\"",         // a bare control character
           u"\"o\xD83Dld\" => \"new\"",     // a bare lone surrogate
           u"ERROR: \"old\": MoveFile() failed (5).",
           u"",
       }) {
    EXPECT_FALSE(ParseRename(line, oldName, newName)) << Narrow(line);
  }
}

}  // namespace
}  // namespace app
