// The listing of one directory on Windows, and the renames of its entries.

#include <string>

#include "platform/win32_api.h"

namespace platform {
namespace {

class Win32Directory final : public Directory {
 public:
  // A listing of the entries of the directory `path` (separator included)
  // from `first` on; an empty one without `handle`.
  Win32Directory(HANDLE handle, const WIN32_FIND_DATAW& first, std::u16string path)
      : handle_(handle), record_(first), path_(std::move(path)), nameStart_(path_.size()) {}
  Win32Directory() : handle_(INVALID_HANDLE_VALUE), record_(), first_(false), nameStart_(0) {}
  ~Win32Directory() override {
    if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
  }

  ErrorCode Next(Entry& entry, bool& end) override {
    end = handle_ == INVALID_HANDLE_VALUE || (!first_ && !FindNextFileW(handle_, &record_));
    if (end) {
      const ErrorCode error = handle_ == INVALID_HANDLE_VALUE ? 0 : GetLastError();
      return error == ERROR_NO_MORE_FILES ? 0 : error;
    }
    first_ = false;
    entry.name = reinterpret_cast<const char16_t*>(record_.cFileName);
    entry.isDirectory = (record_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    path_.resize(nameStart_);
    path_ += entry.name;
    entry.isOutput =
        !entry.isDirectory &&
        outputs_.Holds(path_.c_str(), uint64_t{record_.nFileSizeHigh} << 32 | record_.nFileSizeLow);
    return 0;
  }

  ErrorCode Rename(const char16_t* oldPath, const char16_t* newPath,
                   size_t /*nameStart*/) override {
    // MoveFileW never replaces an existing entry.
    const ErrorCode error = LastErrorUnless(MoveFileW(Wide(oldPath), Wide(newPath)));
    return error == ERROR_FILE_EXISTS ? ERROR_ALREADY_EXISTS : error;
  }

  ErrorCode LookUp(const char16_t* path, size_t /*nameStart*/) override {
    if (GetFileAttributesW(Wide(path)) != INVALID_FILE_ATTRIBUTES) {
      return ERROR_ALREADY_EXISTS;
    }
    const ErrorCode error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? 0 : error;
  }

  // Nothing short of renaming tells whether a rename would be refused.
  ErrorCode RenameBarrier() override { return 0; }
  ErrorCode RenameRefusal(const char16_t*, size_t) override { return 0; }

 private:
  HANDLE handle_;
  WIN32_FIND_DATAW record_;
  bool first_ = true;
  std::u16string path_;  // the directory's path, then the entry's name
  const size_t nameStart_;
  const OutputFiles outputs_;
};

}  // namespace

ErrorCode OpenWin32Directory(const char16_t* path, std::unique_ptr<Directory>& directory) {
  const std::u16string pattern = std::u16string(path) + u'*';
  WIN32_FIND_DATAW record;
  const HANDLE handle = FindFirstFileW(Wide(pattern.c_str()), &record);
  if (handle != INVALID_HANDLE_VALUE) {
    directory = std::make_unique<Win32Directory>(handle, record, path);
    return 0;
  }
  // A drive root lists no "." or "..": an empty one finds nothing at all,
  // and is an empty directory, not a failure.
  const ErrorCode error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND) {
    const DWORD attributes = GetFileAttributesW(Wide(path));
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      directory = std::make_unique<Win32Directory>();
      return 0;
    }
  }
  return error;
}

}  // namespace platform
