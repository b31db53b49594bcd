#include "app/command_line.h"

#include <gtest/gtest.h>

#include <tuple>

#include <map>
#include <memory>
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

TEST(ReadArgumentsTest, HelpVersionOptionsAndWhatCmdMeant) {
  using Args = std::vector<std::u16string>;
  const Tool snipdir = Tool::kSnipdir, undo = Tool::kUndo, fit = Tool::kFit;
  const struct {
    bool posix;
    Tool tool;
    Args args;
    std::map<std::u16string, platform::Kind> existing;
    Request request;
    Args operands;  // for a run; for a wrong command line, what it says
  } cases[] = {
      {false, snipdir, {u"snipdir", u"--help"}, {}, Request::kHelp, {}},
      {false, snipdir, {u"snipdir", u"-?"}, {}, Request::kHelp, {}},
      {false, undo, {u"snipdir-undo", u"/?"}, {}, Request::kHelp, {}},
      {true, snipdir, {u"snipdir", u"/?"}, {}, Request::kRun, {u"/?"}},
      {true, snipdir, {u"snipdir", u"-h", u"9"}, {}, Request::kHelp, {}},
      {false, snipdir, {u"snipdir", u"-V"}, {}, Request::kVersion, {}},
      {true, fit, {u"snipdir-fit", u"--version"}, {}, Request::kVersion, {}},
      // An entry of that name is the directory to cut.
      {true, snipdir, {u"snipdir", u"-h"}, {{u"-h", platform::Kind::kDirectory}}, Request::kRun,
       {u"-h"}},
      {true, snipdir, {u"snipdir", u"--", u"--help"}, {}, Request::kRun, {u"--help"}},
      {true, snipdir, {u"snipdir", u"--", u"x"}, {{u"--", platform::Kind::kDirectory}},
       Request::kRun, {u"--", u"x"}},
      // snipdir takes no options: what looks like one is its path.
      {true, snipdir, {u"snipdir", u"--bogus"}, {}, Request::kRun, {u"--bogus"}},
      {true, snipdir, {u"snipdir", u"d", u"--"}, {}, Request::kRun, {u"d", u"--"}},
      // The companions name what they do not know; "--" is read once.
      {true, undo, {u"snipdir-undo", u"--bogus", u"r"}, {}, Request::kWrong,
       {u"ERROR: Unknown option --bogus."}},
      {true, undo, {u"snipdir-undo", u"d", u"-"}, {}, Request::kRun, {u"d", u"-"}},
      {true, fit, {u"snipdir-fit", u"--", u"-odd-name", u"30"}, {}, Request::kRun,
       {u"-odd-name", u"30"}},
      {true, fit, {u"snipdir-fit", u"--preview", u"--as", u"--", u"d", u"30"}, {},
       Request::kRun, {u"d", u"30"}},
      {true, fit, {u"snipdir-fit", u"d", u"30", u"--floor"}, {}, Request::kWrong,
       {u"ERROR: --floor needs a number."}},
      {true, fit, {u"snipdir-fit", u"-x", u"d", u"30"}, {}, Request::kWrong,
       {u"ERROR: Unknown option -x."}},
      // What cmd passes for "C:\My Photos\" 16, and for a path alone.
      {false, snipdir, {u"snipdir", u"C:\\My Photos\" 16"}, {}, Request::kRun,
       {u"C:\\My Photos\\", u"16"}},
      {false, snipdir, {u"snipdir", u"C:\\My Photos\""}, {}, Request::kRun, {u"C:\\My Photos\\"}},
      {false, undo, {u"snipdir-undo", u"D:\\a b\"  r.txt"}, {}, Request::kRun,
       {u"D:\\a b\\", u"r.txt"}},
      // A Linux name may hold a quote.
      {true, snipdir, {u"snipdir", u"odd\" 16"}, {}, Request::kRun, {u"odd\" 16"}},
  };
  for (const auto& c : cases) {
    platform::FakePlatform system;
    if (c.posix) system.BePosix();
    system.kinds = c.existing;
    const std::string what(c.args[1].begin(), c.args[1].end());
    const Arguments read = ReadArguments(c.tool, c.args, system);
    EXPECT_EQ(read.request, c.request) << what;
    const Args seen = c.request == Request::kWrong ? Args{read.wrong} : read.operands;
    if (c.request == Request::kRun || c.request == Request::kWrong) {
      EXPECT_EQ(seen, c.operands) << what;
    }
  }
  const Arguments options =
      ReadArguments(fit, {u"snipdir-fit", u"--as", u"D:\\", u"--floor", u"9", u"d", u"30"},
                    *std::make_unique<platform::FakePlatform>());
  EXPECT_EQ(options.as, u"D:\\");
  EXPECT_EQ(options.floor, u"9");
}

TEST(ReadNumberTest, DigitsOnlyWithinTheRangeAndNothingThatOverflows) {
  uint32_t value = 0;
  for (const auto& [text, lowest, read] :
       {std::tuple<std::u16string, uint32_t, uint32_t>{u"32767", 1, 32767}, {u"08", 8, 8},
        {u"00", 0, 0}, {u"0", 0, 0}}) {
    EXPECT_TRUE(ReadNumber(text, lowest, 32767, value) && value == read)
        << std::string(text.begin(), text.end());
  }
  for (const std::u16string text : {u"32768", u"4294967296", u"18446744073709551617", u"",
                                    u"+5", u"5x", u" 5", u"0", u"7"}) {
    EXPECT_FALSE(ReadNumber(text, 8, 32767, value)) << std::string(text.begin(), text.end());
  }
}

}  // namespace
}  // namespace app
