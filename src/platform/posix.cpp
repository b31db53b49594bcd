// The platform on POSIX systems (Linux).
//
// Names are byte strings, converted losslessly to and from UTF-16. Paths of
// any length work: a path longer than PATH_MAX is opened piece by piece, and
// the listed directory's entries are renamed relative to its descriptor.

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/utf8.h"

namespace platform {
namespace {

// Restores errno on scope exit, so that cleanup keeps the reason of a failure.
class KeepErrno {
 public:
  KeepErrno() : saved_(errno) {}
  ~KeepErrno() { errno = saved_; }

 private:
  int saved_;
};

class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  Descriptor(Descriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Descriptor& operator=(Descriptor&& other) noexcept {
    Reset(other.fd_);
    other.fd_ = -1;
    return *this;
  }
  ~Descriptor() { Reset(-1); }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

 private:
  void Reset(int fd) {
    if (fd_ >= 0) {
      KeepErrno keep;
      close(fd_);
    }
    fd_ = fd;
  }
  int fd_;
};

// Opens `path` with `flags`, also when it is longer than PATH_MAX: then it is
// opened in pieces, each relative to the directory before it, so the kernel
// resolves every component (".." and symbolic links included) as it would
// for the whole path.
Descriptor OpenPath(const std::string& path, int flags) {
  flags |= O_CLOEXEC;
  if (path.size() < PATH_MAX) return Descriptor(open(path.c_str(), flags));

  Descriptor base;
  size_t start = 0;
  while (path.size() - start >= PATH_MAX) {
    const size_t cut = path.rfind('/', start + PATH_MAX - 1);
    if (cut == std::string::npos || cut < start) {
      errno = ENAMETOOLONG;
      return Descriptor();
    }
    // The piece up to the slash; an empty one is the root at the start and
    // the same directory anywhere else.
    std::string piece = path.substr(start, cut - start);
    if (piece.empty()) piece = start == 0 ? "/" : ".";
    const int at = base.valid() ? base.get() : AT_FDCWD;
    base = Descriptor(openat(at, piece.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!base.valid()) return base;
    start = cut + 1;
  }
  const std::string rest = start < path.size() ? path.substr(start) : ".";
  return Descriptor(openat(base.get(), rest.c_str(), flags));
}

bool ToBytes(std::u16string_view text, std::string& out) {
  if (EncodeName(text, out)) return true;
  errno = EILSEQ;
  return false;
}

// The listing of one directory, read whole when it is opened: renaming while
// reading would make the file system deliver renamed entries again.
class PosixDirectory final : public Directory {
 public:
  static std::unique_ptr<PosixDirectory> Open(const std::string& path) {
    Descriptor fd = OpenPath(path, O_RDONLY | O_DIRECTORY);
    if (!fd.valid()) return nullptr;
    std::unique_ptr<PosixDirectory> directory(new PosixDirectory(std::move(fd)));
    if (!directory->ReadAll()) return nullptr;
    return directory;
  }

  bool Next(Entry& entry) override {
    if (next_ >= entries_.size()) return false;
    const Listed& listed = entries_[next_++];
    DecodeName(std::string_view(names_).substr(listed.offset, listed.length),
               name_);
    entry.name = name_;
    entry.isDirectory = listed.isDirectory;
    return true;
  }

  bool Rename(const char16_t* oldPath, const char16_t* newPath,
              size_t nameStart) override {
    if (!ToBytes(oldPath + nameStart, oldName_) ||
        !ToBytes(newPath + nameStart, newName_)) {
      return false;
    }
    const int fd = fd_.get();
    if (renameat2(fd, oldName_.c_str(), fd, newName_.c_str(),
                  RENAME_NOREPLACE) == 0) {
      return true;
    }
    if (errno != EINVAL && errno != ENOSYS) return false;
    return RenameWithoutFlag();
  }

 private:
  struct Listed {
    size_t offset;
    uint32_t length;
    bool isDirectory;
  };

  explicit PosixDirectory(Descriptor fd) : fd_(std::move(fd)) {}

  bool ReadAll() {
    const int copy = fcntl(fd_.get(), F_DUPFD_CLOEXEC, 0);
    if (copy < 0) return false;
    DIR* stream = fdopendir(copy);
    if (stream == nullptr) {
      KeepErrno keep;
      close(copy);
      return false;
    }
    // The end and a failed read both end the listing.
    while (const dirent* record = readdir(stream)) {
      const uint32_t length = static_cast<uint32_t>(std::strlen(record->d_name));
      entries_.push_back({names_.size(), length, IsDirectory(*record)});
      names_.append(record->d_name, length);
    }
    closedir(stream);
    return true;
  }

  bool IsDirectory(const dirent& record) const {
    if (record.d_type != DT_UNKNOWN) return record.d_type == DT_DIR;
    struct stat status;
    return fstatat(fd_.get(), record.d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISDIR(status.st_mode);
  }

  // For file systems that refuse RENAME_NOREPLACE. A file gets a second link
  // under the new name, which fails if the name is taken, and then loses the
  // old one. A directory cannot be linked: its new name is checked first,
  // which leaves a short window for a race.
  bool RenameWithoutFlag() {
    const int fd = fd_.get();
    struct stat status;
    if (fstatat(fd, oldName_.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
      return false;
    }
    if (S_ISDIR(status.st_mode)) {
      if (fstatat(fd, newName_.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return false;
      }
      if (errno != ENOENT) return false;
      return renameat(fd, oldName_.c_str(), fd, newName_.c_str()) == 0;
    }
    if (linkat(fd, oldName_.c_str(), fd, newName_.c_str(), 0) != 0) return false;
    if (unlinkat(fd, oldName_.c_str(), 0) == 0) return true;
    KeepErrno keep;
    unlinkat(fd, newName_.c_str(), 0);
    return false;
  }

  Descriptor fd_;
  std::string names_;  // every name of the listing, end to end
  std::vector<Listed> entries_;
  size_t next_ = 0;
  std::u16string name_;
  std::string oldName_;
  std::string newName_;
};

class PosixPlatform final : public Platform {
 public:
  PosixPlatform() : interactive_(isatty(STDOUT_FILENO) == 1) {}
  ~PosixPlatform() override { Flush(); }

  std::u16string_view LongPathPrefix() const override { return {}; }
  char16_t Separator() const override { return u'/'; }
  ErrorCode TargetExists() const override { return EEXIST; }

  uint32_t AbsolutePath(const char16_t* path, uint32_t room,
                        char16_t* destination) override {
    std::u16string absolute;
    if (path[0] == u'\0') {
      errno = ENOENT;  // an empty argument never means the current directory
      return 0;
    }
    if (path[0] != u'/') {
      std::string bytes;
      if (!CurrentDirectory(bytes)) return 0;
      absolute = DecodeName(bytes);
      if (absolute.back() != u'/') absolute += u'/';
    }
    absolute += path;
    return Deliver(absolute, room, destination);
  }

  uint32_t LongForm(char16_t* buffer, uint32_t room) override {
    // POSIX has no short names: the long form is the path itself, once it
    // is known to exist.
    std::string bytes;
    if (!ToBytes(buffer, bytes)) return 0;
    if (!OpenPath(bytes, O_PATH).valid()) return 0;
    const std::u16string_view path(buffer);
    return path.size() < room ? static_cast<uint32_t>(path.size())
                              : static_cast<uint32_t>(path.size() + 1);
  }

  std::unique_ptr<Directory> OpenDirectory(const char16_t* pattern) override {
    // The pattern's "*" is a Windows wildcard; the path up to it, separator
    // included, names the directory.
    std::u16string_view directory(pattern);
    if (!directory.empty() && directory.back() == u'*') directory.remove_suffix(1);
    std::string bytes;
    if (!ToBytes(directory, bytes)) return nullptr;
    return PosixDirectory::Open(bytes);
  }

  ErrorCode LastError() const override { return static_cast<ErrorCode>(errno); }

  void WriteLine(Stream stream, std::u16string_view line) override {
    std::string bytes;
    EncodeName(line, bytes);  // the names in it come from byte strings
    bytes += '\n';
    if (stream == Stream::Err) {
      Flush();
      WriteAll(STDERR_FILENO, bytes);
      return;
    }
    pending_ += bytes;
    if (interactive_ || pending_.size() >= kBufferSize) Flush();
  }

  void Flush() override {
    WriteAll(STDOUT_FILENO, pending_);
    pending_.clear();
  }

 private:
  static constexpr size_t kBufferSize = 64 * 1024;

  static bool CurrentDirectory(std::string& out) {
    char* path = getcwd(nullptr, 0);
    if (path == nullptr) return false;
    out = path;
    free(path);
    return true;
  }

  static uint32_t Deliver(const std::u16string& text, uint32_t room,
                          char16_t* destination) {
    if (text.size() >= room) return static_cast<uint32_t>(text.size() + 1);
    std::memcpy(destination, text.c_str(), sizeof(char16_t) * (text.size() + 1));
    return static_cast<uint32_t>(text.size());
  }

  static void WriteAll(int fd, std::string_view bytes) {
    KeepErrno keep;
    while (!bytes.empty()) {
      const ssize_t written = write(fd, bytes.data(), bytes.size());
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return;  // nowhere left to report it
      bytes.remove_prefix(static_cast<size_t>(written));
    }
  }

  const bool interactive_;
  std::string pending_;
};

}  // namespace

std::unique_ptr<Platform> MakeSystemPlatform() {
  return std::make_unique<PosixPlatform>();
}

std::vector<std::u16string> CommandLine(int argc, char** argv) {
  std::vector<std::u16string> args;
  for (int i = 0; i < argc; ++i) args.push_back(DecodeName(argv[i]));
  return args;
}

}  // namespace platform
