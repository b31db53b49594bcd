// The files of the user's own on Windows: the journal's folder, and files
// that lines are added to.

#include <algorithm>
#include <string>
#include <vector>

#include "text/utf8.h"
#include "platform/win32_api.h"

namespace platform {
namespace {

class Win32LineFile final : public LineFile {
 public:
  explicit Win32LineFile(HANDLE file) : file_(file) {}

  ErrorCode Add(std::u16string_view line) override {
    bytes_.clear();
    for (size_t start = 0; start <= line.size();) {
      const size_t end = std::min(line.find(u'\n', start), line.size());
      text::EncodeName(line.substr(start, end - start), piece_);
      bytes_ += piece_;
      bytes_ += "\r\n";
      start = end + 1;
    }
    DWORD written = 0;
    if (!WriteFile(file_.get(), bytes_.data(), static_cast<DWORD>(bytes_.size()), &written,
                   nullptr)) {
      return GetLastError();
    }
    return written == bytes_.size() ? 0 : ERROR_WRITE_FAULT;
  }

  // A line feed inside gains a carriage return.
  void Reserve(size_t units) override {
    bytes_.reserve(4 * units + 2);
    piece_.reserve(3 * units);
  }

 private:
  Handle file_;
  std::string bytes_, piece_;
};

std::u16string Variable(const char16_t* name) {
  std::u16string value(MAX_PATH, u'\0');
  for (;;) {
    const DWORD length = GetEnvironmentVariableW(Wide(name), Wide(&value[0]),
                                                 static_cast<DWORD>(value.size()));
    if (length < value.size()) {
      value.resize(length);
      return value;
    }
    value.assign(length, u'\0');
  }
}

}  // namespace

ErrorCode Win32JournalFolder(std::u16string& folder) {
  folder = Variable(u"LOCALAPPDATA");
  if (folder.empty()) {
    folder = Variable(u"USERPROFILE");
    if (folder.empty()) return ERROR_PATH_NOT_FOUND;
    folder += u"\\AppData\\Local";
  }
  folder += u"\\snipdir";
  // Each missing folder on the way, the last one included.
  for (size_t at = folder.find(u'\\', 3);; at = folder.find(u'\\', at + 1)) {
    const std::u16string part = folder.substr(0, at);
    if (!CreateDirectoryW(Wide(part.c_str()), nullptr) &&
        GetLastError() != ERROR_ALREADY_EXISTS) {
      return GetLastError();
    }
    if (at == std::u16string::npos) break;
  }
  folder += u'\\';
  return 0;
}

ErrorCode Win32FilesIn(const std::u16string& folder, std::vector<std::u16string>& names) {
  const std::u16string pattern = folder + u"*";
  WIN32_FIND_DATAW record;
  const HANDLE listing = FindFirstFileW(Wide(pattern.c_str()), &record);
  if (listing == INVALID_HANDLE_VALUE) return GetLastError();
  do {
    if ((record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      names.emplace_back(reinterpret_cast<const char16_t*>(record.cFileName));
    }
  } while (FindNextFileW(listing, &record));
  const ErrorCode error = GetLastError();
  FindClose(listing);
  return error == ERROR_NO_MORE_FILES ? 0 : error;
}

ErrorCode Win32OpenLineFile(const std::u16string& path, bool existing,
                            std::unique_ptr<LineFile>& file) {
  const HANDLE handle = CreateFileW(Wide(path.c_str()), FILE_APPEND_DATA, FILE_SHARE_READ,
                                    nullptr, existing ? OPEN_EXISTING : CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const ErrorCode error = GetLastError();
    return error == ERROR_FILE_EXISTS ? ERROR_ALREADY_EXISTS : error;
  }
  file = std::make_unique<Win32LineFile>(handle);
  return 0;
}

}  // namespace platform
