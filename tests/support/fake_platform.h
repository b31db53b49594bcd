// An in-memory platform for tests: a Windows-like system by default (prefix
// "\\?\", separator "\", "target exists" 183, case ignored) with one directory whose
// entries are renamed in memory, and hooks that inject any error.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

// While true, every allocation of the test program throws std::bad_alloc.
void FailAllocations(bool fail);

class FakePlatform final : public Platform {
 public:
  struct FakeEntry {
    std::u16string name;
    bool isDirectory = false;
    bool isOutput = false;  // the file standard output goes to
  };

  Traits systemTraits = {u"\\\\?\\", u"\\\\?\\UNC\\", u'\\', u"\\/", 183, 123, 2, 1006, false, false,
                         232, 1};
  // True when names that differ only in case are one entry, as on NTFS.
  bool ignoresCase = true;
  // POSIX-like: no prefix, "/", EEXIST, EINVAL, bytes, a listing in no
  // order, and names told apart by case.
  void BePosix() {
    systemTraits = {u"", u"", u'/', u"/", 17, 22, 2, 116, true, true, 32, 141};
    ignoresCase = false;
  }

  // --- Path services --------------------------------------------------------
  // What AbsolutePath produces for any argument; the argument itself if empty.
  std::u16string absoluteForm;
  // What LongForm turns the whole buffer into; unchanged if empty.
  std::u16string longForm;
  // Nonzero: AbsolutePath answers that it needs this much room, always.
  uint32_t absoluteRoomNeeded = 0;
  // Nonzero: the service fails with this code.
  ErrorCode absoluteError = 0;
  ErrorCode longFormError = 0;
  // The room each call was given, in order.
  std::vector<uint32_t> absoluteRooms;
  std::vector<uint32_t> longFormRooms;

  // --- The directory, and the tree below it --------------------------------
  // The entries in listing order. Names added by renames are not listed.
  // As a tree, an entry "sub/name" is an entry of the directory "sub",
  // which is listed before it.
  std::vector<FakeEntry> listing;
  // Directories of the tree (by path) that cannot be listed, and why: part
  // way through (true) or at once.
  std::map<std::u16string, std::pair<ErrorCode, bool>> unlistable;
  // Directories of the tree that are no longer the ones listed once the
  // listing is done: renames in them fail with Traits::changedDirectory.
  std::vector<std::u16string> changed;
  // Entries on "disk" that the listing does not deliver (they still block).
  std::vector<std::u16string> hidden;
  // Nonzero: opening the listing fails with this code.
  ErrorCode openError = 0;
  // Nonzero: reading the listing fails with this code after its last entry.
  ErrorCode listingError = 0;
  // Called before every rename with the old and new name; a nonzero result
  // fails the rename with that code.
  std::function<ErrorCode(const std::u16string&, const std::u16string&)>
      renameError;
  // Called after every rename that happened.
  std::function<void(const std::u16string&, const std::u16string&)> renamed;
  // What RenameBarrier answers, and RenameRefusal for each name.
  ErrorCode barrier = 0;
  std::map<std::u16string, ErrorCode> refusals;
  // What KindOf answers for each path; nothing for the others.
  std::map<std::u16string, Kind> kinds;
  // The path the listing or the tree was opened with.
  std::u16string openedPath;
  size_t renameCalls = 0;
  size_t lookUpCalls = 0;

  // --- Files and output -----------------------------------------------------
  // The files ReadFile finds, and standard input.
  std::map<std::u16string, std::string> files;
  std::string standardInput;
  // Called before every line written; a nonzero result fails the write.
  std::function<ErrorCode(Stream)> writeError;
  std::vector<std::u16string> out;
  std::vector<std::u16string> err;
  // Standard error as a terminal, and what progress was shown there.
  bool terminal = false;
  std::u16string progress;

  // --- Interruption ---------------------------------------------------------
  bool interrupted = false;
  static constexpr int kInterruptedStatus = 130;

  // The names now in the directory, sorted.
  std::vector<std::u16string> Names() const;

  const Traits& traits() const override { return systemTraits; }
  ErrorCode AbsolutePath(const char16_t* path, uint32_t room, char16_t* destination,
                         uint32_t& length) override;
  ErrorCode LongForm(char16_t* buffer, uint32_t room, uint32_t& length) override;
  ErrorCode OpenDirectory(const char16_t* path, std::unique_ptr<Directory>& directory) override;
  Kind KindOf(const char16_t* path) override;
  ErrorCode OpenTree(const char16_t* path, std::unique_ptr<Tree>& tree) override;
  ErrorCode ReadFile(const char16_t* path, const Pieces& take) override;
  ErrorCode WriteLine(Stream stream, std::u16string_view line) override;
  void ReserveLine(size_t) override {}
  // No journal: the runs of the tests keep none.
  ErrorCode JournalFolder(std::u16string&) override { return systemTraits.invalidName; }
  ErrorCode FilesIn(const std::u16string&, std::vector<std::u16string>&) override {
    return systemTraits.invalidName;
  }
  ErrorCode OpenLineFile(const std::u16string&, bool, std::unique_ptr<LineFile>&) override {
    return systemTraits.invalidName;
  }
  ErrorCode RemoveFile(const std::u16string&) override { return systemTraits.invalidName; }
  bool ShowsProgress() const override { return terminal; }
  void WriteProgress(std::u16string_view text) override { progress += text; }
  bool Interrupted() const override { return interrupted; }
  int ExitInterrupted() override { return kInterruptedStatus; }

 private:
  friend class FakeDirectory;
  friend class FakeTree;
  // Renames `oldName` to `newName` (paths below the directory) on the disk.
  ErrorCode Move(const std::u16string& oldName, const std::u16string& newName);
  void Fill();

  // The name under which an entry is found: in uppercase where case is
  // ignored.
  std::u16string Key(const std::u16string& name) const;

  std::map<std::u16string, FakeEntry> present_;  // by Key
};

}  // namespace platform
