#include "app/run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_platform.h"

namespace app {
namespace {

using platform::ErrorCode;
using platform::FakePlatform;
using Names = std::vector<std::u16string>;

// What snipdir-fit meets on a tree where another program, or the system,
// gets in the way: each row a fault, and what the run then does.
TEST(FitWalkTest, WhatGetsInTheWayIsSaidAndTheRestGoesOn) {
  const std::u16string kDirectory = u"A directory with a long name";
  const std::u16string kInside = kDirectory + u"/a file inside it, also long.txt";
  const std::u16string kBeside = u"a file beside it with a long name.txt";
  struct Row {
    const char* what;
    bool partial;
    // The fault.
    std::u16string failing;  // its rename fails with 5
    bool directoryMoved;     // renames in the directory fail: no longer the one listed
    bool unlistable;         // the directory cannot be listed
    bool stopAfterFirst;     // the user stops the run after its first rename
    // What the run does: renames (the directory and the file beside it are
    // cut, and the file inside it), what its error lines say, its status.
    size_t renamed;
    std::u16string error;
    int status;
  };
  const Row rows[] = {
      {"a rename refused", false, kInside, false, false, false, 2, u"(5).", 1},
      {"the directory moved away", false, u"", true, false, false, 2, u"(1006).", 1},
      {"a directory unlistable", false, u"", false, true, false, 0, u"(5).", 1},
      {"a directory unlistable, --partial", true, u"", false, true, false, 1, u"(5).", 1},
      {"stopped", false, u"", false, false, true, 1, u"ERROR: Interrupted.",
       FakePlatform::kInterruptedStatus},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    FakePlatform system;
    system.absoluteForm = u"C:\\data\\tree";
    system.kinds[u"tree"] = platform::Kind::kDirectory;
    system.listing = {{kDirectory, true}, {kInside, false}, {kBeside, false}};
    if (!row.failing.empty()) {
      system.renameError = [&](const std::u16string& from, const std::u16string&) {
        return from == row.failing ? ErrorCode{5} : ErrorCode{0};
      };
    }
    if (row.directoryMoved) system.changed = {kDirectory};
    if (row.unlistable) system.unlistable[kDirectory] = {5, false};
    if (row.stopAfterFirst) {
      system.renamed = [&](const std::u16string&, const std::u16string&) {
        system.interrupted = true;
      };
    }
    std::vector<std::u16string> args = {u"snipdir-fit", u"--as", u"C:\\x", u"tree", u"40"};
    if (row.partial) args.insert(args.begin() + 1, u"--partial");
    const int status = app::Run(Tool::kFit, args, system);
    size_t renamed = 0, errors = 0;
    for (const std::u16string& line : system.out) {
      renamed += line.find(u"\" => \"") != std::u16string::npos;
      if (line.rfind(u"ERROR: ", 0) == 0) {
        ++errors;
        EXPECT_NE(line.find(row.error), std::u16string::npos) << std::string(line.begin(), line.end());
      }
    }
    EXPECT_EQ(renamed, row.renamed);
    EXPECT_GE(errors, 1u);
    EXPECT_EQ(status, row.status);
    EXPECT_EQ(system.renameCalls, row.renamed + (row.failing.empty() ? 0 : 1));
  }
}

}  // namespace
}  // namespace app
