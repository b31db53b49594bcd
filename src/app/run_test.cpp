#include "app/run.h"

#include <gtest/gtest.h>

#include <new>
#include <set>
#include <string>
#include <vector>

#include "app/version.h"
#include "naming/windows_names.h"
#include "support/fake_platform.h"

namespace app {
namespace {

using platform::FakePlatform;
using Names = std::vector<std::u16string>;

const Names kUsage = {
    u"-= SNIPDIR - <" SNIPDIR_CONTACT "> " SNIPDIR_RELEASE_DATE " =-",
    u"Cuts all filenames in a directory to specified length.",
    u"Usage:",
    u"  snipdir <directory-path> [max-length,default=12]",
};
const std::u16string kRangeMessage =
    u"ERROR: Maximum name length must be between 8 and 256.";

// A fake Windows system whose current directory is C:\data.
class RunTest : public ::testing::Test {
 protected:
  RunTest() { system.absoluteForm = u"C:\\data\\photos"; }

  void List(const Names& files, const Names& directories = {}) {
    for (const auto& name : files) system.listing.push_back({name, false});
    for (const auto& name : directories) system.listing.push_back({name, true});
  }

  int Snipdir(std::vector<std::u16string> args) {
    args.insert(args.begin(), u"snipdir");
    return app::Run(Tool::kSnipdir, args, system);
  }

  FakePlatform system;
};

TEST(RunUsageTest, WrongArgumentCountPrintsUsage) {
  for (const Names& args : {Names{u"snipdir"}, Names{u"snipdir", u"a", u"12", u"x"}}) {
    FakePlatform system;
    EXPECT_EQ(app::Run(Tool::kSnipdir, args, system), 1);
    EXPECT_EQ(system.err, kUsage);
    EXPECT_TRUE(system.out.empty());
    EXPECT_TRUE(system.absoluteRooms.empty());
  }
}

TEST_F(RunTest, LimitOutsideEightTo256IsRejected) {
  List({u"abcdefghijklmnopqrstuvwxyz0123456789"});
  for (const char16_t* limit :
       {u"7", u"257", u"-1", u"abc", u"0", u"4294967308", u"4294967304"}) {
    FakePlatform fresh;
    EXPECT_EQ(app::Run(Tool::kSnipdir, {u"snipdir", u"photos", limit}, fresh), 1);
    EXPECT_EQ(fresh.out, Names{kRangeMessage});
    EXPECT_TRUE(fresh.err.empty());
    EXPECT_TRUE(fresh.absoluteRooms.empty());  // nothing touched
  }
}

TEST_F(RunTest, LimitCutsAtThatLength) {
  const std::u16string name = u"abcdefghijklmnopqrstuvwxyz0123456789";
  struct {
    std::vector<std::u16string> limit;
    std::u16string newName;
  } const cases[] = {
      {{}, u"abcdefghijkl"},
      {{u"12"}, u"abcdefghijkl"},
      {{u"8"}, u"abcdefgh"},
      {{u"20abc"}, u"abcdefghijklmnopqrst"},
      {{u" +16"}, u"abcdefghijklmnop"},
      {{u"256"}, name},  // not over-long: untouched
  };
  for (const auto& c : cases) {
    FakePlatform fresh;
    fresh.listing = {{name, false}};
    Names args = {u"snipdir", u"photos"};
    args.insert(args.end(), c.limit.begin(), c.limit.end());
    EXPECT_EQ(app::Run(Tool::kSnipdir, args, fresh), 0);
    EXPECT_EQ(fresh.Names(), Names{c.newName});
  }
}

TEST_F(RunTest, OpensTheListingBehindTheResolvedPath) {
  EXPECT_EQ(Snipdir({u"photos"}), 0);
  EXPECT_EQ(system.openedPath, u"\\\\?\\C:\\data\\photos\\");

  // A resolved path ending in a separator gets no second one.
  FakePlatform root;
  root.absoluteForm = u"C:\\";
  root.listing = {{u"abcdefghijklmnop.txt", false}};
  EXPECT_EQ(app::Run(Tool::kSnipdir, {u"snipdir", u"C:\\"}, root), 0);
  EXPECT_EQ(root.openedPath, u"\\\\?\\C:\\");
  EXPECT_EQ(root.out, Names{u"\"abcdefghijklmnop.txt\" => \"abcdefgh.txt\""});
}

TEST_F(RunTest, RenamesOnlyOverLongEntries) {
  List({u".", u"..", u"exactly12.ab", u"thirteen.abcd", u"holiday-at-the-lake.jpeg"},
       {u"some.directory.name"});
  EXPECT_EQ(Snipdir({u"photos"}), 0);  // no limit: 12
  EXPECT_EQ(system.out, (Names{
                            u"\"thirteen.abcd\" => \"thirteen.abc\"",
                            u"\"holiday-at-the-lake.jpeg\" => \"holiday-.jpe\"",
                            u"\"some.directory.name\" => \"some.directo\"",
                        }));
  EXPECT_EQ(system.Names(), (Names{u".", u"..", u"exactly12.ab", u"holiday-.jpe",
                                   u"some.directo", u"thirteen.abc"}));
  EXPECT_EQ(system.renameCalls, 3u);
}

TEST_F(RunTest, ShortNamesOnlyPrintNothing) {
  List({u".", u"..", u"a.txt", u"twelve.chars"});
  EXPECT_EQ(Snipdir({u"photos"}), 0);
  EXPECT_TRUE(system.out.empty());
  EXPECT_TRUE(system.err.empty());
  EXPECT_EQ(system.renameCalls, 0u);
}

TEST_F(RunTest, CollisionsTakeTheNextFreeCounter) {
  List({u"holiday-at-the-lake.jpeg", u"holiday-at-the-sea.jpeg",
        u"holiday-at-the-zoo.jpeg"});
  system.hidden = {u"holiday-at-1.jpe"};
  EXPECT_EQ(Snipdir({u"photos", u"16"}), 0);
  EXPECT_EQ(system.out, (Names{
                            u"\"holiday-at-the-lake.jpeg\" => \"holiday-at-t.jpe\"",
                            u"\"holiday-at-the-sea.jpeg\" => \"holiday-at-0.jpe\"",
                            u"\"holiday-at-the-zoo.jpeg\" => \"holiday-at-2.jpe\"",
                        }));
}

TEST_F(RunTest, CounterGrowsToTwoDigitsAfterF) {
  Names files;
  for (int i = 0; i < 18; ++i) {
    files.push_back(u"abcdefghijklmnop" + std::u16string(1, u'a' + i) + u".txt");
  }
  List(files);
  EXPECT_EQ(Snipdir({u"photos"}), 0);
  ASSERT_EQ(system.out.size(), 18u);
  EXPECT_EQ(system.out[0], u"\"abcdefghijklmnopa.txt\" => \"abcdefgh.txt\"");
  EXPECT_EQ(system.out[1], u"\"abcdefghijklmnopb.txt\" => \"abcdefg0.txt\"");
  EXPECT_EQ(system.out[16], u"\"abcdefghijklmnopq.txt\" => \"abcdefgF.txt\"");
  EXPECT_EQ(system.out[17], u"\"abcdefghijklmnopr.txt\" => \"abcdef10.txt\"");
}

TEST_F(RunTest, FailedRenameIsReportedAndTheWalkGoesOn) {
  List({u"locked-file-name.txt", u"another-long-name.txt"});
  system.renameError = [](const std::u16string& oldName, const std::u16string&) {
    return oldName == u"locked-file-name.txt" ? 32u : 0u;  // sharing violation
  };
  EXPECT_EQ(Snipdir({u"photos"}), 0);
  EXPECT_EQ(system.out, (Names{
                            u"ERROR: \"locked-file-name.txt\": MoveFile() failed (32).",
                            u"\"another-long-name.txt\" => \"another-.txt\"",
                        }));
}

TEST_F(RunTest, FailureAfterCollisionsNamesTheOldEntry) {
  List({u"abcdefghijklmnop.txt", u"abcdefghijklmnoq.txt"});
  system.renameError = [](const std::u16string&, const std::u16string& newName) {
    return newName == u"abcdefg0.txt" ? 5u : 0u;  // access denied
  };
  EXPECT_EQ(Snipdir({u"photos"}), 0);
  EXPECT_EQ(system.out[1], u"ERROR: \"abcdefghijklmnoq.txt\": MoveFile() failed (5).");
}

TEST_F(RunTest, SameFirstCandidateWithAnotherAnchorStartsItsOwnCounter) {
  // A file's "abcdefgh.txt" takes counters before ".txt"; a directory's
  // takes them at the end, so what the files used up says nothing of it.
  List({u"abcdefghijklm.txt", u"abcdefghijkln.txt", u"abcdefghijklo.txt"},
       {u"abcdefgh.txt-and-more"});
  EXPECT_EQ(Snipdir({u"photos"}), 0);
  EXPECT_EQ(system.out.back(), u"\"abcdefgh.txt-and-more\" => \"abcdefgh.tx0\"");
}

TEST_F(RunTest, CounterThatDoesNotFitEndsTheEntry) {
  // At 8 with a four-unit extension only four digits fit: when all 1 + 16 +
  // 256 + 4096 + 65536 candidates are taken the entry gives up.
  Names hidden = {u"abcd.txt"};
  for (uint32_t counter = 0; counter <= 0xFFFF; ++counter) {
    std::u16string name = u"abcd.txt";
    const char16_t* digits = u"0123456789ABCDEF";
    size_t position = 4;
    uint32_t value = counter;
    do {
      name[--position] = digits[value % 16];
      value /= 16;
    } while (value != 0);
    hidden.push_back(name);
  }
  system.hidden = hidden;
  List({u"abcdefghijk.txt", u"abcdefghijkl.txt", u"xyzabcdefgh.txt"});
  EXPECT_EQ(Snipdir({u"photos", u"8"}), 0);
  EXPECT_EQ(system.out, (Names{
                            u"ERROR: \"abcdefghijk.txt\": MoveFile() failed (183).",
                            u"ERROR: \"abcdefghijkl.txt\": MoveFile() failed (183).",
                            u"\"xyzabcdefgh.txt\" => \"xyza.txt\"",
                        }));
  // Each candidate was tried once, but for those that equal an earlier one
  // ignoring case ("abcD.txt" after "abcd.txt"); the second entry knew the
  // sequence was used up and tried nothing.
  std::set<std::u16string> distinct;
  for (const auto& name : hidden) {
    std::u16string folded;
    naming::FoldCase(name, folded);
    distinct.insert(folded);
  }
  EXPECT_EQ(system.renameCalls, distinct.size() + 1);
}

TEST_F(RunTest, CollidingEntriesCostAtMostTwoRenamesEach) {
  const size_t count = 2000;
  for (size_t i = 0; i < count; ++i) {
    system.listing.push_back(
        {u"IMG_20230101_" + std::u16string(1, u'A' + i % 26) +
             std::u16string(1, u'a' + (i / 26) % 26) +
             std::u16string(1, u'a' + i / 676) + u"_description.jpg",
         false});
  }
  EXPECT_EQ(Snipdir({u"photos"}), 0);
  EXPECT_EQ(system.out.size(), count);
  EXPECT_EQ(system.Names().size(), count);
  EXPECT_LE(system.renameCalls, 2 * count);
}

template <platform::ErrorCode kCode>
void FailEveryRename(FakePlatform& system) {
  system.renameError = [](auto&, auto&) { return kCode; };
}

// The lines of a run whose two entries both failed with `code`.
Names BothRenamesFail(std::u16string_view code) {
  Names lines;
  for (std::u16string_view name : {u"long-name-one.txt", u"long-name-two.txt"}) {
    lines.push_back(u"ERROR: \"" + std::u16string(name) + u"\": MoveFile() failed (" +
                    std::u16string(code) + u").");
  }
  return lines;
}

TEST(RunFaultTest, EveryServiceFailingGivesItsMessageAndStatus) {
  // Which service fails, with which code, and what the run says.
  struct Fault {
    const char* what;
    void (*inject)(FakePlatform&);
    Names out;
    int status;
  };
  const Fault faults[] = {
      {"absolute path", [](FakePlatform& s) { s.absoluteError = 123; },
       {u"ERROR: 123"}, 1},
      {"memory for the path", [](FakePlatform& s) { s.absoluteRoomNeeded = 0xFFFFFFFF; },
       {u"ERROR: 0"}, 1},
      {"long form", [](FakePlatform& s) { s.longFormError = 3; },
       {u"ERROR: Specified path does not exist (3)."}, 1},
      {"listing", [](FakePlatform& s) { s.openError = 5; },
       {u"ERROR: FindFirstFile() failed (5)."}, 1},
      {"listing: the path names a file", [](FakePlatform& s) { s.openError = 267; },
       {u"ERROR: FindFirstFile() failed (267)."}, 1},
      {"listing fails part-way: nothing is renamed",
       [](FakePlatform& s) { s.listingError = 1392; },
       {u"ERROR: FindNextFile() failed (1392)."}, 1},
      {"codes print as signed numbers", [](FakePlatform& s) { s.openError = 0x80070005; },
       {u"ERROR: FindFirstFile() failed (-2147024891)."}, 1},
      {"rename: access denied",
       FailEveryRename<5>, BothRenamesFail(u"5"), 0},
      {"rename: busy",
       FailEveryRename<32>, BothRenamesFail(u"32"), 0},
      {"rename: name too long",
       FailEveryRename<206>, BothRenamesFail(u"206"), 0},
      {"rename: not supported, once",
       [](FakePlatform& s) {
         s.renameError = [](const std::u16string& old, auto&) {
           return old == u"long-name-one.txt" ? 50u : 0u;
         };
       },
       {u"ERROR: \"long-name-one.txt\": MoveFile() failed (50).",
        u"\"long-name-two.txt\" => \"long-nam.txt\""},
       0},
      {"memory during the walk",
       [](FakePlatform& s) {
         s.renameError = [](auto&, auto&) -> platform::ErrorCode { throw std::bad_alloc(); };
       },
       {u"ERROR: Out of memory."}, 1},
  };
  for (const Fault& fault : faults) {
    FakePlatform system;
    system.absoluteForm = u"C:\\data";
    system.listing = {{u"long-name-one.txt", false}, {u"long-name-two.txt", false}};
    fault.inject(system);
    EXPECT_EQ(app::Run(Tool::kSnipdir, {u"snipdir", u"data"}, system), fault.status) << fault.what;
    EXPECT_EQ(system.out, fault.out) << fault.what;
    EXPECT_TRUE(system.err.empty()) << fault.what;
  }
}

TEST_F(RunTest, PosixStyleSystem) {
  system.BePosix();
  system.absoluteForm = u"/home/user/photos";
  List({u"abcdefghijklmnop.txt", u"abcdefghijklmnoq.txt"});
  EXPECT_EQ(Snipdir({u"photos"}), 0);
  EXPECT_EQ(system.openedPath, u"/home/user/photos/");
  EXPECT_EQ(system.out, (Names{
                            u"\"abcdefghijklmnop.txt\" => \"abcdefgh.txt\"",
                            u"\"abcdefghijklmnoq.txt\" => \"abcdefg0.txt\"",
                        }));
}

// --- Names that work everywhere ----------------------------------------------

TEST_F(RunTest, ReservedDeviceNamesCountAsTaken) {
  List({u"COM1-modem-settings.txt", u"NUL\U0001F600-night-log.log"});
  EXPECT_EQ(Snipdir({u"photos", u"8"}), 0);
  EXPECT_EQ(system.out, (Names{
                            // COM1 to COM9 and COM0 are devices as well.
                            u"\"COM1-modem-settings.txt\" => \"COMA.txt\"",
                            u"\"NUL\U0001F600-night-log.log\" => \"NU0.log\"",
                        }));
  EXPECT_EQ(system.renameCalls, 2u);  // a device name is never tried

  FakePlatform twelve;
  twelve.listing = {{u"AUX     notes.txt", false}};
  EXPECT_EQ(app::Run(Tool::kSnipdir, {u"snipdir", u"d"}, twelve), 0);
  EXPECT_EQ(twelve.out, Names{u"\"AUX     notes.txt\" => \"AUX    0.txt\""});
}

TEST_F(RunTest, WhereCaseMattersNamesThatDifferOnlyInCaseCountAsTaken) {
  system.BePosix();
  List({u"Holiday-Photo-001.jpeg", u"holiday-photo-002.jpeg", u"SAMESTEM.DAT",
        u"samestem-long-name.dat", u"\u00C9t\u00E9-en-montagne.txt",
        u"\u00E9t\u00E9-en-montagne-2.txt"});
  EXPECT_EQ(Snipdir({u"photos"}), 0);
  EXPECT_EQ(system.out,
            (Names{
                u"\"Holiday-Photo-001.jpeg\" => \"Holiday-.jpe\"",
                u"\"holiday-photo-002.jpeg\" => \"holiday0.jpe\"",
                // Taken by a listed name, in another case.
                u"\"samestem-long-name.dat\" => \"sameste0.dat\"",
                // Listed in the order NTFS keeps them: "-" before ".".
                u"\"\u00E9t\u00E9-en-montagne-2.txt\" => \"\u00E9t\u00E9-en-m.txt\"",
                u"\"\u00C9t\u00E9-en-montagne.txt\" => \"\u00C9t\u00E9-en-0.txt\"",
            }));
}

TEST_F(RunTest, NameHoldingASeparatorIsNeverRenamed) {
  List({u"back\\slash-long-name.txt", u"forward/slash-long-name.txt",
        u"plain-long-name.txt"});
  EXPECT_EQ(Snipdir({u"photos"}), 0);
  EXPECT_EQ(system.out,
            (Names{
                u"ERROR: \"back\\\\slash-long-name.txt\": MoveFile() failed (123).",
                u"ERROR: \"forward/slash-long-name.txt\": MoveFile() failed (123).",
                u"\"plain-long-name.txt\" => \"plain-lo.txt\"",
            }));
  EXPECT_EQ(system.renameCalls, 1u);
}

// --- A report that can be trusted -------------------------------------------

TEST_F(RunTest, ReportThatCannotBeWrittenStopsTheWalk) {
  List({u"first-long-name.txt", u"second-long-name.txt"});
  system.writeError = [](platform::Stream stream) -> platform::ErrorCode {
    return stream == platform::Stream::Out ? 28 : 0;  // disk full
  };
  EXPECT_EQ(Snipdir({u"photos"}), 1);
  EXPECT_EQ(system.err, Names{u"ERROR: Cannot write the report (28): "
                              u"\"first-long-name.txt\" => \"first-lo.txt\""});
  EXPECT_EQ(system.renameCalls, 1u);  // nothing renamed after the line was lost
}

TEST_F(RunTest, InterruptStopsAfterTheEntryInHand) {
  List({u"first-long-name.txt", u"second-long-name.txt"});
  system.renamed = [this](auto&, auto&) { system.interrupted = true; };
  EXPECT_EQ(Snipdir({u"photos"}), FakePlatform::kInterruptedStatus);
  EXPECT_EQ(system.out, (Names{u"\"first-long-name.txt\" => \"first-lo.txt\"",
                               u"ERROR: Interrupted."}));
  EXPECT_EQ(system.renameCalls, 1u);
}

TEST(RunMemoryTest, RenameIsReportedWhenMemoryRunsOutRightAfterIt) {
  for (const bool posix : {false, true}) {
    FakePlatform system;
    if (posix) system.BePosix();  // which also remembers the name chosen
    system.absoluteForm = u"/data";
    system.listing = {{u"first-long-name.txt", false}, {u"second-long-name.txt", false}};
    system.renamed = [](auto&, auto&) { platform::FailAllocations(true); };
    const int status = app::Run(Tool::kSnipdir, {u"snipdir", u"data"}, system);
    platform::FailAllocations(false);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(system.out, (Names{u"\"first-long-name.txt\" => \"first-lo.txt\"",
                                 u"ERROR: Out of memory."}));
  }
}

// --- snipdir-preview ----------------------------------------------------------

TEST(RunPreviewTest, PrintsWhatTheRunWouldAndRenamesNothing) {
  // The same directory twice: one previewed, one cut.
  FakePlatform preview, cut;
  for (FakePlatform* system : {&preview, &cut}) {
    system->listing = {{u"holiday-at-the-lake.jpeg", false},
                       {u"holiday-at-the-sea.jpeg", false},
                       {u"exactly16chars.a", false},
                       {u"COM1-and-a-long-name", true}};
    system->hidden = {u"holiday-at-0.jpe"};
  }
  EXPECT_EQ(app::Run(Tool::kPreview, {u"snipdir-preview", u"photos", u"16"}, preview), 0);
  EXPECT_EQ(app::Run(Tool::kSnipdir, {u"snipdir", u"photos", u"16"}, cut), 0);
  EXPECT_EQ(preview.out, (Names{
                             u"\"holiday-at-the-lake.jpeg\" => \"holiday-at-t.jpe\"",
                             // Chosen earlier in the preview, then taken on disk.
                             u"\"holiday-at-the-sea.jpeg\" => \"holiday-at-1.jpe\"",
                             u"\"COM1-and-a-long-name\" => \"COM1-and-a-long-\"",
                         }));
  EXPECT_EQ(preview.out, cut.out);
  EXPECT_EQ(preview.renameCalls, 0u);
  EXPECT_EQ(preview.Names(),
            (Names{u"COM1-and-a-long-name", u"exactly16chars.a", u"holiday-at-0.jpe",
                   u"holiday-at-the-lake.jpeg", u"holiday-at-the-sea.jpeg"}));
}

TEST(RunPreviewTest, ReportsWhatEveryRenameWouldMeet) {
  FakePlatform system;
  system.listing = {{u"long-name-one.txt", false}, {u"long-name-two.txt", false}};
  system.hidden = {u"long-nam.txt"};
  system.barrier = 5;  // access denied
  EXPECT_EQ(app::Run(Tool::kPreview, {u"snipdir-preview", u"photos"}, system), 0);
  EXPECT_EQ(system.out, BothRenamesFail(u"5"));
  EXPECT_EQ(system.renameCalls, 0u);
}

TEST(RunUsageTest, EachProgramHasItsOwnUsage) {
  FakePlatform preview, undo;
  EXPECT_EQ(app::Run(Tool::kPreview, {u"snipdir-preview"}, preview), 1);
  EXPECT_EQ(preview.err[1],
            u"Shows how snipdir would cut the filenames in a directory; changes nothing.");
  EXPECT_EQ(preview.err[3], u"  snipdir-preview <directory-path> [max-length,default=12]");
  EXPECT_EQ(app::Run(Tool::kUndo, {u"snipdir-undo", u"photos"}, undo), 1);
  EXPECT_EQ(undo.err[0].substr(0, 33), u"ERROR: The report (a file, or - f");
  EXPECT_EQ(undo.err[4].substr(0, 47), u"  snipdir-undo <directory-path> <report-file|->");
  EXPECT_TRUE(undo.out.empty());
}
TEST(RunUsageTest, HelpAndVersionGoToStandardOutput) {
  FakePlatform help, version;
  EXPECT_EQ(app::Run(Tool::kSnipdir, {u"snipdir", u"--help"}, help), 0);
  EXPECT_EQ(Names(help.out.begin(), help.out.begin() + 4), kUsage);
  EXPECT_EQ(help.out[5], u"The programs:");
  EXPECT_TRUE(help.err.empty());
  EXPECT_EQ(app::Run(Tool::kPreview, {u"snipdir-preview", u"-V"}, version), 0);
  EXPECT_EQ(version.out[0], u"snipdir-preview " SNIPDIR_VERSION);
  EXPECT_EQ(version.out.size(), 2u);
  EXPECT_TRUE(version.absoluteRooms.empty());
}

// --- What the walk leaves alone ------------------------------------------------

TEST_F(RunTest, TheReportBeingWrittenKeepsItsName) {
  system.listing = {{u"snipdir-report-of-today.txt", false, true},
                    {u"another-long-name.txt", false}};
  EXPECT_EQ(Snipdir({u"photos"}), 0);
  EXPECT_EQ(system.out, Names{u"\"another-long-name.txt\" => \"another-.txt\""});
}

TEST_F(RunTest, AStopBetweenTwoCandidatesLeavesTheEntryUnreported) {
  List({u"abcdefghijklmnop.txt", u"abcdefghijklmnopq.txt"});
  system.hidden = {u"abcdefgh.txt"};
  system.renameError = [this](const std::u16string&, const std::u16string& to) {
    if (to == u"abcdefgh.txt") system.interrupted = true;
    return platform::ErrorCode{0};
  };
  EXPECT_EQ(Snipdir({u"photos"}), FakePlatform::kInterruptedStatus);
  EXPECT_EQ(system.out, Names{u"ERROR: Interrupted."});
  EXPECT_EQ(system.renameCalls, 1u);
}

TEST(RunPreviewTest, ForeseesEntriesThatMayNotBeMoved) {
  FakePlatform system;
  system.listing = {{u"immutable-long-name.txt", false}, {u"ordinary-long-name.txt", false}};
  system.refusals = {{u"immutable-long-name.txt", 1}};
  EXPECT_EQ(app::Run(Tool::kPreview, {u"snipdir-preview", u"photos"}, system), 0);
  EXPECT_EQ(system.out, (Names{u"ERROR: \"immutable-long-name.txt\": MoveFile() failed (1).",
                               u"\"ordinary-long-name.txt\" => \"ordinary.txt\""}));
}

// --- snipdir-undo -------------------------------------------------------------

class UndoTest : public RunTest {
 protected:
  int Undo(const std::string& report) {
    system.files[u"report.txt"] = report;
    return app::Run(Tool::kUndo, {u"snipdir-undo", u"photos", u"report.txt"}, system);
  }
};

TEST_F(UndoTest, RenamesBackLastRenameFirstInTheReportsOwnForm) {
  List({u"first-lo.txt", u"abcdefgh.txt", u"other.txt"});
  // Two runs' reports, one after the other: 16, then 12.
  EXPECT_EQ(Undo("\"first-long-name.txt\" => \"first-long-n.txt\"\n"
                 "ERROR: \"locked-long-name.txt\": MoveFile() failed (32).\n"
                 "\"abcdefghijklmnop.txt\" => \"abcdefgh.txt\"\n"
                 "\"first-long-n.txt\" => \"first-lo.txt\"\n"
                 "ERROR: Interrupted.\n"),
            0);
  EXPECT_EQ(system.out, (Names{
                            u"\"first-lo.txt\" => \"first-long-n.txt\"",
                            u"\"abcdefgh.txt\" => \"abcdefghijklmnop.txt\"",
                            u"\"first-long-n.txt\" => \"first-long-name.txt\"",
                        }));
  EXPECT_EQ(system.Names(),
            (Names{u"abcdefghijklmnop.txt", u"first-long-name.txt", u"other.txt"}));
}

TEST_F(UndoTest, EachLineCostsAtMostOneRenameAndNothingIsReplaced) {
  List({u"taken.txt", u"old-name-taken-again.txt", u"inside.txt"});
  EXPECT_EQ(Undo("\"gone-long-name.txt\" => \"gone.txt\"\n"
                 "\"old-name-taken-again.txt\" => \"taken.txt\"\n"
                 "\"half a line\n"
                 "\"..\\\\escape.txt\" => \"inside.txt\"\n"
                 "\"x\" => \"a/b\"\n"
                 "\"..\" => \"inside.txt\"\n"),
            1);  // a rename back failed
  EXPECT_EQ(system.out, (Names{
                            u"ERROR: \"inside.txt\": MoveFile() failed (123).",
                            u"ERROR: Line 5 of the report renames more than a last name.",
                            u"ERROR: \"inside.txt\": MoveFile() failed (123).",
                            u"ERROR: Line 3 of the report cannot be read.",
                            u"ERROR: \"taken.txt\": MoveFile() failed (183).",
                            u"ERROR: \"gone.txt\": MoveFile() failed (2).",
                        }));
  EXPECT_EQ(system.renameCalls, 2u);
  EXPECT_EQ(system.Names(), (Names{u"inside.txt", u"old-name-taken-again.txt", u"taken.txt"}));
}

TEST_F(UndoTest, ReadsEveryEncodingAReportIsSavedIn) {
  const std::string line = "\"caf\xC3\xA9-au-lait.txt\" => \"caf\xC3\xA9-au-.txt\"";
  std::string utf16 = "\xFF\xFE";
  for (const char16_t unit : std::u16string(u"\"caf\u00E9-au-lait.txt\" => \"caf\u00E9-au-.txt\"\r\n")) {
    utf16 += static_cast<char>(unit & 0xFF);
    utf16 += static_cast<char>(unit >> 8);
  }
  for (const std::string& report : {line, line + "\r\n", "\xEF\xBB\xBF" + line + "\r\n", utf16}) {
    FakePlatform fresh;
    fresh.listing = {{u"caf\u00E9-au-.txt", false}};
    fresh.standardInput = report;
    EXPECT_EQ(app::Run(Tool::kUndo, {u"snipdir-undo", u"photos", u"-"}, fresh), 0);
    EXPECT_EQ(fresh.out, Names{u"\"caf\u00E9-au-.txt\" => \"caf\u00E9-au-lait.txt\""});
  }
}

TEST_F(UndoTest, ReportsJoinedIntoOneAreReadAsOne) {
  List({u"first-lo.txt", u"second-l.txt"});
  EXPECT_EQ(Undo("\xEF\xBB\xBF\"first-long-name.txt\" => \"first-lo.txt\"\r\n"
                 "\xEF\xBB\xBF\"second-long-name.txt\" => \"second-l.txt\"\r\n"),
            0);
  EXPECT_EQ(system.Names(), (Names{u"first-long-name.txt", u"second-long-name.txt"}));
}

TEST_F(UndoTest, SwappedArgumentsRenameNothing) {
  system.kinds = {{u"report.txt", platform::Kind::kOther},
                  {u"photos", platform::Kind::kDirectory}};
  List({u"abcdefgh.txt"});
  EXPECT_EQ(app::Run(Tool::kUndo, {u"snipdir-undo", u"report.txt", u"photos"}, system), 1);
  EXPECT_EQ(system.err,
            Names{u"ERROR: The first argument must be the directory and the second the report."});
  EXPECT_TRUE(system.absoluteRooms.empty());
}

TEST_F(UndoTest, ReportThatCannotBeReadEndsTheRun) {
  List({u"abcdefgh.txt"});
  EXPECT_EQ(app::Run(Tool::kUndo, {u"snipdir-undo", u"photos", u"missing.txt"}, system), 1);
  EXPECT_EQ(system.out, Names{u"ERROR: Cannot read the report (2)."});
  EXPECT_EQ(system.renameCalls, 0u);
}
}  // namespace
}  // namespace app
