#include "naming/windows_names.h"

#include <gtest/gtest.h>

#include <string>

namespace naming {
namespace {

TEST(IsReservedNameTest, DeviceNamesInAnyCaseBeforeTheFirstDot) {
  const struct {
    std::u16string name;
    bool reserved;
  } cases[] = {
      {u"COM1.txt", true},       {u"nul.log", true},
      {u"AUX     .txt", true},   {u"Com1", true},
      {u"con", true},            {u"PRN.a.b", true},
      {u"LPT0.doc", true},       {u"lpt9", true},
      {u"COM\u00B9.txt", true},  {u"LPT\u00B3", true},
      {u"NUL..txt", true},       {u"COM0", true},
      {u"COM10.txt", false},     {u"COMMENTS.txt", false},
      {u"CON_.txt", false},      {u"xCON.txt", false},
      {u" CON.txt", false},      {u"COM\u2074.txt", false},
      {u"NULL", false},          {u".CON", false},
      {u"CO", false},            {u"LPT.txt", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsReservedName(c.name), c.reserved)
        << std::string(c.name.begin(), c.name.end());
  }
}

TEST(UpcaseTest, SimpleUppercaseOfEachUnit) {
  const struct {
    char16_t unit;
    char16_t upper;
  } cases[] = {
      {u'a', u'A'},           {u'z', u'Z'},           {u'A', u'A'},
      {u'_', u'_'},           {u'\u00E9', u'\u00C9'},  // é
      {u'\u00FF', u'\u0178'},                          // ÿ, far from its upper
      {u'\u0101', u'\u0100'}, {u'\u0100', u'\u0100'},  // every other unit
      {u'\u03C3', u'\u03A3'}, {u'\u03C2', u'\u03C2'},  // final sigma: kept
      {u'\u0131', u'\u0131'},                          // dotless i: Windows keeps it
      {u'\u00DF', u'\u00DF'},                          // sharp s: no one-unit upper
      {u'\uFF41', u'\uFF21'},                          // fullwidth a
      {u'\xD83D', u'\xD83D'}, {u'\xDCFF', u'\xDCFF'},  // surrogates stay
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UpcaseUnit(c.unit), c.upper) << std::hex << int{c.unit};
  }
  std::u16string out;
  Upcase(u"Holiday-Photo-001.jpeg", out);
  EXPECT_EQ(out, u"HOLIDAY-PHOTO-001.JPEG");
}

TEST(FoldCaseTest, NamesThatAreOneOnSomeWindowsVolume) {
  const struct {
    std::u16string a, b;
    bool same;
  } cases[] = {
      {u"ς.txt", u"Σ.TXT", true},  // exFAT: final sigma is sigma
      {u"ς.txt", u"σ.txt", true},
      {u"Holiday.jpeg", u"HOLIDAY.JPEG", true},
      {u"straße", u"STRASSE", false},
      {u"ı", u"I", false},
  };
  for (const auto& c : cases) {
    std::u16string a, b;
    FoldCase(c.a, a);
    FoldCase(c.b, b);
    EXPECT_EQ(a == b, c.same) << std::string(c.a.begin(), c.a.end());
  }
}

TEST(ListsBeforeTest, TheOrderNtfsKeepsNames) {
  // Each name lists before the next.
  const std::u16string order[] = {
      u"holiday-at-the-lake-sunset.jpeg",  // "-" (2D) before "." (2E)
      u"holiday-at-the-lake.jpeg",
      u"HOLIDAY-AT-THE-LAKESIDE.jpeg",     // equal ignoring case: by units
      u"Holiday-at-the-lakeside.jpeg",
      u"holiday-at-the-lakeside.jpeg",
      u"reportz",                          // "Z" (5A) before "_" (5F) once upcased
      u"report_a",
      u"été",                    // É (C9) after ASCII
      u"😀",                       // D83D: by units, not code points
      u"ａ",
  };
  for (size_t i = 0; i + 1 < std::size(order); ++i) {
    EXPECT_TRUE(ListsBefore(order[i], order[i + 1])) << i;
    EXPECT_FALSE(ListsBefore(order[i + 1], order[i])) << i;
  }
}

}  // namespace
}  // namespace naming
