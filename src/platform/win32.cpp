// The platform on Windows: the Win32 file services, wide functions only.
// This is the one file that includes <windows.h>.

#include <windows.h>

#include <atomic>
#include <deque>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/utf8.h"

// The wide console start-up's argument splitting, from the C run-time library.
// Used rather than CommandLineToArgvW (shell32), whose rules for quotes and
// backslashes differ from the run-time's in corner cases (the program name,
// "" inside quotes): this way the arguments are exactly those a wmain built
// with this run-time receives, and the program needs no DLL beyond kernel32
// and msvcrt.
struct WideStartupInfo {
  int newMode;
};
extern "C" int __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** env,
                              int expandWildcards, WideStartupInfo* info);

namespace platform {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t expected");

const wchar_t* Wide(const char16_t* text) {
  return reinterpret_cast<const wchar_t*>(text);
}
wchar_t* Wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }

ErrorCode LastErrorUnless(bool succeeded) {
  return succeeded ? 0 : GetLastError();
}

// Which file is open as `handle`: its volume and its number there.
struct FileIdentity {
  bool known = false;
  ULONGLONG volume = 0;
  BYTE id[16] = {};

  explicit FileIdentity(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
        GetFileType(handle) != FILE_TYPE_DISK) {
      return;
    }
    // FILE_ID_INFO (Windows 8 on); Wine answers it for an inherited handle
    // too, with the volume left 0, where the older call fails.
    struct {
      ULONGLONG volume;
      BYTE id[16];
    } idInfo;
    constexpr auto kFileIdInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);
    if (GetFileInformationByHandleEx(handle, kFileIdInfo, &idInfo, sizeof idInfo)) {
      known = true;
      volume = idInfo.volume;
      std::memcpy(id, idInfo.id, sizeof id);
      return;
    }
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileInformationByHandle(handle, &information)) {
      known = true;
      volume = information.dwVolumeSerialNumber;
      std::memcpy(id, &information.nFileIndexLow, sizeof(DWORD));
      std::memcpy(id + sizeof(DWORD), &information.nFileIndexHigh, sizeof(DWORD));
    }
  }
  bool operator==(const FileIdentity& other) const {
    return known && other.known && std::memcmp(id, other.id, sizeof id) == 0 &&
           (volume == other.volume || volume == 0 || other.volume == 0);
  }
};

// The files standard output and standard error are written to, where they
// are disk files: an entry that is one of them is never renamed.
class OutputFiles {
 public:
  OutputFiles()
      : out_(GetStdHandle(STD_OUTPUT_HANDLE)), err_(GetStdHandle(STD_ERROR_HANDLE)) {}

  // True when the entry `path` is one of them. Only entries of the same size
  // as one of them are opened to compare.
  bool Holds(const char16_t* path, const WIN32_FIND_DATAW& record) const {
    if (!Sized(out_, record) && !Sized(err_, record)) return false;
    const HANDLE handle = CreateFileW(
        reinterpret_cast<const wchar_t*>(path), FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const FileIdentity entry(handle);
    CloseHandle(handle);
    return entry == out_.identity || entry == err_.identity;
  }

 private:
  struct Stream {
    explicit Stream(HANDLE file) : handle(file), identity(file) {}
    HANDLE handle;
    FileIdentity identity;
  };

  static bool Sized(const Stream& stream, const WIN32_FIND_DATAW& record) {
    LARGE_INTEGER size;
    return stream.identity.known && GetFileSizeEx(stream.handle, &size) != 0 &&
           static_cast<DWORD>(size.QuadPart >> 32) == record.nFileSizeHigh &&
           static_cast<DWORD>(size.QuadPart) == record.nFileSizeLow;
  }

  Stream out_, err_;
};

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

  bool Next(Entry& entry) override {
    if (handle_ == INVALID_HANDLE_VALUE) return false;
    if (!first_ && !FindNextFileW(handle_, &record_)) {
      const DWORD error = GetLastError();
      if (error != ERROR_NO_MORE_FILES) error_ = error;
      return false;
    }
    first_ = false;
    entry.name = reinterpret_cast<const char16_t*>(record_.cFileName);
    entry.isDirectory = (record_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    path_.resize(nameStart_);
    path_ += entry.name;
    entry.isOutput = !entry.isDirectory && outputs_.Holds(path_.c_str(), record_);
    return true;
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

  ErrorCode ListingError() const override { return error_; }

  // Nothing short of renaming tells whether a rename would be refused.
  ErrorCode RenameBarrier() override { return 0; }
  ErrorCode RenameRefusal(const char16_t*, size_t) override { return 0; }

 private:
  HANDLE handle_;
  WIN32_FIND_DATAW record_;
  bool first_ = true;
  ErrorCode error_ = 0;
  std::u16string path_;  // the directory's path, then the entry's name
  const size_t nameStart_;
  const OutputFiles outputs_;
};

// Appends `text` with a carriage return before each line feed in it (lines
// written at once).
void AppendWithLineEnds(std::u16string& out, std::u16string_view text) {
  for (const char16_t unit : text) {
    if (unit == u'\n') out += u'\r';
    out += unit;
  }
}

bool IsConsole(HANDLE handle) {
  DWORD mode;
  return GetConsoleMode(handle, &mode) != 0;
}

std::atomic<bool> stopRequested{false};

// Runs on a thread of its own when the user presses Ctrl+C or Ctrl+Break or
// closes the console. The walk notices the first request between two
// candidates; a second goes on to the system's own handler, which ends the
// program at once.
BOOL WINAPI NoteStop(DWORD event) {
  if (stopRequested.exchange(true)) return FALSE;
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT ||
      event == CTRL_SHUTDOWN_EVENT) {
    // The system ends the process as soon as this handler returns; waiting
    // here lets the walk finish and report its entry, then end the process.
    Sleep(INFINITE);
  }
  return TRUE;
}

class Win32Platform final : public Platform {
 public:
  Win32Platform()
      : out_(GetStdHandle(STD_OUTPUT_HANDLE)),
        err_(GetStdHandle(STD_ERROR_HANDLE)),
        outIsConsole_(IsConsole(out_)),
        errIsConsole_(IsConsole(err_)) {
    static const bool caught = SetConsoleCtrlHandler(NoteStop, TRUE) != 0;
    (void)caught;
    bytes_.reserve(3 * kLineReserve + 2);
    units_.reserve(2 * kLineReserve + 2);
  }

  const Traits& traits() const override {
    static const Traits traits = {
        u"\\\\?\\",            // longPathPrefix
        u"\\\\?\\UNC\\",       // longUncPrefix
        u'\\',                 // separator
        u"\\/",                // separators
        ERROR_ALREADY_EXISTS,  // targetExists
        ERROR_INVALID_NAME,    // invalidName
        false,                 // namesAreBytes
        false,                 // sortListing: the system lists in its own order
    };
    return traits;
  }

  uint32_t AbsolutePath(const char16_t* path, uint32_t room,
                        char16_t* destination) override {
    if (path[0] == u'\0') {
      // An empty argument never means the current directory.
      SetLastError(ERROR_INVALID_NAME);
      return 0;
    }
    return GetFullPathNameW(Wide(path), room, Wide(destination), nullptr);
  }

  uint32_t LongForm(char16_t* buffer, uint32_t room) override {
    const DWORD result = GetLongPathNameW(Wide(buffer), Wide(buffer), room);
    // Some implementations (Wine) pass paths that begin with two
    // backslashes through unchecked; the path must exist all the same.
    if (result != 0 && result < room &&
        GetFileAttributesW(Wide(buffer)) == INVALID_FILE_ATTRIBUTES) {
      return 0;
    }
    return result;
  }

  std::unique_ptr<Directory> OpenDirectory(const char16_t* pattern) override {
    WIN32_FIND_DATAW record;
    const HANDLE handle = FindFirstFileW(Wide(pattern), &record);
    std::u16string directory(pattern);
    directory.pop_back();  // the "*"
    if (handle != INVALID_HANDLE_VALUE) {
      return std::make_unique<Win32Directory>(handle, record, directory);
    }
    // A drive root lists no "." or "..": an empty one finds nothing at all,
    // and is an empty directory, not a failure.
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) {
      const DWORD attributes = GetFileAttributesW(Wide(directory.c_str()));
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return std::make_unique<Win32Directory>();
      }
    }
    SetLastError(error);
    return nullptr;
  }

  ErrorCode LastError() const override { return GetLastError(); }

  ErrorCode ListTree(const char16_t* path, std::vector<TreeEntry>& entries,
                     std::u16string& names) override {
    const OutputFiles outputs;
    // Breadth first, one listing open at a time.
    struct Pending {
      uint32_t index;
      std::u16string path;  // with its separator
    };
    std::deque<Pending> pending;
    pending.push_back({TreeEntry::kTop, path});
    std::u16string pattern, full;
    while (!pending.empty()) {
      const Pending directory = std::move(pending.front());
      pending.pop_front();
      pattern = directory.path + u"*";
      WIN32_FIND_DATAW record;
      const HANDLE handle = FindFirstFileW(Wide(pattern.c_str()), &record);
      if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) continue;  // an empty drive root
        return error;
      }
      do {
        const std::u16string_view name(reinterpret_cast<const char16_t*>(record.cFileName));
        if (name == u"." || name == u"..") continue;
        // A symbolic link, junction or mount point is an entry, not a part
        // of the tree.
        const bool isDirectory =
            (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
            (record.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
        full = directory.path;
        full += name;
        const uint32_t self = static_cast<uint32_t>(entries.size());
        entries.push_back({directory.index, static_cast<uint32_t>(names.size()),
                           static_cast<uint32_t>(name.size()), isDirectory,
                           !isDirectory && outputs.Holds(full.c_str(), record)});
        names += name;
        if (isDirectory) pending.push_back({self, full + u"\\"});
      } while (FindNextFileW(handle, &record));
      const DWORD error = GetLastError();
      FindClose(handle);
      if (error != ERROR_NO_MORE_FILES) return error;
    }
    return 0;
  }

  Kind KindOf(const char16_t* path) override {
    const DWORD attributes = GetFileAttributesW(Wide(path));
    if (attributes == INVALID_FILE_ATTRIBUTES) return Kind::kNothing;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? Kind::kDirectory : Kind::kOther;
  }

  ErrorCode ReadFile(const char16_t* path, std::string& bytes) override {
    HANDLE file = GetStdHandle(STD_INPUT_HANDLE);
    if (path == nullptr && (file == nullptr || file == INVALID_HANDLE_VALUE)) {
      return ERROR_INVALID_HANDLE;
    }
    if (path != nullptr) {
      file = CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file == INVALID_HANDLE_VALUE) return GetLastError();
    }
    bytes.clear();
    ErrorCode error = 0;
    char chunk[64 * 1024];
    for (;;) {
      DWORD count = 0;
      if (!::ReadFile(file, chunk, sizeof chunk, &count, nullptr)) {
        error = GetLastError();
        if (error == ERROR_BROKEN_PIPE) error = 0;  // the writer is done
        break;
      }
      if (count == 0) break;
      bytes.append(chunk, count);
    }
    if (path != nullptr) CloseHandle(file);
    return error;
  }

  ErrorCode WriteLine(Stream stream, std::u16string_view line) override {
    const bool toErr = stream == Stream::Err;
    const HANDLE handle = toErr ? err_ : out_;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return ERROR_INVALID_HANDLE;
    if (toErr ? errIsConsole_ : outIsConsole_) {
      // A console shows every character when given UTF-16.
      units_.clear();
      AppendWithLineEnds(units_, line);
      units_ += u"\r\n";
      DWORD written = 0;
      return LastErrorUnless(WriteConsoleW(handle, Wide(units_.c_str()),
                                           static_cast<DWORD>(units_.size()),
                                           &written, nullptr));
    }
    units_.clear();
    AppendWithLineEnds(units_, line);
    EncodeName(units_, bytes_);
    bytes_ += "\r\n";
    std::string_view rest = bytes_;
    while (!rest.empty()) {
      DWORD written = 0;
      if (!WriteFile(handle, rest.data(), static_cast<DWORD>(rest.size()), &written,
                     nullptr)) {
        return GetLastError();
      }
      if (written == 0) return ERROR_WRITE_FAULT;
      rest.remove_prefix(written);
    }
    return 0;
  }

  bool Interrupted() const override { return stopRequested; }

  int ExitInterrupted() override {
    ExitProcess(0xC000013A);  // STATUS_CONTROL_C_EXIT, as after Ctrl+C
  }

 private:
  const HANDLE out_;
  const HANDLE err_;
  const bool outIsConsole_;
  const bool errIsConsole_;
  std::string bytes_;     // the line being written as UTF-8, its room reserved
  std::u16string units_;  // the line being written to a console
};

}  // namespace

std::unique_ptr<Platform> MakeSystemPlatform() {
  return std::make_unique<Win32Platform>();
}

void WriteEmergencyLine(const char* line) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD written = 0;
  if (WriteFile(out, line, static_cast<DWORD>(lstrlenA(line)), &written, nullptr)) {
    WriteFile(out, "\r\n", 2, &written, nullptr);
  }
}

std::vector<std::u16string> CommandLine(int /*argc*/, char** /*argv*/) {
  int argc = 0;
  wchar_t** argv = nullptr;
  wchar_t** env = nullptr;
  WideStartupInfo info = {0};
  std::vector<std::u16string> args;
  if (__wgetmainargs(&argc, &argv, &env, 0, &info) < 0) return args;
  for (int i = 0; i < argc; ++i) {
    args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
  }
  return args;
}

}  // namespace platform
