#include "app/command_line.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/fake_platform.h"

namespace app {
namespace {

TEST(ParseLimitTest, ReadsLikeTheCLibraryButSaturates) {
  struct {
    std::u16string text;
    uint32_t value;
  } const cases[] = {
      {u"12", 12},
      {u"256", 256},
      {u"20abc", 20},
      {u" +16", 16},
      {u"\t\n 9", 9},
      {u"abc", 0},
      {u"", 0},
      {u"-1", 0xFFFFFFFF},
      {u"- 5", 0},
      {u"+-5", 0},
      {u"2147483647", 2147483647},
      {u"2147483648", 2147483647},
      {u"4294967308", 2147483647},  // would wrap to 12
      {u"99999999999999999999999", 2147483647},
      {u"-2147483649", 0x80000000},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseLimit(c.text), c.value) << std::string(c.text.begin(), c.text.end());
  }
}

TEST(ReadCommandLineTest, HelpVersionAndWhatCmdMeant) {
  using Args = std::vector<std::u16string>;
  const struct {
    bool posix;
    Args args;
    std::map<std::u16string, platform::Kind> existing;
    Request request;
    Args read;  // the arguments afterwards, for a run
  } cases[] = {
      {false, {u"snipdir", u"--help"}, {}, Request::kHelp, {}},
      {false, {u"snipdir", u"-?"}, {}, Request::kHelp, {}},
      {false, {u"snipdir-undo", u"/?"}, {}, Request::kHelp, {}},
      {true, {u"snipdir", u"/?"}, {}, Request::kRun, {u"snipdir", u"/?"}},
      {true, {u"snipdir", u"-h", u"9"}, {}, Request::kHelp, {}},
      {false, {u"snipdir", u"-V"}, {}, Request::kVersion, {}},
      {true, {u"snipdir", u"--version"}, {}, Request::kVersion, {}},
      // An entry of that name is the directory to cut.
      {true, {u"snipdir", u"-h"}, {{u"-h", platform::Kind::kDirectory}}, Request::kRun,
       {u"snipdir", u"-h"}},
      {true, {u"snipdir", u"--", u"--help"}, {}, Request::kRun, {u"snipdir", u"--help"}},
      {true, {u"snipdir", u"--", u"x"}, {{u"--", platform::Kind::kDirectory}}, Request::kRun,
       {u"snipdir", u"--", u"x"}},
      // What cmd passes for "C:\My Photos\" 16, and for a path alone.
      {false, {u"snipdir", u"C:\\My Photos\" 16"}, {}, Request::kRun,
       {u"snipdir", u"C:\\My Photos\\", u"16"}},
      {false, {u"snipdir", u"C:\\My Photos\""}, {}, Request::kRun,
       {u"snipdir", u"C:\\My Photos\\"}},
      {false, {u"snipdir-undo", u"D:\\a b\"  r.txt"}, {}, Request::kRun,
       {u"snipdir-undo", u"D:\\a b\\", u"r.txt"}},
      {false, {u"snipdir", u"C:\\photos", u"16"}, {}, Request::kRun,
       {u"snipdir", u"C:\\photos", u"16"}},
      // A Linux name may hold a quote.
      {true, {u"snipdir", u"odd\" 16"}, {}, Request::kRun, {u"snipdir", u"odd\" 16"}},
  };
  for (const auto& c : cases) {
    platform::FakePlatform system;
    if (c.posix) system.BePosix();
    system.kinds = c.existing;
    Args args = c.args;
    const std::string what(c.args[1].begin(), c.args[1].end());
    EXPECT_EQ(ReadCommandLine(args, system), c.request) << what;
    if (c.request == Request::kRun) {
      EXPECT_EQ(args, c.read) << what;
    }
  }
}

}  // namespace
}  // namespace app
