#include "platform/posix_files.h"

#include <fcntl.h>
#include <limits.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace platform {

void Descriptor::Reset(int fd) {
  if (fd_ >= 0) {
    KeepErrno keep;
    close(fd_);
  }
  fd_ = fd;
}

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

ErrorCode IdentityOf(int fd, const char* name, Identity& identity) {
  struct statx status;
  const int flags = AT_SYMLINK_NOFOLLOW | (name[0] == '\0' ? AT_EMPTY_PATH : 0);
  if (statx(fd, name, flags, STATX_TYPE | STATX_INO | STATX_MNT_ID, &status) != 0) {
    return Errno();
  }
  identity.device = makedev(status.stx_dev_major, status.stx_dev_minor);
  identity.inode = status.stx_ino;
  // Bind mounts of one file system share its device; only the mount id
  // tells them apart (Linux 5.8 on).
  identity.mount = (status.stx_mask & STATX_MNT_ID) != 0 ? status.stx_mnt_id : 0;
  return 0;
}

OutputFiles::OutputFiles() {
  outIsFile_ = fstat(STDOUT_FILENO, &out_) == 0 && S_ISREG(out_.st_mode);
  errIsFile_ = fstat(STDERR_FILENO, &err_) == 0 && S_ISREG(err_.st_mode);
}

bool OutputFiles::Holds(dev_t device, ino_t inode) const {
  return (outIsFile_ && out_.st_dev == device && out_.st_ino == inode) ||
         (errIsFile_ && err_.st_dev == device && err_.st_ino == inode);
}

bool Unchangeable(int fd) {
  int flags = 0;
  return ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
         (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL)) != 0;
}

DIR* OpenStream(int fd) {
  const int copy = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return nullptr;
  DIR* stream = fdopendir(copy);
  if (stream == nullptr) {
    KeepErrno keep;
    close(copy);
    return nullptr;
  }
  // The copy shares its position with `fd`: a listing read before left it
  // at the end.
  rewinddir(stream);
  return stream;
}

unsigned char TypeOf(int fd, const dirent& record) {
  if (record.d_type != DT_UNKNOWN) return record.d_type;
  struct stat status;
  if (fstatat(fd, record.d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) return DT_UNKNOWN;
  if (S_ISDIR(status.st_mode)) return DT_DIR;
  if (S_ISLNK(status.st_mode)) return DT_LNK;
  return S_ISREG(status.st_mode) ? DT_REG : DT_UNKNOWN;
}

}  // namespace platform
