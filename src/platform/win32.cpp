// The platform on Windows: the Win32 file services, wide functions only.
// This is the one file that includes <windows.h>.

#include <windows.h>

#include <string>
#include <vector>

#include "platform/platform.h"

// The wide console start-up's argument splitting, from the C run-time library.
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

class Win32Directory final : public Directory {
 public:
  Win32Directory(HANDLE handle, const WIN32_FIND_DATAW& first)
      : handle_(handle), record_(first) {}
  ~Win32Directory() override { FindClose(handle_); }

  bool Next(Entry& entry) override {
    if (!first_ && !FindNextFileW(handle_, &record_)) return false;
    first_ = false;
    entry.name = reinterpret_cast<const char16_t*>(record_.cFileName);
    entry.isDirectory = (record_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return true;
  }

  bool Rename(const char16_t* oldPath, const char16_t* newPath,
              size_t /*nameStart*/) override {
    // MoveFileW never replaces an existing entry.
    if (MoveFileW(Wide(oldPath), Wide(newPath))) return true;
    if (GetLastError() == ERROR_FILE_EXISTS) SetLastError(ERROR_ALREADY_EXISTS);
    return false;
  }

 private:
  HANDLE handle_;
  WIN32_FIND_DATAW record_;
  bool first_ = true;
};

bool IsConsole(HANDLE handle) {
  DWORD mode;
  return GetConsoleMode(handle, &mode) != 0;
}

class Win32Platform final : public Platform {
 public:
  Win32Platform()
      : out_(GetStdHandle(STD_OUTPUT_HANDLE)),
        err_(GetStdHandle(STD_ERROR_HANDLE)),
        outIsConsole_(IsConsole(out_)),
        errIsConsole_(IsConsole(err_)) {}
  ~Win32Platform() override { Flush(); }

  std::u16string_view LongPathPrefix() const override { return u"\\\\?\\"; }
  char16_t Separator() const override { return u'\\'; }
  ErrorCode TargetExists() const override { return ERROR_ALREADY_EXISTS; }

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
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<Win32Directory>(handle, record);
  }

  ErrorCode LastError() const override { return GetLastError(); }

  void WriteLine(Stream stream, std::u16string_view line) override {
    const DWORD saved = GetLastError();
    if (stream == Stream::Err) Flush();
    const HANDLE handle = stream == Stream::Err ? err_ : out_;
    if (stream == Stream::Err ? errIsConsole_ : outIsConsole_) {
      // A console shows every character when given UTF-16.
      std::u16string text(line);
      text += u"\r\n";
      DWORD written;
      WriteConsoleW(handle, Wide(text.c_str()), static_cast<DWORD>(text.size()),
                    &written, nullptr);
    } else if (stream == Stream::Err) {
      std::string bytes;
      AppendUtf8(line, bytes);
      bytes += "\r\n";
      WriteAll(handle, bytes);
    } else {
      AppendUtf8(line, pending_);
      pending_ += "\r\n";
      if (pending_.size() >= kBufferSize) Flush();
    }
    SetLastError(saved);
  }

  void Flush() override {
    if (pending_.empty()) return;
    WriteAll(out_, pending_);
    pending_.clear();
  }

 private:
  static constexpr size_t kBufferSize = 64 * 1024;

  static void AppendUtf8(std::u16string_view text, std::string& out) {
    if (text.empty()) return;
    const int size = WideCharToMultiByte(
        CP_UTF8, 0, reinterpret_cast<const wchar_t*>(text.data()),
        static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    const size_t end = out.size();
    out.resize(end + size);
    WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<const wchar_t*>(text.data()),
                        static_cast<int>(text.size()), &out[end], size, nullptr,
                        nullptr);
  }

  static void WriteAll(HANDLE handle, std::string_view bytes) {
    while (!bytes.empty()) {
      DWORD written = 0;
      if (!WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()),
                     &written, nullptr) ||
          written == 0) {
        return;
      }
      bytes.remove_prefix(written);
    }
  }

  const HANDLE out_;
  const HANDLE err_;
  const bool outIsConsole_;
  const bool errIsConsole_;
  std::string pending_;  // standard output not yet written
};

}  // namespace

std::unique_ptr<Platform> MakeSystemPlatform() {
  return std::make_unique<Win32Platform>();
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
