// A tree on POSIX: the walk of tree_walk.h on descriptors. Each directory
// is opened relative to its parent with one name, never following a link
// (openat with O_NOFOLLOW), and is known by its device, inode and mount id;
// a directory closed earlier is opened again through the ".." of its child.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <utility>

#include "platform/posix_files.h"
#include "platform/posix_internal.h"
#include "platform/posix_rename.h"
#include "platform/tree_walk.h"
#include "text/utf8.h"

namespace platform {
namespace {

class PosixSystem {
 public:
  using Name = std::string;
  using Identity = platform::Identity;
  struct Place {
    Descriptor fd;
    Identity identity;
    struct stat status = {};
    ErrorCode unreadable = 0;  // why it could be entered but not listed
  };

  static constexpr ErrorCode kOtherVolume = EXDEV;
  static constexpr bool kOpenDirectoriesHoldTheirParents = false;
  static constexpr ErrorCode kChanged = ESTALE;

  static void Encode(std::u16string_view text, Name& out) { text::EncodeName(text, out); }
  static bool IsOpen(const Place& place) { return place.fd.valid(); }
  static void Close(Place& place) { place.fd.Reset(); }
  static bool SameFile(const Identity& a, const Identity& b) { return a.SameFile(b); }
  static bool OtherVolume(const Place& top, const Place& place) {
    return place.identity.OtherMount(top.identity);
  }

  // Opens `name` in `parent` as a directory, without following a link;
  // where it may be searched but not read, for renames only.
  ErrorCode Open(const Place& parent, const Name& name, Place& place) {
    constexpr int kFlags = O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    const int at = parent.fd.get();
    place.fd = Descriptor(openat(at, name.c_str(), O_RDONLY | kFlags));
    if (!place.fd.valid() && errno == EACCES) {
      place.unreadable = EACCES;
      place.fd = Descriptor(openat(at, name.c_str(), O_PATH | kFlags));
    }
    if (!place.fd.valid()) {
      // A link says so, whatever the system answered for it.
      struct stat status;
      if (errno == ENOTDIR && fstatat(at, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
          S_ISLNK(status.st_mode)) {
        return ELOOP;
      }
      return place.unreadable != 0 ? place.unreadable : Errno();
    }
    if (const ErrorCode error = IdentityOf(place.fd.get(), "", place.identity)) return error;
    return fstat(place.fd.get(), &place.status) != 0 ? Errno() : 0;
  }

  ErrorCode Reopen(const Place& child, const Place&, Place& reopened) {
    return Open(child, "..", reopened);
  }

  // How many workers the descriptors this process may open leave room for,
  // up to `wanted`: each holds `open` at most (its directories, and those
  // a check or a rename holds for a moment); the walk as many, and the
  // rest of the program some.
  static unsigned WorkersFor(unsigned wanted, size_t open) {
    struct rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return wanted;
    const rlim_t kept = 32 + open, each = open;
    return limit.rlim_cur <= kept ? 0
                                  : static_cast<unsigned>(std::min<rlim_t>(
                                        wanted, (limit.rlim_cur - kept) / each));
  }

  // The directory opened again through itself: a descriptor of its own,
  // whose listing keeps its own place.
  ErrorCode Duplicate(const Place& place, Place& copy) const {
    const int access = place.unreadable != 0 ? O_PATH : O_RDONLY;
    copy.fd = Descriptor(openat(place.fd.get(), ".", access | O_DIRECTORY | O_CLOEXEC));
    if (!copy.fd.valid()) return Errno();
    Identity now;
    if (const ErrorCode error = IdentityOf(copy.fd.get(), "", now)) return error;
    if (!now.SameFile(place.identity)) return kChanged;
    copy.identity = place.identity;
    copy.status = place.status;
    copy.unreadable = place.unreadable;
    return 0;
  }

  ErrorCode Look(const Place& parent, const Name& name, Identity& identity) {
    return IdentityOf(parent.fd.get(), name.c_str(), identity);
  }

  // Every entry of `place` but "." and "..": a directory on the tree's
  // mount is entered; a mount point, a bind mount included, is an entry of
  // this tree, not a part of it. One that cannot even be looked at is
  // tried, and says why it cannot be listed.
  template <typename Take>
  ErrorCode List(const Place& place, Take&& take) {
    if (place.unreadable != 0) return place.unreadable;
    const int fd = place.fd.get();
    size_t read = 0;
    return ReadListing(fd, read, [&](const ListedRecord& record) {
      if (record.name == "." || record.name == "..") return;
      ListedEntry<Identity> entry;
      text::DecodeName(record.name, name_);
      entry.name = name_;
      entry.isDirectory = record.type == DT_DIR;
      entry.isLink = record.type == DT_LNK;
      entry.isOutput = !entry.isDirectory && outputs_.Holds(place.identity.device, record.inode);
      if (entry.isDirectory) {
        entry.identityKnown = IdentityOf(fd, record.name.data(), entry.identity) == 0;
        entry.enter = !entry.identityKnown || !entry.identity.OtherMount(place.identity);
      }
      take(entry);
    });
  }

  ErrorCode Rename(const Place& place, const Name& oldName, const Name& newName,
                   const Identity* expected) {
    if (expected != nullptr) {
      Identity now;
      if (const ErrorCode error = Look(place, oldName, now)) return error;
      if (!now.SameFile(*expected)) return kChanged;
    }
    return renamer_.Rename({place.fd.get(), place.status}, oldName.c_str(), newName.c_str());
  }

  ErrorCode Refusal(const Place& place, const Name& name) {
    // Asked once for each directory: its entries come one after another.
    if (!barrierKnown_ || !barrierOf_.SameFile(place.identity)) {
      barrierKnown_ = true;
      barrierOf_ = place.identity;
      barrier_ = RenameBarrier(place.fd.get());
    }
    if (barrier_ != 0) return barrier_;
    return EntryRefusal({place.fd.get(), place.status}, name.c_str());
  }

  ErrorCode ReadLink(const Place& place, const Name& name, std::u16string& target) {
    std::string bytes(256, '\0');
    for (;;) {
      const ssize_t length = readlinkat(place.fd.get(), name.c_str(), &bytes[0], bytes.size());
      if (length < 0) return Errno();
      if (static_cast<size_t>(length) < bytes.size()) {
        bytes.resize(static_cast<size_t>(length));
        break;
      }
      bytes.resize(2 * bytes.size());
    }
    text::DecodeName(bytes, target);
    return 0;
  }

  // The file systems of shares (NFS, SMB, AFS, Ceph, 9p) and those served
  // by a program (FUSE: sshfs, rclone, ntfs-3g).
  bool OnShare(const Place& place) const {
    struct statfs system;
    if (fstatfs(place.fd.get(), &system) != 0) return false;
    switch (static_cast<uint32_t>(system.f_type)) {
      case 0x6969:      // NFS
      case 0xFE534D42:  // SMB2
      case 0xFF534D42:  // CIFS
      case 0x517B:      // SMB
      case 0x5346414F:  // AFS
      case 0x00C36400:  // Ceph
      case 0x01021997:  // 9p
      case 0x65735546:  // FUSE
        return true;
      default:
        return false;
    }
  }

  ErrorCode RealPath(const Place& place, std::u16string& path) {
    std::string bytes(4096, '\0');
    const std::string self = "/proc/self/fd/" + std::to_string(place.fd.get());
    for (;;) {
      const ssize_t length = readlink(self.c_str(), &bytes[0], bytes.size());
      if (length < 0) return Errno();
      if (static_cast<size_t>(length) < bytes.size()) {
        bytes.resize(static_cast<size_t>(length));
        break;
      }
      bytes.resize(2 * bytes.size());
    }
    text::DecodeName(bytes, path);
    return 0;
  }

 private:
  OutputFiles outputs_;
  NoReplaceRenamer renamer_;
  bool barrierKnown_ = false;
  Identity barrierOf_;
  ErrorCode barrier_ = 0;
  std::u16string name_;
};

}  // namespace

ErrorCode OpenPosixTree(const std::string& path, std::unique_ptr<Tree>& tree) {
  PosixSystem::Place top;
  top.fd = OpenPath(path, O_RDONLY | O_DIRECTORY);
  if (!top.fd.valid()) return Errno();
  if (const ErrorCode error = IdentityOf(top.fd.get(), "", top.identity)) return error;
  if (fstat(top.fd.get(), &top.status) != 0) return Errno();
  tree = std::make_unique<WalkedTree<PosixSystem>>(PosixSystem(), std::move(top));
  return 0;
}

}  // namespace platform
