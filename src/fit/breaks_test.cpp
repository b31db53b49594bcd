#include "fit/breaks.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace fit {
namespace {

TEST(WhatBreaksTest, SourcesAndThePackagesLanguagesFindByName) {
  // Paths below the tree, "d/" a directory; the renamed ones marked "*".
  const std::vector<std::u16string> paths = {
      u"src/", u"src/main/", u"src/main/java/", u"src/main/java/org/*",
      u"src/main/java/org/Main.java*", u"node_modules/", u"node_modules/@scope/*",
      u"node_modules/@scope/middleware/*", u"crypto/*", u"crypto/__init__.py",
      u"crypto/hazmat.PY*", u"notes.txt*", u"docs/*"};
  std::vector<std::u16string> names;
  std::vector<Node> nodes;
  std::vector<std::u16string> newNames;
  std::map<std::u16string, uint32_t> index;
  names.reserve(paths.size());
  for (std::u16string path : paths) {
    const bool renamed = path.back() == u'*';
    if (renamed) path.pop_back();
    const bool directory = path.back() == u'/';
    if (directory) path.pop_back();
    const size_t slash = path.rfind(u'/');
    names.push_back(path.substr(slash == std::u16string::npos ? 0 : slash + 1));
    index[path] = static_cast<uint32_t>(nodes.size());
    nodes.push_back({slash == std::u16string::npos ? kNoParent : index.at(path.substr(0, slash)),
                     {}, directory});
    newNames.push_back(renamed ? u"new" : u"");
  }
  for (size_t i = 0; i < nodes.size(); ++i) nodes[i].name = names[i];
  const Breaks breaks = WhatBreaks(nodes, newNames);
  EXPECT_EQ(breaks.sources, 2u);
  EXPECT_EQ(breaks.sourceKeeps, (std::vector<std::u16string>{u"*.java", u"*.py"}));
  EXPECT_EQ(breaks.nodePackages, 2u);
  EXPECT_EQ(breaks.pythonPackages, 1u);
  EXPECT_EQ(breaks.pythonNames, std::vector<std::u16string>{u"crypto"});
  EXPECT_EQ(breaks.javaPackages, 1u);
}

}  // namespace
}  // namespace fit
