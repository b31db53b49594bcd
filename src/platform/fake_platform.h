// An in-memory platform for tests: a Windows-like system by default (prefix
// "\\?\", separator "\", "target exists" 183) with one directory whose
// entries are renamed in memory, and hooks that inject any error.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

class FakePlatform final : public Platform {
 public:
  struct FakeEntry {
    std::u16string name;
    bool isDirectory = false;
  };

  // --- Path services --------------------------------------------------------
  std::u16string prefix = u"\\\\?\\";
  char16_t separator = u'\\';
  ErrorCode targetExists = 183;
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

  // --- The directory --------------------------------------------------------
  // The entries in listing order. Names added by renames are not listed.
  std::vector<FakeEntry> listing;
  // Entries on "disk" that the listing does not deliver (they still block).
  std::vector<std::u16string> hidden;
  // Nonzero: opening the listing fails with this code.
  ErrorCode openError = 0;
  // Called before every rename with the old and new name; a nonzero result
  // fails the rename with that code.
  std::function<ErrorCode(const std::u16string&, const std::u16string&)>
      renameError;
  // The pattern the listing was opened with.
  std::u16string openedPattern;
  size_t renameCalls = 0;

  // --- Output ---------------------------------------------------------------
  std::vector<std::u16string> out;
  std::vector<std::u16string> err;

  // The names now in the directory, sorted.
  std::vector<std::u16string> Names() const;

  std::u16string_view LongPathPrefix() const override { return prefix; }
  char16_t Separator() const override { return separator; }
  ErrorCode TargetExists() const override { return targetExists; }
  uint32_t AbsolutePath(const char16_t* path, uint32_t room,
                        char16_t* destination) override;
  uint32_t LongForm(char16_t* buffer, uint32_t room) override;
  std::unique_ptr<Directory> OpenDirectory(const char16_t* pattern) override;
  ErrorCode LastError() const override { return lastError_; }
  void WriteLine(Stream stream, std::u16string_view line) override;
  void Flush() override {}

 private:
  friend class FakeDirectory;
  bool Fail(ErrorCode code) {
    lastError_ = code;
    return false;
  }

  ErrorCode lastError_ = 0;
  std::map<std::u16string, bool> present_;  // name -> is a directory
};

}  // namespace platform
