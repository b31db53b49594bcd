// What the run driver and the path resolver need from the operating system.
//
// One implementation per system (posix.cpp, win32.cpp) and an in-memory fake
// for the tests. Paths and names are UTF-16 on every system; error codes are
// the system's own (errno values on POSIX, Win32 codes on Windows).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

using ErrorCode = uint32_t;

// One entry of a directory listing. `name` stays valid until the next call
// to Directory::Next.
struct Entry {
  std::u16string_view name;
  bool isDirectory = false;
};

// An open listing of one directory, through which its entries are renamed.
class Directory {
 public:
  virtual ~Directory() = default;

  // Fills `entry` with the next entry; false when there are no more (a
  // failing read ends the listing the same way).
  virtual bool Next(Entry& entry) = 0;

  // Renames the entry `oldPath` to `newPath`, never replacing an entry that
  // already holds the new name: that failure leaves TargetExists() as the last
  // error. Both are full paths of entries of this directory whose names begin
  // at `nameStart`. False on failure, with the reason left for LastError().
  virtual bool Rename(const char16_t* oldPath, const char16_t* newPath,
                      size_t nameStart) = 0;
};

enum class Stream { Out, Err };

class Platform {
 public:
  virtual ~Platform() = default;

  // Written in front of an absolute path so that the system takes it as it
  // stands, without a length limit ("\\?\" on Windows, empty on POSIX).
  virtual std::u16string_view LongPathPrefix() const = 0;
  // Separates a directory path from an entry name.
  virtual char16_t Separator() const = 0;
  // The error code of a rename whose new name is taken.
  virtual ErrorCode TargetExists() const = 0;

  // Both path services follow one convention: when the result fits in `room`
  // code units (terminator included) they write it and return its length
  // without the terminator; when it does not fit they return the room needed,
  // terminator included; on failure they return 0 with the reason left for
  // LastError().
  //
  // Makes `path` absolute against the current directory.
  virtual uint32_t AbsolutePath(const char16_t* path, uint32_t room,
                                char16_t* destination) = 0;
  // Rewrites the existing path in `buffer` in place in its long form (every
  // short 8.3 component expanded); fails when the path does not exist.
  virtual uint32_t LongForm(char16_t* buffer, uint32_t room) = 0;

  // Opens the listing of the directory named by `pattern`: the directory's
  // path, the separator and "*". Null on failure, with the reason left for
  // LastError().
  virtual std::unique_ptr<Directory> OpenDirectory(const char16_t* pattern) = 0;

  // The error code of the last failed call on this platform or its listings.
  virtual ErrorCode LastError() const = 0;

  // Writes `line` and a line break to the stream, names exactly as they are.
  virtual void WriteLine(Stream stream, std::u16string_view line) = 0;
  // Makes everything written so far reach its destination.
  virtual void Flush() = 0;
};

// The platform of the system this program was built for.
std::unique_ptr<Platform> MakeSystemPlatform();

// The command-line arguments as UTF-16, program name first. On Windows they
// come from the wide command line (wildcards are not expanded) and `argv` is
// not used.
std::vector<std::u16string> CommandLine(int argc, char** argv);

}  // namespace platform
