#include "platform/rename_order.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

// A listing of "d/", "d/x", "d/y" and "e".
TreeListing Listing() {
  TreeListing listing;
  listing.names = u"dxye";
  listing.entries = {{TreeEntry::kTop, 0, 1, true, false, false},
                     {0, 1, 1, false, false, false},
                     {0, 2, 1, false, false, false},
                     {TreeEntry::kTop, 3, 1, false, false, false}};
  return listing;
}

Tree::RenameOrder Listed(uint32_t node, std::u16string newName, bool ask = false) {
  Tree::RenameOrder order;
  order.node = node;
  order.newName = std::move(newName);
  order.ask = ask;
  return order;
}

Tree::RenameOrder Named(std::u16string below, std::u16string oldName, std::u16string newName) {
  Tree::RenameOrder order;
  order.below = std::move(below);
  order.oldName = std::move(oldName);
  order.newName = std::move(newName);
  return order;
}

TEST(RenameOrderTest, OnlyRenamesThatDoNotDependOnEachOtherFlyTogether) {
  const TreeListing listing = Listing();
  const struct {
    const char* what;
    Tree::RenameOrder a, b;
    bool tangled;
  } cases[] = {
      {"two entries of one directory", Listed(1, u"x1"), Listed(2, u"y1"), false},
      {"an entry and its directory", Listed(1, u"x1"), Listed(0, u"d1"), true},
      {"an entry and another directory", Listed(1, u"x1"), Listed(3, u"e1"), false},
      {"one new name, as case goes", Listed(1, u"Same"), Listed(2, u"sAME"), true},
      {"a new name that is another's old one", Listed(1, u"Y"), Listed(2, u"z"), true},
      {"letters beyond ASCII", Listed(1, u"\u00dcber"), Listed(2, u"\u00fcber"), true},
      {"a letter folded to two", Listed(1, u"stra\u00dfe"), Listed(2, u"strasse"), true},
      {"names of other lengths", Listed(1, u"x10"), Listed(2, u"y1"), false},
      {"questions", Listed(1, u"x1", true), Listed(0, u"d1", true), false},
      {"a directory taken back, an entry in it", Named(u"", u"d1", u"d"), Named(u"d", u"x1", u"x"),
       true},
      {"a name that only begins the same", Named(u"", u"d1", u"d"), Named(u"dd", u"x1", u"x"),
       false},
      {"two directories apart", Named(u"a", u"x1", u"x"), Named(u"b", u"x1", u"x"), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Tangled(c.a, c.b, listing), c.tangled) << c.what;
    EXPECT_EQ(Tangled(c.b, c.a, listing), c.tangled) << c.what << " (the other way)";
  }
}

}  // namespace
}  // namespace platform
