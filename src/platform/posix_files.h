// What the POSIX platform's directory, tree and process parts share: open
// descriptors, which file is which, and the one loop that reads a listing.
#pragma once

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace platform {

inline ErrorCode Errno() { return static_cast<ErrorCode>(errno); }

// Restores errno on scope exit, so that cleanup keeps the reason of a failure.
class KeepErrno {
 public:
  KeepErrno() : saved_(errno) {}
  ~KeepErrno() { errno = saved_; }

 private:
  int saved_;
};

// An open file descriptor, closed when it goes.
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
  void Reset(int fd = -1);

 private:
  int fd_;
};

// Opens `path` with `flags`, also when it is longer than PATH_MAX: then it is
// opened in pieces, each relative to the directory before it, so the kernel
// resolves every component (".." and symbolic links included) as it would
// for the whole path.
Descriptor OpenPath(const std::string& path, int flags);

// Which file a name stands for: its device, its number there, and the mount
// it was reached through (0 where the system does not tell).
struct Identity {
  dev_t device = 0;
  ino_t inode = 0;
  uint64_t mount = 0;
  bool SameFile(const Identity& other) const {
    return device == other.device && inode == other.inode;
  }
  // True when `other` is on another file system or mount than this.
  bool OtherMount(const Identity& other) const {
    return device != other.device || (mount != 0 && other.mount != 0 && mount != other.mount);
  }
};

// The identity of `name` in the directory `fd` (the directory itself for an
// empty name), without following a link. 0, or the error code.
ErrorCode IdentityOf(int fd, const char* name, Identity& identity);

// The files standard output and standard error are written to, where they
// are files: an entry that is one of them is never renamed.
class OutputFiles {
 public:
  OutputFiles();
  bool Holds(dev_t device, ino_t inode) const;

 private:
  struct stat out_ = {}, err_ = {};
  bool outIsFile_ = false, errIsFile_ = false;
};

// One record of a listing, as the loop hands it on.
struct ListedRecord {
  std::string_view name;
  ino_t inode;
  unsigned char type;  // DT_*; DT_UNKNOWN resolved where it could be
};

// True when the file open as `fd` is immutable or append-only.
bool Unchangeable(int fd);

// What the listing loop below stands on: a stream over a copy of `fd` (the
// directory's own descriptor stays open), and a record's type, asked of
// the file system where the listing does not say.
DIR* OpenStream(int fd);
unsigned char TypeOf(int fd, const dirent& record);

// The one loop that reads a listing: every record of the directory open as
// `fd`, "." and ".." included, handed to `take` in the order the file
// system gives. Returns 0 at the end, or the error code of the read that
// failed; `read` tells how many records came before it.
template <typename Take>
ErrorCode ReadListing(int fd, size_t& read, Take&& take) {
  read = 0;
  const std::unique_ptr<DIR, int (*)(DIR*)> stream(OpenStream(fd), closedir);
  if (stream == nullptr) return Errno();
  for (;;) {
    // A null record is the end when errno is still 0, else a failed read.
    errno = 0;
    const dirent* record = readdir(stream.get());
    if (record == nullptr) return Errno();
    take(ListedRecord{record->d_name, record->d_ino, TypeOf(fd, *record)});
    ++read;
  }
}

}  // namespace platform
