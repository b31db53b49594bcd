#include "naming/shorten.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace naming {
namespace {

struct CutCase {
  std::u16string name;
  bool isDirectory;
  uint32_t maxLength;
  std::u16string newName;
  uint32_t counterAnchor;
};

template <size_t N>
void ExpectCuts(const CutCase (&cases)[N]) {
  for (const CutCase& c : cases) {
    const CutResult result = ShortenName(c.name, c.isDirectory, c.maxLength);
    const std::string printable(c.name.begin(), c.name.end());  // units cut to bytes
    EXPECT_EQ(result.newName, c.newName) << printable;
    EXPECT_EQ(result.counterAnchor, c.counterAnchor) << printable;
  }
}

TEST(ShortenNameTest, CutsToTheLimitKeepingShortExtension) {
  const CutCase cases[] = {
      {u"abcdefghijklmnop.txt", false, 12, u"abcdefgh.txt", 8},
      {u"abcdefghijklmnop.jpeg", false, 12, u"abcdefgh.jpe", 8},
      {u"abcdefghijklmnop", false, 12, u"abcdefghijkl", 12},
      {u".abcdefghijklmnop", false, 12, u".abcdefghijk", 12},
      {u".abcdefghijklmnop.txt", false, 12, u".abcdefg.txt", 8},
      {u"abcdefghijklmnop.", false, 12, u"abcdefghijk_", 11},
      {u"abcdefghijklmno.t", false, 12, u"abcdefghij.t", 10},
      {u"a.bcdefghijklmnop", false, 12, u"a.bcdefg.bcd", 8},
      {u"abc.defghijklmnop", false, 12, u"abc.defg.def", 8},
      {u"some.directory.name", true, 12, u"some.directo", 12},
      {u"holiday-at-the-lake.jpeg", false, 16, u"holiday-at-t.jpe", 12},
      {u"abcdefghi.txt", false, 8, u"abcd.txt", 4},
      {u"many.dots.in.this.name", false, 12, u"many.dot.nam", 8},
      {u"spaces in a long name.doc", false, 12, u"spaces i.doc", 8},
  };
  ExpectCuts(cases);
}

TEST(ShortenNameTest, NeverKeepsHalfASurrogatePair) {
  // U+1F600 is the pair D83D DE00.
  const CutCase cases[] = {
      // The cut before the extension falls inside the pair: drop its high half.
      {u"abcdefg\U0001F600xyz.txt", false, 12, u"abcdefg.txt", 7},
      // The cut falls just after the pair: keep it whole.
      {u"abcdef\U0001F600xyzw.txt", false, 12, u"abcdef\U0001F600.txt", 8},
      // The kept extension would end inside a pair.
      {u"abcdefghijklmnop.ab\U0001F600", false, 12, u"abcdefgh.ab", 8},
      {u"abcdefghijklmnop.a\U0001F600", false, 12, u"abcdefgh.a\U0001F600", 8},
      // No extension.
      {u"abcdefghijk\U0001F600mnop", false, 12, u"abcdefghijk", 11},
      // A lone high surrogate is not a pair and is kept as it is.
      {u"abcdefghijk\xD83Dmnop", false, 12, u"abcdefghijk\xD83D", 12},
  };
  ExpectCuts(cases);
}

TEST(ShortenNameTest, NewNameNeverEndsInSpaceOrDot) {
  const CutCase cases[] = {
      {u"Trip to the lake", true, 8, u"Trip to_", 8},
      {u"some.  ..more", true, 8, u"some____", 8},
      {u"Trip to the lake", false, 8, u"Trip to_", 8},
      {u".hidden name is long", false, 8, u".hidden_", 8},
      // A kept extension too; the anchor stays where the extension begins.
      {u"notes-for-the-meeting.", false, 12, u"notes-for-t_", 11},
      {u"abcdefghijklmnop.   x", false, 12, u"abcdefgh____", 8},
      {u"report-final-version.  \U0001F600", false, 12, u"report-f___", 8},
      {u"abcdefg   jklmnop.txt", false, 12, u"abcdefg .txt", 8},
  };
  ExpectCuts(cases);
}

TEST(ShortenNameTest, DeviceNameOutOfTheCounterReachIsMended) {
  const CutCase cases[] = {
      {u"aux.files-from-the-old-server", true, 12, u"au_.files-fr", 12},
      {u"aux.files-from-the-old-server", true, 8, u"au_.file", 8},
      {u"COM1.settings-backup.tar.gz", false, 12, u"COM_.sett.gz", 9},
      {u"nul .some-notes-for.later", false, 12, u"nul_.som.lat", 8},
      {u"con.abcdefghijklmnop", true, 16, u"co_.abcdefghijkl", 16},
      {u"aux.abcdefghijk", false, 8, u"au_..abc", 4},
      // The counter's first digit reaches the part before the dot: kept.
      {u"COM1.txtlong", false, 8, u"COM1.txt", 4},
      {u"auxiliary.files-from-the-old-server", true, 12, u"auxiliary.fi", 12},
  };
  ExpectCuts(cases);
}

std::u16string WithCounter(std::u16string name, uint32_t anchor,
                           uint32_t counter) {
  EXPECT_TRUE(ApplyCounter(name.data(), anchor, counter));
  return name;
}

TEST(ApplyCounterTest, WritesHexDigitsJustBeforeTheAnchor) {
  struct {
    std::u16string name;
    uint32_t anchor;
    uint32_t counter;
    std::u16string expected;
  } const cases[] = {
      {u"abcdefgh.txt", 8, 0, u"abcdefg0.txt"},
      {u"abcdefgh.txt", 8, 1, u"abcdefg1.txt"},
      {u"abcdefgh.txt", 8, 15, u"abcdefgF.txt"},
      {u"abcdefgh.txt", 8, 16, u"abcdef10.txt"},
      {u"abcdefgh.txt", 8, 255, u"abcdefFF.txt"},
      {u"abcdefgh.txt", 8, 256, u"abcde100.txt"},
      {u"abcdefgh.txt", 8, 0xFFFFFFFF, u"FFFFFFFF.txt"},
      {u"abcdefghijkl", 12, 0, u"abcdefghijk0"},
      {u"abcdefghijkl", 12, 16, u"abcdefghij10"},
      {u".abcdefghijk", 12, 0, u".abcdefghij0"},
      // Digits that would start on a low half take the high half as a "0".
      {u"abcdef\U0001F600.txt", 8, 0, u"abcdef00.txt"},
      {u"abcdef\U0001F600.txt", 8, 15, u"abcdef0F.txt"},
      {u"abcdef\U0001F600.txt", 8, 16, u"abcdef10.txt"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WithCounter(c.name, c.anchor, c.counter), c.expected);
  }
}

TEST(ApplyCounterTest, RefusesDigitsThatDoNotFitBeforeTheAnchor) {
  std::u16string name = u"abcd.txt";
  EXPECT_TRUE(ApplyCounter(name.data(), 4, 0xFFFF));
  EXPECT_EQ(name, u"FFFF.txt");
  EXPECT_FALSE(ApplyCounter(name.data(), 4, 0x10000));
  EXPECT_EQ(name, u"FFFF.txt");

  // A pair at the start is replaced whole; the extra "0" always has room
  // because the high half stands before the low one.
  std::u16string pair = u"\U0001F600bc.txt";
  EXPECT_TRUE(ApplyCounter(pair.data(), 4, 0x100));
  EXPECT_EQ(pair, u"0100.txt");
  EXPECT_FALSE(ApplyCounter(pair.data(), 4, 0x10000));
}

TEST(ApplyCounterTest, RepeatedApplicationMatchesFreshApplication) {
  // The walk applies counters 0, 1, 2, ... to one candidate in turn; every
  // step must equal the counter applied to the untouched first candidate,
  // and all candidates of one name must differ.
  const struct {
    std::u16string name;
    uint32_t anchor;
  } firsts[] = {{u"abcdefgh.txt", 8},
                {u"abcdef\U0001F600.txt", 8},
                {u"ab\U0001F600\U0001F600\U0001F600.txt", 8},
                {u"abcdefghijkl", 12}};
  for (const auto& [first, anchor] : firsts) {
    std::u16string running = first;
    std::set<std::u16string> seen = {first};
    for (uint32_t counter = 0; counter < 0x1100; ++counter) {
      ASSERT_TRUE(ApplyCounter(running.data(), anchor, counter));
      ASSERT_EQ(running, WithCounter(first, anchor, counter));
      ASSERT_TRUE(seen.insert(running).second) << counter;
    }
  }
}

}  // namespace
}  // namespace naming
