#include "naming/name_set.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>

namespace naming {
namespace {

// Against the standard set, through growth and through taking back the
// last name, which moves others of its probe run.
TEST(NameSetTest, KeepsWhatASetKeeps) {
  std::mt19937 random(7);
  NameSet names;
  std::set<std::u16string> expected;
  for (int step = 0; step < 20000; ++step) {
    std::u16string name(1 + random() % 3, u'a');
    for (char16_t& unit : name) unit = static_cast<char16_t>(u'a' + random() % 26);
    const auto [index, added] = names.Insert(name);
    ASSERT_EQ(added, expected.insert(name).second) << step;
    EXPECT_EQ(names.Name(index), name);
    if (added && random() % 3 == 0) {
      names.EraseLast();
      expected.erase(name);
    }
    if (step % 1000 == 0) {
      for (const std::u16string& kept : expected) ASSERT_NE(names.Find(kept), NameSet::kAbsent);
    }
  }
  EXPECT_EQ(names.size(), expected.size());
  EXPECT_EQ(names.Find(u"not-a-name"), NameSet::kAbsent);
  names.Clear();
  EXPECT_EQ(names.Find(u"a"), NameSet::kAbsent);
  EXPECT_TRUE(names.Insert(u"a").second);
}

}  // namespace
}  // namespace naming
