#include "fit/planner.h"

#include "naming/destination_names.h"
#include "naming/whole_cut.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace fit {
namespace {

// A tree written as paths: "d/" ends a directory; parents come first.
struct Tree {
  std::vector<std::u16string> names;
  std::vector<Node> nodes;

  explicit Tree(const std::vector<std::u16string>& paths) {
    names.reserve(paths.size());
    std::map<std::u16string, uint32_t> index;
    for (const std::u16string& path : paths) {
      const bool directory = path.back() == u'/';
      const std::u16string whole = directory ? path.substr(0, path.size() - 1) : path;
      const size_t slash = whole.rfind(u'/');
      const uint32_t parent =
          slash == std::u16string::npos ? kNoParent : index.at(whole.substr(0, slash));
      names.push_back(whole.substr(slash == std::u16string::npos ? 0 : slash + 1));
      index[whole] = static_cast<uint32_t>(nodes.size());
      nodes.push_back({parent, {}, directory});
    }
    for (size_t i = 0; i < nodes.size(); ++i) nodes[i].name = names[i];
  }
};

std::u16string Repeat(char16_t unit, size_t count) { return std::u16string(count, unit); }

// The new name of every node, or its old one.
std::vector<std::u16string> After(const Tree& tree, const Plan& plan) {
  std::vector<std::u16string> names;
  for (size_t i = 0; i < tree.nodes.size(); ++i) {
    names.push_back(plan.newNames[i].empty() ? tree.names[i] : plan.newNames[i]);
  }
  return names;
}

TEST(MakePlanTest, CutsTheLongestNamesOfAnOverBudgetPathToWhereTheyMeet) {
  const std::u16string a = Repeat(u'a', 20), b = Repeat(u'b', 20) + u".txt";
  const struct {
    const char* what;
    std::vector<std::u16string> paths;
    Limits limits;
    std::vector<std::u16string> after;
  } cases[] = {
      {"fits: nothing is cut", {a + u"/", a + u"/" + b}, {10, {60, 60}, 12}, {a, b}},
      // 10 + 21 + 25 = 56, 16 over: both to 14.
      {"one path", {a + u"/", a + u"/" + b}, {10, {40, 40}, 12},
       {Repeat(u'a', 14), Repeat(u'b', 10) + u".txt"}},
      // 7 over: 20 + 20 + 20 becomes 18 + 18 + 17, the first keeping the spare.
      {"spare units go to the first", {a + u"/", a + u"/" + a + u"/", a + u"/" + a + u"/" + a},
       {0, {56, 56}, 8}, {Repeat(u'a', 18), Repeat(u'a', 18), Repeat(u'a', 17)}},
      // Only the long name is cut, and only as far as needed.
      {"longest first", {a + u"/", a + u"/" + u"short-name.txt", a + u"/" + Repeat(u'c', 60)},
       {0, {70, 70}, 12}, {a, u"short-name.txt", Repeat(u'c', 48)}},
      // The directory is cut once for both of its files; the other file keeps
      // what the first path did not need.
      {"a directory serves every path below it",
       {Repeat(u'd', 40) + u"/", Repeat(u'd', 40) + u"/" + Repeat(u'e', 40),
        Repeat(u'd', 40) + u"/" + Repeat(u'f', 20)},
       {0, {62, 62}, 8}, {Repeat(u'd', 30), Repeat(u'e', 30), Repeat(u'f', 20)}},
      // A directory path has its own budget.
      {"directories", {Repeat(u'g', 30) + u"/"}, {0, {40, 20}, 8}, {Repeat(u'g', 19)}},
      // Names at or under the floor are never cut.
      {"the floor", {Repeat(u'h', 12) + u"/", Repeat(u'h', 12) + u"/" + Repeat(u'i', 30)},
       {0, {30, 30}, 12}, {Repeat(u'h', 12), Repeat(u'i', 16)}},
      // Two names that cut alike: the counter, in the order NTFS lists them,
      // before the whole extension.
      {"collisions", {u"report-for-march.docx", u"report-for-april.docx"}, {0, {13, 13}, 8},
       {u"report0.docx", u"report-.docx"}},
      {"the whole extension", {u"TheServiceThatRunsTheWholeShow.java", u"types-of-the-runtime.d.ts"},
       {0, {17, 17}, 8}, {u"TheServiceT.java", u"types-of-th.d.ts"}},
      // A cut between two characters, never inside one: here the budget
      // leaves room for half a flag, so the name is one flag shorter.
      {"whole characters", {u"\U0001F1E9\U0001F1EA\U0001F1EB\U0001F1F7\U0001F1EE\U0001F1F9.txt"},
       {0, {15, 15}, 8}, {u"\U0001F1E9\U0001F1EA\U0001F1EB\U0001F1F7.txt"}},
      // The level (9) falls inside the directory's pair, so it is cut to 8
      // at first; the two units that leaves give it the whole pair back.
      {"the give-back reaches its fixed point",
       {u"abcdefgh\U0001F600ijklmnop/", u"abcdefgh\U0001F600ijklmnop/file-name-one.txt"},
       {0, {21, 21}, 8}, {u"abcdefgh\U0001F600", u"file-.txt"}},
  };
  for (const auto& c : cases) {
    const Tree tree(c.paths);
    const Plan plan = MakePlan(tree.nodes, c.limits);
    EXPECT_EQ(After(tree, plan), c.after) << c.what;
    EXPECT_TRUE(plan.unfit.empty()) << c.what;
  }
}

TEST(MakePlanTest, APathThatCannotFitIsNamedAndLeftAlone) {
  // Below a base of 20, at a floor of 25: d/x/y is 83 long even with d and y
  // at the floor, 8 over 75, and keeps its names; d/z needs d cut all the
  // same, and d keeps the spare unit.
  const std::u16string d = Repeat(u'd', 30), x = Repeat(u'x', 10);
  const Tree tree({d + u"/", d + u"/" + x + u"/", d + u"/" + x + u"/" + Repeat(u'y', 30),
                   d + u"/" + Repeat(u'z', 34)});
  const Plan plan = MakePlan(tree.nodes, {20, {75, 75}, 25});
  ASSERT_EQ(plan.unfit.size(), 1u);
  EXPECT_EQ(plan.unfit[0].node, 2u);
  EXPECT_EQ(plan.unfit[0].over, 8u);
  EXPECT_EQ(After(tree, plan), (std::vector<std::u16string>{
                                   Repeat(u'd', 27), x, Repeat(u'y', 30), Repeat(u'z', 26)}));
}

TEST(MakePlanTest, KeptNamesCountButAreNeverCut) {
  // The kept directory's 30 units stay; its file is cut the more. With the
  // file kept too, the path cannot fit.
  const std::u16string d = Repeat(u'd', 30), f = Repeat(u'f', 30) + u".txt";
  Tree tree({d + u"/", d + u"/" + f});
  tree.nodes[0].keep = true;
  Plan plan = MakePlan(tree.nodes, {0, {50, 50}, 8});
  EXPECT_EQ(After(tree, plan), (std::vector<std::u16string>{d, Repeat(u'f', 14) + u".txt"}));
  tree.nodes[1].keep = true;
  plan = MakePlan(tree.nodes, {0, {50, 50}, 8});
  ASSERT_EQ(plan.unfit.size(), 1u);
  EXPECT_EQ(plan.unfit[0].over, 16u);
}

TEST(MakePlanTest, AStopEndsThePlanning) {
  std::vector<std::u16string> paths;
  for (int i = 0; i < 10000; ++i) paths.push_back(u"a-name-that-cuts-to-one-stem-" + Repeat(u'x', i % 7) +
                                                 std::u16string(1, static_cast<char16_t>(u'a' + i % 26)) +
                                                 u"-" + std::u16string(1, static_cast<char16_t>(u'0' + i % 10)) +
                                                 std::u16string(i / 260 + 1, u'q'));
  const Tree tree(paths);
  int asked = 0;
  const Plan plan = MakePlan(tree.nodes, {0, {20, 20}, 8}, [&asked] { return ++asked > 1; });
  EXPECT_TRUE(plan.stopped);
  EXPECT_TRUE(plan.newNames.empty());
}

TEST(MakePlanTest, RenamesEveryEntryBeforeItsDirectory) {
  const Tree tree({u"long-directory-name/", u"long-directory-name/long-file-name.txt",
                   u"long-directory-name/inner-directory/",
                   u"long-directory-name/inner-directory/another-long-name.txt"});
  const Plan plan = MakePlan(tree.nodes, {0, {40, 40}, 8});
  EXPECT_EQ(plan.renameOrder, (std::vector<uint32_t>{3, 2, 0}));
}

// Random trees: every path fits or is named unfit; names off over-budget
// paths stay; none is cut below the floor or deeper than a path needs.
TEST(MakePlanTest, RandomTreesKeepEveryPromise) {
  std::mt19937 random(20261209);
  for (int round = 0; round < 300; ++round) {
    std::vector<std::u16string> names;
    std::vector<Node> nodes;
    const size_t count = 1 + random() % 60;
    for (size_t i = 0; i < count; ++i) {
      std::vector<uint32_t> directories;
      for (uint32_t j = 0; j < nodes.size(); ++j) {
        if (nodes[j].isDirectory) directories.push_back(j);
      }
      const uint32_t parent = directories.empty() || random() % 4 == 0
                                  ? kNoParent
                                  : directories[random() % directories.size()];
      std::u16string name;
      for (size_t length = 1 + random() % 30; name.size() < length;) {
        const size_t pick = random() % 14;
        name += pick == 12 ? u"\U0001F600" : pick == 13 ? u"e\u0301" : std::u16string(1, u"abcdef.-_ XYZ"[pick]);
      }
      name += static_cast<char16_t>(u'A' + i % 26) + std::u16string(1, static_cast<char16_t>(u'0' + i / 26));
      const char16_t* endings[] = {u"", u".txt", u".tar.gz", u".java", u".d.ts"};
      name += endings[random() % 5];
      names.push_back(name);
      nodes.push_back({parent, {}, random() % 3 == 0, random() % 10 == 0});
    }
    for (size_t i = 0; i < nodes.size(); ++i) nodes[i].name = names[i];
    const Limits limits = {static_cast<uint32_t>(random() % 30),
                           {static_cast<uint32_t>(20 + random() % 80), 0},
                           static_cast<uint32_t>(8 + random() % 8)};
    Limits used = limits;
    used.budget.directory = used.budget.file - random() % 12;
    const Plan plan = MakePlan(nodes, used);

    const auto pathLength = [&](uint32_t node, bool planned, int extra = 0, uint32_t at = kNoParent) {
      int64_t length = used.baseLength;
      for (uint32_t n = node; n != kNoParent; n = nodes[n].parent) {
        const bool cut = planned && !plan.newNames[n].empty();
        length += 1 + (cut ? plan.newNames[n].size() : names[n].size()) + (n == at ? extra : 0);
      }
      return length;
    };
    const auto budgetOf = [&](uint32_t node) {
      return int64_t{nodes[node].isDirectory ? used.budget.directory : used.budget.file};
    };
    std::vector<bool> unfit(nodes.size()), onOverPath(nodes.size());
    for (const auto& u : plan.unfit) unfit[u.node] = true;
    for (uint32_t node = 0; node < nodes.size(); ++node) {
      if (pathLength(node, false) > budgetOf(node)) {
        for (uint32_t n = node; n != kNoParent; n = nodes[n].parent) onOverPath[n] = true;
      }
      if (!unfit[node] && !plan.noFreeName[node]) {
        ASSERT_LE(pathLength(node, true), budgetOf(node)) << "round " << round;
      }
    }
    for (uint32_t node = 0; node < nodes.size(); ++node) {
      if (plan.newNames[node].empty()) continue;
      const std::u16string& name = names[node];
      const std::u16string& cut = plan.newNames[node];
      ASSERT_TRUE(onOverPath[node]) << "round " << round << ": cut off every over-budget path";
      ASSERT_FALSE(nodes[node].keep) << "round " << round << ": a kept name cut";
      ASSERT_GE(cut.size(), used.floor) << "round " << round;
      ASSERT_LT(cut.size(), name.size()) << "round " << round;
      const size_t extension = naming::WholeExtensionLength(name, nodes[node].isDirectory);
      ASSERT_EQ(cut.substr(cut.size() - extension), name.substr(name.size() - extension))
          << "round " << round << ": the extension changed";
      // The next longer whole cut would put a path through it over budget.
      std::vector<uint32_t> lengths;
      naming::WholeCutLengths(name, nodes[node].isDirectory, used.floor, lengths);
      lengths.push_back(static_cast<uint32_t>(name.size()));
      const int more = static_cast<int>(*std::upper_bound(lengths.begin(), lengths.end(), cut.size())) -
                       static_cast<int>(cut.size());
      bool needed = false;
      for (uint32_t below = 0; below < nodes.size() && !needed; ++below) {
        bool inside = false;
        for (uint32_t n = below; n != kNoParent && !inside; n = nodes[n].parent) inside = n == node;
        needed = inside && !unfit[below] && pathLength(below, true, more, node) > budgetOf(below);
      }
      ASSERT_TRUE(needed) << "round " << round << ": cut deeper than needed";
    }
  }
}

TEST(MakePlanTest, ThePlanDoesNotDependOnTheListingOrder) {
  const std::vector<std::u16string> paths = {
      u"Reports 2023/", u"Reports 2023/Board minutes, final version.docx",
      u"Reports 2023/Board minutes, first draft.docx", u"Reports 2023/board-minutes-old.docx",
      u"A rather long directory name at the top/"};
  const Tree tree(paths);
  const Plan plan = MakePlan(tree.nodes, {20, {50, 45}, 8});
  // The same tree listed backwards.
  std::vector<Node> backwards;
  const uint32_t last = static_cast<uint32_t>(tree.nodes.size()) - 1;
  for (uint32_t i = 0; i <= last; ++i) {
    Node node = tree.nodes[last - i];
    if (node.parent != kNoParent) node.parent = last - node.parent;
    backwards.push_back(node);
  }
  const Plan other = MakePlan(backwards, {20, {50, 45}, 8});
  for (uint32_t i = 0; i <= last; ++i) {
    EXPECT_EQ(plan.newNames[i], other.newNames[last - i]) << i;
  }
}

// Limits counted a destination's way: names cut to their limit wherever
// they are, paths and floors in its units, refused names mended and their
// twins resolved as the destination compares names.
TEST(MakePlanTest, DestinationsCountAndNameTheirWay) {
  using naming::Measure;
  using naming::Unit;
  const Measure bytes(Unit::kUtf8), nfd(Unit::kNfdUtf16), nfdBytes(Unit::kNfdUtf8);
  const auto limits = [](uint32_t budget, uint32_t nameLimit, Measure names, Measure paths,
                         uint32_t rules = 0, bool ignoresCase = false, bool decomposes = false) {
    return Limits{0,     {budget, budget}, 12,         nameLimit,  names,
                  paths, rules,            ignoresCase, decomposes, ignoresCase || decomposes};
  };
  Limits joliet = limits(240, 64, Measure(), Measure(Unit::kUcs2Bytes), naming::kJolietCharacters, true);
  joliet.baseLength = 1;
  const std::u16string report = Repeat(u'\u5831', 100) + u".docx";  // 305 bytes
  const std::u16string accents = Repeat(u'\u00E9', 200);            // 400 units decomposed
  const struct {
    const char* what;
    std::vector<std::u16string> paths;
    Limits limits;
    std::vector<std::u16string> after;
  } cases[] = {
      {"a name over its limit in bytes, on a path that fits", {report}, limits(4095, 255, bytes, bytes),
       {Repeat(u'\u5831', 83) + u".docx"}},
      {"a path budget in bytes", {Repeat(u'\u00E9', 40) + u"/", Repeat(u'\u00E9', 40) + u"/" + Repeat(u'x', 40)},
       limits(120, 255, bytes, bytes),
       // 1 + 80 + 1 + 40 bytes, 2 over: the longest name gives one character.
       {Repeat(u'\u00E9', 39), Repeat(u'x', 40)}},
      {"the floor in bytes: four CJK characters are 12", {report}, limits(20, 255, bytes, bytes),
       {Repeat(u'\u5831', 4) + u".docx"}},
      {"names decomposed, paths in bytes of the decomposed name", {accents}, limits(1023, 255, nfd, nfdBytes),
       {Repeat(u'\u00E9', 127)}},
      {"a refused name mended, its twin told apart ignoring case", {u"a:b.txt", u"A_b.txt"},
       limits(4095, 255, Measure(), Measure(), naming::kWindowsCharacters, true), {u"a_0.txt", u"A_b.txt"}},
      {"the same where case tells names apart", {u"a:b.txt", u"A_b.txt"},
       limits(4095, 255, Measure(), Measure(), naming::kWindowsCharacters, false), {u"a_b.txt", u"A_b.txt"}},
      {"twins already in the tree: all but the first in the order of the tree",
       {u"HR/", u"hr/", u"Hr/", u"Report.docx", u"report.DOCX"},
       limits(4095, 255, Measure(), Measure(), 0, true),
       {u"HR", u"h1", u"H0", u"Report.docx", u"repor0.DOCX"}},
      {"twins where names are stored decomposed", {u"Caf\u00E9", u"Cafe\u0301", u"cafe\u0301"},
       limits(1023, 255, nfd, nfdBytes, 0, false, true), {u"Caf0", u"Cafe\u0301", u"cafe\u0301"}},
      // Joliet: 2 bytes a character, 1 a name and 1 more, 240 at most: one
      // directory down a path may hold 118 characters of names, six down 116.
      {"joliet one directory down", {Repeat(u'a', 59) + u"/", Repeat(u'a', 59) + u"/" + Repeat(u'b', 60)},
       joliet, {Repeat(u'a', 59), Repeat(u'b', 59)}},
      {"joliet six directories down",
       {u"a/", u"a/b/", u"a/b/c/", u"a/b/c/d/", u"a/b/c/d/" + Repeat(u'e', 50) + u"/",
        u"a/b/c/d/" + Repeat(u'e', 50) + u"/" + Repeat(u'f', 63)},
       joliet, {u"a", u"b", u"c", u"d", Repeat(u'e', 50), Repeat(u'f', 62)}},
  };
  for (const auto& c : cases) {
    const Tree tree(c.paths);
    const Plan plan = MakePlan(tree.nodes, c.limits);
    EXPECT_TRUE(plan.unfit.empty() && plan.refused.empty()) << c.what;
    EXPECT_EQ(After(tree, plan), c.after) << c.what;
  }
  // A name that no cut brings within the limit stays, mended or not, and
  // is said: its whole extension alone takes 11 of the 11 bytes.
  const Tree tooLong({u"a:" + Repeat(u'b', 30) + u".abcdefghij"});
  Limits tight = limits(4095, 11, bytes, bytes, naming::kWindowsCharacters);
  tight.floor = 8;
  const Plan untaken = MakePlan(tooLong.nodes, tight);
  ASSERT_EQ(untaken.refused.size(), 1u);
  EXPECT_TRUE(!untaken.refused[0].kept && untaken.newNames[0].empty());
  // A kept name the destination refuses stays, and is said.
  Tree kept({u"keep:me", u"x"});
  kept.nodes[0].keep = true;
  const Plan plan = MakePlan(kept.nodes, limits(4095, 255, Measure(), Measure(), naming::kWindowsCharacters));
  ASSERT_EQ(plan.refused.size(), 1u);
  EXPECT_TRUE(plan.refused[0].kept && plan.refused[0].node == 0 && plan.newNames[0].empty());
}

}  // namespace
}  // namespace fit
