#include "platform/posix_rename.h"

#include <fcntl.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "platform/posix_files.h"

namespace platform {
namespace {

constexpr uint64_t kFixed = STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND;

// True when the directory open as `fd` holds nothing.
bool Empty(int fd) {
  size_t records = 0;
  bool empty = true;
  const ErrorCode error = ReadListing(fd, records, [&](const ListedRecord& record) {
    empty = empty && (record.name == "." || record.name == "..");
  });
  return error == 0 && empty;
}

// True while `name` in `fd` still holds the placeholder open as `held`, as
// it was made (`made`), and empty: nobody else has saved anything there.
bool StillPlaceholder(int fd, const char* name, int held, const struct stat& made) {
  struct stat now;
  if (fstatat(fd, name, &now, AT_SYMLINK_NOFOLLOW) != 0 || now.st_dev != made.st_dev ||
      now.st_ino != made.st_ino || fstat(held, &now) != 0) {
    return false;
  }
  return S_ISDIR(now.st_mode) ? Empty(held) : now.st_size == 0;
}

}  // namespace

ErrorCode NoReplaceRenamer::Rename(const OpenedDirectory& directory, const char* oldName,
                                   const char* newName) {
  const int fd = directory.fd;
  if (!noReplaceRefused_) {
    if (renameat2(fd, oldName, fd, newName, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return Errno();
    noReplaceRefused_ = true;  // the file system does not know the flag
  }
  struct stat entry;
  if (fstatat(fd, oldName, &entry, AT_SYMLINK_NOFOLLOW) != 0) return Errno();
  const bool isDirectory = S_ISDIR(entry.st_mode);
  if (!isDirectory && !linkRefused_ && LinkCanBeTakenBack(directory, entry)) {
    if (linkat(fd, oldName, fd, newName, 0) == 0) return DropOldLink(fd, oldName, newName, entry);
    if (errno == EEXIST || errno == ENOENT) return Errno();
    linkRefused_ = true;  // no hard links here (FAT, exFAT, many FUSE mounts)
  }
  return RenameOntoPlaceholder(fd, oldName, newName, isDirectory);
}

// In a sticky directory (/tmp) only the owner of an entry or of the
// directory may remove a name: where neither is this user, a second link
// could be made and then neither name removed, so it is never made.
bool NoReplaceRenamer::LinkCanBeTakenBack(const OpenedDirectory& directory,
                                          const struct stat& entry) const {
  if ((directory.status.st_mode & S_ISVTX) == 0) return true;
  return entry.st_uid == user_ || directory.status.st_uid == user_;
}

// The new name is linked; the old one goes, as long as it still is the
// file linked: a program that saved a new version under the old name
// meanwhile (written beside it, then renamed over it) keeps its save, the
// new link goes again, and the entry counts as changed. When the old name
// cannot go, the new link goes again too, and nothing has changed. (Between
// the look and the unlink, two system calls, no file system that refuses
// to rename without replacing lets a program close the window.)
ErrorCode NoReplaceRenamer::DropOldLink(int fd, const char* oldName, const char* newName,
                                        const struct stat& linked) {
  struct stat now;
  const bool same = fstatat(fd, oldName, &now, AT_SYMLINK_NOFOLLOW) == 0 &&
                    now.st_dev == linked.st_dev && now.st_ino == linked.st_ino;
  if (same && unlinkat(fd, oldName, 0) == 0) return 0;
  const ErrorCode error = same ? Errno() : ESTALE;
  if (fstatat(fd, newName, &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_dev == linked.st_dev &&
      now.st_ino == linked.st_ino) {
    unlinkat(fd, newName, 0);
  }
  return error;
}

// For file systems that can neither rename without replacing nor link: the
// new name is taken first by an empty placeholder of the entry's kind,
// created only if the name is free. Right before the entry is renamed onto
// it, the name must still hold that placeholder, still empty: if another
// program saved something there meanwhile, the name counts as taken and
// what it holds is left alone. If the rename fails, the placeholder goes
// again, as long as it is still the one made here.
ErrorCode NoReplaceRenamer::RenameOntoPlaceholder(int fd, const char* oldName,
                                                  const char* newName, bool isDirectory) {
  Descriptor held;
  if (isDirectory) {
    if (mkdirat(fd, newName, 0700) != 0) return Errno();
    held = Descriptor(openat(fd, newName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  } else {
    held = Descriptor(openat(fd, newName, O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC,
                             0600));
  }
  struct stat made;
  if (!held.valid()) return Errno();
  if (fstat(held.get(), &made) != 0) return Errno();
  if (!StillPlaceholder(fd, newName, held.get(), made)) return EEXIST;
  if (renameat(fd, oldName, fd, newName) == 0) {
    RemoveLeftover(fd, newName, made);
    return 0;
  }
  const ErrorCode error = Errno();
  if (StillPlaceholder(fd, newName, held.get(), made)) {
    unlinkat(fd, newName, isDirectory ? AT_REMOVEDIR : 0);
  }
  return error;
}

// A file system that renames onto an existing name by moving that name's
// entry aside first may keep it: ntfs-3g (2022.10.3) moves it to the new
// name and ".ntfs-3g-" and ten digits, a name 19 units longer, and where
// that passes 255 units it wraps round to a short name that it never
// removes (for new names of 238 units and more; at 237 the rename fails
// with EINVAL). The placeholder found again under another name, still the
// one made here and still empty, goes. Looked for once for each longer
// name than any found clean.
void NoReplaceRenamer::RemoveLeftover(int fd, const char* newName, const struct stat& made) {
  const size_t length = strlen(newName);
  if (length <= longestClean_) return;
  std::string leftover;
  size_t read = 0;
  ReadListing(fd, read, [&](const ListedRecord& record) {
    if (record.inode == made.st_ino && record.name != newName) leftover = record.name;
  });
  if (leftover.empty()) {
    longestClean_ = length;
    return;
  }
  // Known by its name now: a FUSE file system may no longer answer for the
  // descriptor of a name it removed.
  struct stat now;
  if (fstatat(fd, leftover.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 ||
      now.st_dev != made.st_dev || now.st_ino != made.st_ino) {
    return;
  }
  if (!S_ISDIR(now.st_mode)) {
    if (now.st_size == 0) unlinkat(fd, leftover.c_str(), 0);
    return;
  }
  const Descriptor directory(
      openat(fd, leftover.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (directory.valid() && Empty(directory.get())) unlinkat(fd, leftover.c_str(), AT_REMOVEDIR);
}

ErrorCode RenameBarrier(int fd) {
  // A rename needs write and search permission on the directory (EACCES)
  // and a writable file system (EROFS), which the access check answers,
  // and a directory that may change (EPERM when immutable or append-only).
  if (faccessat(fd, ".", W_OK | X_OK, AT_EACCESS) != 0) return Errno();
  return Unchangeable(fd) ? EPERM : 0;
}

ErrorCode EntryRefusal(const OpenedDirectory& directory, const char* name) {
  struct statx entry;
  if (statx(directory.fd, name, AT_SYMLINK_NOFOLLOW, STATX_MODE | STATX_UID, &entry) != 0) {
    return Errno();
  }
  // In a sticky directory only the entry's owner, the directory's owner or
  // a privileged user may move it.
  static const uid_t user = geteuid();  // the program never changes it
  if ((directory.status.st_mode & S_ISVTX) != 0 && user != 0 && entry.stx_uid != user &&
      directory.status.st_uid != user) {
    return EPERM;
  }
  // An immutable or append-only entry cannot be moved by anyone.
  return (entry.stx_attributes & entry.stx_attributes_mask & kFixed) != 0 ? EPERM : 0;
}

}  // namespace platform
