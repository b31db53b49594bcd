#include "naming/destination_names.h"

#include <gtest/gtest.h>

#include <string>

namespace naming {
namespace {

constexpr uint32_t kWindows =
    kWindowsCharacters | kTrailingDots | kTrailingSpaces | kDeviceNames | kWellFormed;
constexpr uint32_t kOffice = kWindowsCharacters | kLeadingSpaces | kTrailingSpaces |
                             kTrailingDots | kDeviceNames | kOfficeNames | kWellFormed;

TEST(MendTest, EachRuleAsTabled) {
  const struct {
    uint32_t rules;
    const char16_t* name;
    const char16_t* mended;  // nullptr: taken as it is
  } cases[] = {
      {kWindows, u"a:b?c*d.txt", u"a_b_c_d.txt"},
      {kWindows, u"tab\there\"<>|\\", u"tab_here_____"},
      {kWindows, u"notes. . ", u"notes____"},
      {kWindows, u" lead", nullptr},
      {kWindows, u"con.tar.gz", u"con_.tar.gz"},
      {kWindows, u"LPT\u00B9", u"LPT\u00B9_"},
      {kWindows, u"console.txt", nullptr},
      {kWindows, u"~$budget.xlsx", nullptr},
      {kOffice, u"~$budget.xlsx", u"_$budget.xlsx"},
      {kOffice, u"Desktop.INI", u"Desktop_.INI"},
      {kOffice, u".lock", u"_.lock"},
      {kOffice, u"x.lock", nullptr},
      {kOffice, u"my_vti_file_VTI_s", u"my_vti-file_VTI-s"},
      {kOffice, u"  two  ", u"__two__"},
      {kOffice, u"end.", u"end_"},
      // A unit of no character: a lone surrogate, an escaped byte.
      {kWindows, u"caf\xDCE9.txt", u"caf_.txt"},
      {kWindows, u"a\xD800" u"b\xDC00", u"a_b_"},
      {kWindows, u"pair\U0001F600", nullptr},
      {kWellFormed, u"x\xDFFF\xD83D", u"x__"},
      {0, u"caf\xDCE9", nullptr},
      // One "_" for a character that holds a refused unit.
      {kJolietCharacters, u"\U0001F468\u200D\U0001F469\u200D\U0001F467 family",
       u"_ family"},
      {kWindows, u"a:\u0301b\r\n", u"a_b_"},
      {kOffice, u"NUL", u"NUL_"},
      {kJolietCharacters, u"a:b;c?d*e\\f.txt", u"a_b_c_d_e_f.txt"},
      {kJolietCharacters, u"smile\U0001F600.png", u"smile_.png"},
      {kJolietCharacters, u"a\"<>|b. ", nullptr},
      {0, u"a:b?", nullptr},
  };
  for (const auto& c : cases) {
    std::u16string mended = u"untouched";
    const bool changed = Mend(c.name, c.rules, mended);
    EXPECT_EQ(changed, c.mended != nullptr) << std::u16string(c.name).size();
    EXPECT_EQ(Refuses(c.name, c.rules), changed);
    if (c.mended == nullptr) continue;
    EXPECT_EQ(mended, c.mended);
    EXPECT_FALSE(Refuses(mended, c.rules));
  }
}

}  // namespace
}  // namespace naming
