// The platform on Windows: the Win32 file services, wide functions only;
// the process's side of it (paths, output, stops, the command line).
// Directories and trees are in win32_directory.cpp and win32_tree.cpp.

#include <atomic>
#include <string>
#include <vector>

#include "text/utf8.h"
#include "platform/win32_api.h"

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
    ReserveLine(kLineReserve);
  }

  // A line feed inside a line gains a carriage return.
  void ReserveLine(size_t units) override {
    units_.reserve(2 * units + 2);
    bytes_.reserve(4 * units + 2);
  }

  const Traits& traits() const override {
    static const Traits traits = {
        u"\\\\?\\",            // longPathPrefix
        u"\\\\?\\UNC\\",       // longUncPrefix
        u'\\',                 // separator
        u"\\/",                // separators
        ERROR_ALREADY_EXISTS,  // targetExists
        ERROR_INVALID_NAME,    // invalidName
        ERROR_FILE_NOT_FOUND,  // missing
        ERROR_FILE_INVALID,    // changedDirectory
        false,                 // namesAreBytes
        false,                 // sortListing: the system lists in its own order
        ERROR_NO_DATA,         // closedPipe: "The pipe is being closed."
        1,                     // closedPipeStatus
    };
    return traits;
  }

  ErrorCode AbsolutePath(const char16_t* path, uint32_t room, char16_t* destination,
                         uint32_t& length) override {
    // An empty argument never means the current directory.
    if (path[0] == u'\0') return ERROR_INVALID_NAME;
    length = GetFullPathNameW(Wide(path), room, Wide(destination), nullptr);
    return length == 0 ? GetLastError() : 0;
  }

  ErrorCode LongForm(char16_t* buffer, uint32_t room, uint32_t& length) override {
    length = GetLongPathNameW(Wide(buffer), Wide(buffer), room);
    if (length == 0) return GetLastError();
    // Some implementations (Wine) pass paths that begin with two
    // backslashes through unchecked; the path must exist all the same.
    if (length < room && GetFileAttributesW(Wide(buffer)) == INVALID_FILE_ATTRIBUTES) {
      return GetLastError();
    }
    return 0;
  }

  ErrorCode OpenDirectory(const char16_t* path, std::unique_ptr<Directory>& directory) override {
    return OpenWin32Directory(path, directory);
  }

  ErrorCode OpenTree(const char16_t* path, std::unique_ptr<Tree>& tree) override {
    return OpenWin32Tree(path, tree);
  }

  Kind KindOf(const char16_t* path) override {
    const DWORD attributes = GetFileAttributesW(Wide(path));
    if (attributes == INVALID_FILE_ATTRIBUTES) return Kind::kNothing;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? Kind::kDirectory : Kind::kOther;
  }

  ErrorCode ReadFile(const char16_t* path, const Pieces& take) override {
    Handle opened;
    HANDLE file = GetStdHandle(STD_INPUT_HANDLE);
    if (path == nullptr && (file == nullptr || file == INVALID_HANDLE_VALUE)) {
      return ERROR_INVALID_HANDLE;
    }
    if (path != nullptr) {
      opened.Reset(CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!opened.valid()) return GetLastError();
      file = opened.get();
    }
    char piece[64 * 1024];
    for (;;) {
      DWORD count = 0;
      if (!::ReadFile(file, piece, sizeof piece, &count, nullptr)) {
        const ErrorCode error = GetLastError();
        return error == ERROR_BROKEN_PIPE ? 0 : error;  // a pipe's writer is done
      }
      if (count == 0 || take(std::string_view(piece, count)) == Go::kStop) return 0;
    }
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
    text::EncodeName(units_, bytes_);
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

  ErrorCode JournalFolder(std::u16string& folder) override { return Win32JournalFolder(folder); }

  ErrorCode FilesIn(const std::u16string& folder, std::vector<std::u16string>& names) override {
    return Win32FilesIn(folder, names);
  }

  ErrorCode OpenLineFile(const std::u16string& path, bool existing,
                         std::unique_ptr<LineFile>& file) override {
    return Win32OpenLineFile(path, existing, file);
  }

  ErrorCode RemoveFile(const std::u16string& path) override {
    return LastErrorUnless(DeleteFileW(Wide(path.c_str())));
  }

  bool ShowsProgress() const override { return errIsConsole_; }

  void WriteProgress(std::u16string_view text) override {
    DWORD written = 0;
    WriteConsoleW(err_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
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
