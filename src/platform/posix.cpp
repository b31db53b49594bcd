// The platform on POSIX systems (Linux).
//
// Names are byte strings, converted losslessly to and from UTF-16. Paths of
// any length work: a path longer than PATH_MAX is opened piece by piece, and
// the listed directory's entries are renamed relative to its descriptor.
// Every report line is written at once, and the user's requests to stop
// (SIGINT, SIGTERM, SIGHUP) are only noted, for the run to stop between two
// entries.

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/fs.h>
#include <signal.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
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

ErrorCode Errno() { return static_cast<ErrorCode>(errno); }


// The files standard output and standard error are written to, where they
// are files: an entry that is one of them is never renamed.
struct OutputFiles {
  struct stat out = {}, err = {};
  bool outIsFile = false, errIsFile = false;

  OutputFiles() {
    outIsFile = fstat(STDOUT_FILENO, &out) == 0 && S_ISREG(out.st_mode);
    errIsFile = fstat(STDERR_FILENO, &err) == 0 && S_ISREG(err.st_mode);
  }
  bool Holds(dev_t device, ino_t inode) const {
    return (outIsFile && out.st_dev == device && out.st_ino == inode) ||
           (errIsFile && err.st_dev == device && err.st_ino == inode);
  }
};

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
    entry.isOutput = listed.isOutput;
    return true;
  }

  ErrorCode Rename(const char16_t* oldPath, const char16_t* newPath,
                   size_t nameStart) override {
    EncodeName(oldPath + nameStart, oldName_);
    EncodeName(newPath + nameStart, newName_);
    const int fd = fd_.get();
    if (!noReplaceRefused_) {
      if (renameat2(fd, oldName_.c_str(), fd, newName_.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
      }
      if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return Errno();
      noReplaceRefused_ = true;  // the file system does not know the flag
    }
    struct stat entry;
    if (fstatat(fd, oldName_.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) return Errno();
    const bool isDirectory = S_ISDIR(entry.st_mode);
    if (!isDirectory && !linkRefused_ && LinkCanBeTakenBack(entry)) {
      if (linkat(fd, oldName_.c_str(), fd, newName_.c_str(), 0) == 0) return DropOldLink();
      if (errno == EEXIST || errno == ENOENT) return Errno();
      linkRefused_ = true;  // no hard links here (FAT, exFAT, many FUSE mounts)
    }
    return RenameOntoPlaceholder(isDirectory);
  }

  ErrorCode ListingError() const override {
    return next_ >= entries_.size() ? listingError_ : 0;
  }

  ErrorCode LookUp(const char16_t* path, size_t nameStart) override {
    EncodeName(path + nameStart, newName_);
    struct stat status;
    if (fstatat(fd_.get(), newName_.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
      return EEXIST;
    }
    return errno == ENOENT ? 0 : Errno();
  }

  ErrorCode RenameBarrier() override {
    // A rename needs write and search permission on the directory (EACCES)
    // and a writable file system (EROFS), which the access check answers,
    // and a directory that may change (EPERM when immutable or append-only).
    if (faccessat(fd_.get(), ".", W_OK | X_OK, AT_EACCESS) != 0) return Errno();
    return Unchangeable(fd_.get()) ? EPERM : 0;
  }

  ErrorCode RenameRefusal(const char16_t* path, size_t nameStart) override {
    EncodeName(path + nameStart, oldName_);
    struct statx entry;
    if (statx(fd_.get(), oldName_.c_str(), AT_SYMLINK_NOFOLLOW, STATX_MODE | STATX_UID,
              &entry) != 0) {
      return Errno();
    }
    // The directory that holds it must let this user change it; in a
    // sticky one only the entry's owner, the directory's owner or a
    // privileged user may move it.
    const struct stat& directory = ParentStatus(oldName_);
    if (parentRefusal_ != 0) return parentRefusal_;
    if ((directory.st_mode & S_ISVTX) != 0 && user_ != 0 && entry.stx_uid != user_ &&
        directory.st_uid != user_) {
      return EPERM;
    }
    // An immutable or append-only entry cannot be moved by anyone.
    constexpr uint64_t kFixed = STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND;
    return (entry.stx_attributes & entry.stx_attributes_mask & kFixed) != 0 ? EPERM : 0;
  }

 private:
  struct Listed {
    size_t offset;
    uint32_t length;
    bool isDirectory;
    bool isOutput;
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
    if (fstat(fd_.get(), &directoryStatus_) != 0) {
      KeepErrno keep;
      closedir(stream);
      return false;
    }
    const OutputFiles outputs;
    // A null record is the end when errno is still 0, else a failed read.
    for (;;) {
      errno = 0;
      const dirent* record = readdir(stream);
      if (record == nullptr) {
        listingError_ = Errno();
        break;
      }
      const uint32_t length = static_cast<uint32_t>(std::strlen(record->d_name));
      entries_.push_back({names_.size(), length, IsDirectory(*record),
                          outputs.Holds(directoryStatus_.st_dev, record->d_ino)});
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

  // True when the file open as `fd` is immutable or append-only.
  static bool Unchangeable(int fd) {
    int flags = 0;
    return ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
           (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL)) != 0;
  }

  // In a sticky directory (/tmp) only the owner of an entry or of the
  // directory may remove a name: where neither is this user, a second link
  // could be made and then neither name removed, so it is never made.
  bool LinkCanBeTakenBack(const struct stat& entry) {
    const struct stat& directory = ParentStatus(oldName_);
    if ((directory.st_mode & S_ISVTX) == 0) return true;
    return entry.st_uid == user_ || directory.st_uid == user_;
  }

  // The status of the directory that holds `name`: this one, or for a name
  // in a subdirectory ("sub/name"), that one (as this one when it cannot be
  // read, which makes no check stricter than the system's own).
  // Also sets parentRefusal_: what a rename there would meet whatever the
  // entry (see RenameBarrier).
  const struct stat& ParentStatus(const std::string& name) {
    const size_t slash = name.rfind('/');
    const std::string_view parent =
        slash == std::string::npos ? std::string_view(".") : std::string_view(name).substr(0, slash);
    // Entries of one directory come one after another: asked once.
    if (!parentKnown_ || parent != parentName_) {
      parentKnown_ = true;
      parentName_ = parent;
      parentStatus_ = directoryStatus_;
      parentRefusal_ = 0;
      if (slash != std::string::npos) fstatat(fd_.get(), parentName_.c_str(), &parentStatus_, 0);
      if (faccessat(fd_.get(), parentName_.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
        parentRefusal_ = Errno();
      } else {
        struct statx attributes;
        constexpr uint64_t kFixed = STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND;
        if (statx(fd_.get(), parentName_.c_str(), 0, 0, &attributes) == 0 &&
            (attributes.stx_attributes & attributes.stx_attributes_mask & kFixed) != 0) {
          parentRefusal_ = EPERM;
        }
      }
    }
    return parentStatus_;
  }

  // The new name is linked; the old one goes. When it cannot, the new link
  // goes again, and nothing has changed.
  ErrorCode DropOldLink() {
    const int fd = fd_.get();
    if (unlinkat(fd, oldName_.c_str(), 0) == 0) return 0;
    const ErrorCode error = Errno();
    unlinkat(fd, newName_.c_str(), 0);
    return error;
  }

  // For file systems that can neither rename without replacing nor link: the
  // new name is taken first by an empty placeholder of the entry's kind,
  // created only if the name is free, and the entry is then renamed onto it,
  // replacing nothing but what this run just made. If that rename fails, the
  // placeholder goes again, as long as it is still the one made here.
  ErrorCode RenameOntoPlaceholder(bool isDirectory) {
    const int fd = fd_.get();
    struct stat placeholder;
    if (isDirectory) {
      if (mkdirat(fd, newName_.c_str(), 0700) != 0) return Errno();
      if (fstatat(fd, newName_.c_str(), &placeholder, AT_SYMLINK_NOFOLLOW) != 0) {
        return Errno();
      }
    } else {
      const Descriptor file(openat(fd, newName_.c_str(),
                                   O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC,
                                   0600));
      if (!file.valid()) return Errno();
      if (fstat(file.get(), &placeholder) != 0) return Errno();
    }
    if (renameat(fd, oldName_.c_str(), fd, newName_.c_str()) == 0) return 0;
    const ErrorCode error = Errno();
    struct stat now;
    if (fstatat(fd, newName_.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
        now.st_dev == placeholder.st_dev && now.st_ino == placeholder.st_ino) {
      unlinkat(fd, newName_.c_str(), isDirectory ? AT_REMOVEDIR : 0);
    }
    return error;
  }

  Descriptor fd_;
  struct stat directoryStatus_ = {};
  // The directory that holds the entry in hand ("." for this one).
  bool parentKnown_ = false;
  std::string parentName_;
  struct stat parentStatus_ = {};
  ErrorCode parentRefusal_ = 0;
  const uid_t user_ = geteuid();
  // What this file system was found not to do, so that it is asked once.
  bool noReplaceRefused_ = false;
  bool linkRefused_ = false;
  ErrorCode listingError_ = 0;  // why the listing ended early, or 0
  std::string names_;  // every name of the listing, end to end
  std::vector<Listed> entries_;
  size_t next_ = 0;
  std::u16string name_;
  std::string oldName_;
  std::string newName_;
};

// The signal that asked the program to stop; 0 until one did.
volatile std::sig_atomic_t stopSignal = 0;

// The first request is noted; a second ends the program at once, by that
// signal's own default action.
void NoteStop(int signal) {
  if (stopSignal == 0) {
    stopSignal = signal;
    return;
  }
  std::signal(signal, SIG_DFL);
  raise(signal);
}

// SIGINT, SIGTERM and SIGHUP only note the request (a signal that was
// ignored when the program started stays ignored, as nohup wants), and a
// closed pipe becomes a write error (EPIPE) instead of the end of the program.
void CatchStops() {
  struct sigaction action = {};
  action.sa_handler = NoteStop;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a read or write that is blocked returns (EINTR), so that
  // a stop is seen at once. The same signal again finds the default action.
  action.sa_flags = SA_RESETHAND;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction previous;
    if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN) {
      sigaction(signal, &action, nullptr);
    }
  }
  std::signal(SIGPIPE, SIG_IGN);
}

// Standard input was closed when the program started.
bool inputClosed = false;

// A closed standard descriptor would be handed to the next file opened, and
// the report would go into that file. A placeholder open for reading keeps
// the number taken, so that writing there fails (EBADF) as it should.
void HoldClosedStandardDescriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      if (fd == STDIN_FILENO) inputClosed = true;
      const int placeholder = open("/dev/null", O_RDONLY);
      if (placeholder >= 0 && placeholder != fd) {
        dup2(placeholder, fd);
        close(placeholder);
      }
    }
  }
}

// A directory of a tree being listed, open, with its subdirectories that
// are still to be listed.
struct TreeLevel {
  Descriptor fd;
  std::vector<uint32_t> subdirectories;
  size_t next = 0;
};

class PosixPlatform final : public Platform {
 public:
  PosixPlatform() {
    static const bool prepared = (HoldClosedStandardDescriptors(), CatchStops(), true);
    (void)prepared;
    bytes_.reserve(3 * kLineReserve + 1);
  }

  const Traits& traits() const override {
    static const Traits traits = {
        u"",     // longPathPrefix
        u"",     // longUncPrefix
        u'/',    // separator
        u"/",    // separators
        EEXIST,  // targetExists
        EINVAL,  // invalidName
        true,    // namesAreBytes
        true,    // sortListing
    };
    return traits;
  }

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
    EncodeName(buffer, bytes);
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
    EncodeName(directory, bytes);
    return PosixDirectory::Open(bytes);
  }

  ErrorCode LastError() const override { return Errno(); }

  ErrorCode ListTree(const char16_t* path, std::vector<TreeEntry>& entries,
                     std::u16string& names) override {
    std::string bytes;
    EncodeName(path, bytes);
    Descriptor top = OpenPath(bytes, O_RDONLY | O_DIRECTORY);
    struct stat status;
    if (!top.valid() || fstat(top.get(), &status) != 0) return Errno();
    const OutputFiles outputs;
    // Depth first, one descriptor a level: each directory is read whole,
    // then its subdirectories are listed in turn.
    std::vector<TreeLevel> levels;
    levels.push_back({std::move(top), {}, 0});
    std::vector<uint32_t> indices;  // of the levels' directories
    indices.push_back(TreeEntry::kTop);
    if (const ErrorCode error = ReadLevel(levels.back(), indices.back(), status.st_dev,
                                          outputs, entries, names)) {
      return error;
    }
    while (!levels.empty()) {
      TreeLevel& level = levels.back();
      if (level.next == level.subdirectories.size()) {
        levels.pop_back();
        indices.pop_back();
        continue;
      }
      const uint32_t index = level.subdirectories[level.next++];
      const TreeEntry& entry = entries[index];
      EncodeName(std::u16string_view(names).substr(entry.nameOffset, entry.nameLength), bytes);
      Descriptor opened(openat(level.fd.get(), bytes.c_str(),
                               O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (!opened.valid()) return Errno();
      levels.push_back({std::move(opened), {}, 0});
      indices.push_back(index);
      if (const ErrorCode error = ReadLevel(levels.back(), index, status.st_dev, outputs,
                                            entries, names)) {
        return error;
      }
    }
    return 0;
  }

  Kind KindOf(const char16_t* path) override {
    std::string bytes;
    EncodeName(path, bytes);
    const Descriptor opened = OpenPath(bytes, O_PATH);
    struct stat status;
    if (!opened.valid() || fstat(opened.get(), &status) != 0) return Kind::kNothing;
    return S_ISDIR(status.st_mode) ? Kind::kDirectory : Kind::kOther;
  }

  ErrorCode ReadFile(const char16_t* path, std::string& bytes) override {
    Descriptor file;
    if (path != nullptr) {
      std::string name;
      EncodeName(path, name);
      file = OpenPath(name, O_RDONLY);
      if (!file.valid()) return Errno();
    }
    if (path == nullptr && inputClosed) return EBADF;
    const int fd = path != nullptr ? file.get() : STDIN_FILENO;
    bytes.clear();
    char chunk[64 * 1024];
    for (;;) {
      const ssize_t count = read(fd, chunk, sizeof chunk);
      if (count < 0 && errno == EINTR && stopSignal == 0) continue;
      if (count < 0) return Errno();
      if (count == 0) return 0;
      bytes.append(chunk, static_cast<size_t>(count));
    }
  }

  ErrorCode WriteLine(Stream stream, std::u16string_view line) override {
    EncodeName(line, bytes_);
    bytes_ += '\n';
    return WriteAll(stream == Stream::Err ? STDERR_FILENO : STDOUT_FILENO, bytes_);
  }

  bool Interrupted() const override { return stopSignal != 0; }

  int ExitInterrupted() override {
    // Ended by the signal itself, so that the shell and the calling program
    // see what happened.
    const int signal = stopSignal;
    std::signal(signal, SIG_DFL);
    raise(signal);
    return 128 + signal;
  }

 private:
  static bool CurrentDirectory(std::string& out) {
    char* path = getcwd(nullptr, 0);
    if (path == nullptr) return false;
    out = path;
    free(path);
    return true;
  }

  // Lists the directory open as `level.fd`, whose entry is `index`, and
  // notes its subdirectories on `device` to be listed next.
  static ErrorCode ReadLevel(TreeLevel& level, uint32_t index, dev_t device,
                             const OutputFiles& outputs, std::vector<TreeEntry>& entries,
                             std::u16string& names) {
    const int copy = fcntl(level.fd.get(), F_DUPFD_CLOEXEC, 0);
    DIR* stream = copy < 0 ? nullptr : fdopendir(copy);
    if (stream == nullptr) {
      const ErrorCode error = Errno();
      if (copy >= 0) close(copy);
      return error;
    }
    std::u16string name;
    for (;;) {
      errno = 0;
      const dirent* record = readdir(stream);
      if (record == nullptr) break;
      const std::string_view bytes(record->d_name);
      if (bytes == "." || bytes == "..") continue;
      struct stat status = {};
      const bool known = record->d_type != DT_UNKNOWN;
      if (record->d_type == DT_DIR || !known) {
        fstatat(level.fd.get(), record->d_name, &status, AT_SYMLINK_NOFOLLOW);
      }
      const bool isDirectory = known ? record->d_type == DT_DIR : S_ISDIR(status.st_mode);
      DecodeName(bytes, name);
      const uint32_t self = static_cast<uint32_t>(entries.size());
      entries.push_back({index, static_cast<uint32_t>(names.size()),
                         static_cast<uint32_t>(name.size()), isDirectory,
                         !isDirectory && outputs.Holds(device, record->d_ino)});
      names += name;
      // A mount point is an entry of this tree, not a part of it.
      if (isDirectory && status.st_dev == device) level.subdirectories.push_back(self);
    }
    const ErrorCode error = Errno();
    closedir(stream);
    return error;
  }

  static uint32_t Deliver(const std::u16string& text, uint32_t room,
                          char16_t* destination) {
    if (text.size() >= room) return static_cast<uint32_t>(text.size() + 1);
    std::memcpy(destination, text.c_str(), sizeof(char16_t) * (text.size() + 1));
    return static_cast<uint32_t>(text.size());
  }

  static ErrorCode WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t written = write(fd, bytes.data(), bytes.size());
      if (written < 0 && errno == EINTR) continue;
      if (written < 0) return Errno();
      if (written == 0) return EIO;
      bytes.remove_prefix(static_cast<size_t>(written));
    }
    return 0;
  }

  std::string bytes_;  // the line being written, its room reserved
};

}  // namespace

std::unique_ptr<Platform> MakeSystemPlatform() {
  return std::make_unique<PosixPlatform>();
}

void WriteEmergencyLine(const char* line) {
  const size_t length = std::strlen(line);
  if (write(STDOUT_FILENO, line, length) == static_cast<ssize_t>(length)) {
    (void)!write(STDOUT_FILENO, "\n", 1);
  }
}

std::vector<std::u16string> CommandLine(int argc, char** argv) {
  std::vector<std::u16string> args;
  for (int i = 0; i < argc; ++i) args.push_back(DecodeName(argv[i]));
  return args;
}

}  // namespace platform
