// What the parts of the Windows platform share: the one place that
// includes <windows.h>, and the small helpers every part needs.
#pragma once

#include <windows.h>
#include <winternl.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t expected");

inline const wchar_t* Wide(const char16_t* text) {
  return reinterpret_cast<const wchar_t*>(text);
}
inline wchar_t* Wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }

inline ErrorCode LastErrorUnless(bool succeeded) { return succeeded ? 0 : GetLastError(); }

// Which file is open as `handle`: its volume and its number there.
struct FileIdentity {
  bool known = false;
  ULONGLONG volume = 0;
  BYTE id[16] = {};

  explicit FileIdentity(HANDLE handle);
  bool operator==(const FileIdentity& other) const;
};

// The files standard output and standard error are written to, where they
// are disk files: an entry that is one of them is never renamed.
class OutputFiles {
 public:
  OutputFiles();
  // False when no entry of `size` bytes can be one of them: only entries
  // of the same size as one of them are opened to compare.
  bool MayHold(uint64_t size) const { return Sized(out_, size) || Sized(err_, size); }
  // True when the entry `path`, of `size` bytes, is one of them.
  bool Holds(const char16_t* path, uint64_t size) const;

 private:
  struct Stream {
    explicit Stream(HANDLE file) : handle(file), identity(file) {}
    HANDLE handle;
    FileIdentity identity;
  };
  static bool Sized(const Stream& stream, uint64_t size);

  Stream out_, err_;
};

// A handle closed when it goes.
class Handle {
 public:
  explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle(Handle&& other) noexcept : handle_(other.handle_) { other.handle_ = INVALID_HANDLE_VALUE; }
  Handle& operator=(Handle&& other) noexcept {
    Reset(other.handle_);
    other.handle_ = INVALID_HANDLE_VALUE;
    return *this;
  }
  ~Handle() { Reset(); }
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  void Reset(HANDLE handle = INVALID_HANDLE_VALUE) {
    if (valid()) CloseHandle(handle_);
    handle_ = handle;
  }

 private:
  HANDLE handle_;
};

// The listing of the directory `path` (its path and "\").
ErrorCode OpenWin32Directory(const char16_t* path, std::unique_ptr<Directory>& directory);

// The directory `path` (its "\\?\" path and "\") opened for work on its
// tree.
ErrorCode OpenWin32Tree(const char16_t* path, std::unique_ptr<Tree>& tree);

// The files of the user's own (Platform::JournalFolder, FilesIn,
// OpenLineFile).
ErrorCode Win32JournalFolder(std::u16string& folder);
ErrorCode Win32FilesIn(const std::u16string& folder, std::vector<std::u16string>& names);
ErrorCode Win32OpenLineFile(const std::u16string& path, bool existing,
                            std::unique_ptr<LineFile>& file);

}  // namespace platform
