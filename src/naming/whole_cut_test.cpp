#include "naming/whole_cut.h"

#include <gtest/gtest.h>

#include <string>

namespace naming {
namespace {

std::string Narrow(std::u16string_view text) { return std::string(text.begin(), text.end()); }

TEST(WholeCutTest, TheWholeExtensionIsKept) {
  const struct {
    std::u16string name;
    bool directory;
    size_t extension;
  } cases[] = {
      {u"Main.java", false, 5},
      {u"build.gradle", false, 7},
      {u"Quarterly report.docx", false, 5},
      {u"runtimeExtensions.d.ts", false, 5},
      {u"index.d.mts", false, 6},
      {u"bundle.js.map", false, 7},
      {u"app.min.js", false, 7},
      {u"app.min.js.map", false, 11},
      {u"greasy.user.js", false, 8},
      {u"parser.spec.ts", false, 8},
      {u"backup.TAR.GZ", false, 7},
      {u"linux-6.1.tar.xz", false, 7},
      {u"firefox-120.0-1-x86_64.pkg.tar.zst", false, 12},
      {u"data.csv.gz", false, 7},
      {u"notes.2023.gz", false, 3},         // a number is no type
      {u"a.b.c.d.e.tar.gz", false, 7},
      {u"report.final version of the board", false, 0},
      {u"photo.verylongextension", false, 0},  // no token of 10 or fewer
      {u".bashrc", false, 0},
      {u".config.json", false, 5},
      {u"tar.gz", false, 3},                // "tar" is the name here
      {u"weird..txt", false, 4},
      {u"README", false, 0},
      {u"some.directory.name", true, 0},
      {u"caf\u00e9.t\u00ebxt", false, 0},     // not ASCII
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WholeExtensionLength(c.name, c.directory), c.extension) << Narrow(c.name);
  }
}

TEST(WholeCutTest, CutsTheStemAtWholeCharacters) {
  const struct {
    std::u16string name;
    uint32_t length;
    std::u16string cut;
  } cases[] = {
      {u"LongClassNameForTheService.java", 16, u"LongClassNa.java"},
      {u"runtimeExtensions.d.ts", 12, u"runtime.d.ts"},
      {u"\uC0BC\uBD84\uAE30 \uBCF4\uACE0\uC11C.txt", 7, u"\uC0BC\uBD84\uAE30.txt"},
      {u"\u1109\u1161\u11B7\u1107\u116E\u11AB.txt", 8, u"\u1109\u1161\u11B7.txt"},
      {u"\U0001F1E9\U0001F1EA\U0001F1EB\U0001F1F7.txt", 10, u"\U0001F1E9\U0001F1EA.txt"},
      {u"O\u0323\u0300pe\u0323\u0300-file.txt", 11, u"O\u0323\u0300pe\u0323\u0300.txt"},
      {u"O\u0323\u0300pe\u0323\u0300-file.txt", 10, u"O\u0323\u0300p.txt"},
      // Never shorter than the first character and the extension.
      {u"\U0001F468\u200D\U0001F469\u200D\U0001F467 family.jpeg", 6,
       u"\U0001F468\u200D\U0001F469\u200D\U0001F467.jpeg"},
      // A cut ends before the spaces and dots it would end in.
      {u"Trip to the lake", 12, u"Trip to the"},
      {u"org.springframework.boot.autoconfigure.imports", 28, u"org.springframework.imports"},
      {u"वार्षिक रिपोर्ट",
       8, u"वार्षिक"},
      {u"aux.files-from-the-old-server", 12, u"au_.files-fr"},
  };
  for (const auto& c : cases) {
    const CutResult cut = WholeCut(c.name, false, c.length);
    EXPECT_EQ(cut.newName, c.cut) << Narrow(c.name) << " at " << c.length;
    EXPECT_EQ(WholeCutLength(c.name, false, c.length), cut.newName.size()) << Narrow(c.name);
  }
  EXPECT_EQ(WholeCut(u"aux.txt-and-more.txt", false, 7).newName, u"aux.txt");  // the counter mends it
  EXPECT_EQ(ShortestWholeCut(u"archive-of-2023.pkg.tar.zst", false), 13u);
}

TEST(WholeCutTest, CountersReachBackToTheStartOfACharacter) {
  const CutResult cut = WholeCut(u"cafe\u0301-menu-for-the-week.txt", false, 9);
  ASSERT_EQ(cut.newName, u"cafe\u0301.txt");
  const WholeCandidates candidates(cut);
  const struct {
    uint64_t step;
    std::u16string candidate;
  } cases[] = {
      {1, u"caf00.txt"},   // counter 0 over "é": the base and its mark
      {16, u"caf0F.txt"},
      {17, u"caf10.txt"},
      {257, u"ca100.txt"},
  };
  for (const auto& c : cases) {
    std::u16string candidate = cut.newName;
    EXPECT_TRUE(candidates.Write(candidate.data(), c.step));
    EXPECT_EQ(candidate, c.candidate) << c.step;
  }
  std::u16string candidate = cut.newName;
  EXPECT_FALSE(candidates.Write(candidate.data(), uint64_t{1} << 24));  // six digits do not fit
}

}  // namespace
}  // namespace naming
