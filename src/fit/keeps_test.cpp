#include "fit/keeps.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace fit {
namespace {

TEST(GlobMatchesTest, GlobsIgnoringCase) {
  const struct {
    std::u16string pattern, name;
    bool matches;
  } cases[] = {
      {u"*.java", u"Main.java", true},      {u"*.java", u"Main.JAVA", true},
      {u"*.java", u"Main.javascript", false}, {u"package.json", u"package.json", true},
      {u"package.json", u"package.json5", false}, {u"?ake*", u"Makefile", true},
      {u"[a-c]*.txt", u"B-notes.txt", true}, {u"[!a-c]*", u"b", false},
      {u"\\*", u"*", true},                  {u"\\*", u"x", false},
      {u"*", u"", true},                     {u"a*b*c", u"aXbYbZc", true},
      {u"a*b*c", u"aXbYbZ", false},          {u"[", u"[", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GlobMatches(c.pattern, c.name), c.matches)
        << std::string(c.pattern.begin(), c.pattern.end()) << " "
        << std::string(c.name.begin(), c.name.end());
  }
}

TEST(MarkKeptTest, MetadataPatternsAndTheWayOfLinks) {
  // Paths below the tree /home/ana/project; "d/" ends a directory.
  const std::vector<std::u16string> paths = {
      u".git/", u".git/objects/", u".git/objects/a-long-object-name",
      u"node_modules/", u"node_modules/@scope/", u"node_modules/@scope/middleware-long-name/",
      u"src/", u"src/Main.java", u"src/Helper-with-a-long-name.java",
      u"lib/", u"lib/the-library-with-a-long-name.js",
      u"bin/", u"bin/tool", u"bin/absolute", u"bin/outside",
      // A link through another link, one out of the tree and back in by
      // its name, one by the path the system finds for the tree.
      u"real-directory-with-a-long-name/", u"real-directory-with-a-long-name/through-a-link",
      u"real-directory-with-a-long-name/out-and-back", u"real-directory-with-a-long-name/real",
      u"d", u"via", u"back", u"real",
  };
  std::vector<std::u16string> names;
  std::vector<Node> nodes;
  std::map<std::u16string, uint32_t> index;
  names.reserve(paths.size());
  for (const std::u16string& path : paths) {
    const bool directory = path.back() == u'/';
    const std::u16string whole = directory ? path.substr(0, path.size() - 1) : path;
    const size_t slash = whole.rfind(u'/');
    names.push_back(whole.substr(slash == std::u16string::npos ? 0 : slash + 1));
    index[whole] = static_cast<uint32_t>(nodes.size());
    nodes.push_back({slash == std::u16string::npos ? kNoParent : index.at(whole.substr(0, slash)),
                     {}, directory});
  }
  for (size_t i = 0; i < nodes.size(); ++i) nodes[i].name = names[i];
  const std::vector<Link> links = {
      {index.at(u"bin/tool"), u"../lib/the-library-with-a-long-name.js"},
      {index.at(u"bin/absolute"), u"/home/ana/project/src/Helper-with-a-long-name.java"},
      {index.at(u"bin/outside"), u"../../elsewhere/src/Main.java"},
      {index.at(u"d"), u"real-directory-with-a-long-name"},
      {index.at(u"via"), u"d/through-a-link"},
      {index.at(u"back"), u"../project/real-directory-with-a-long-name/out-and-back"},
      {index.at(u"real"), u"/data/ana/project/real-directory-with-a-long-name/real"},
  };
  MarkKept(nodes, {u"node_modules/", u"*.json"}, links,
           {u"/home/ana/project", u"/", false, u"/data/ana/project"});
  std::vector<std::u16string> kept;
  for (size_t i = 0; i < nodes.size(); ++i) {
    if (nodes[i].keep) kept.push_back(paths[i]);
  }
  EXPECT_EQ(kept, (std::vector<std::u16string>{
                      u".git/", u".git/objects/", u".git/objects/a-long-object-name",
                      u"node_modules/", u"node_modules/@scope/",
                      u"node_modules/@scope/middleware-long-name/", u"src/",
                      u"src/Helper-with-a-long-name.java", u"lib/",
                      u"lib/the-library-with-a-long-name.js", u"real-directory-with-a-long-name/",
                      u"real-directory-with-a-long-name/through-a-link",
                      u"real-directory-with-a-long-name/out-and-back",
                      u"real-directory-with-a-long-name/real", u"d"}));
}

}  // namespace
}  // namespace fit
