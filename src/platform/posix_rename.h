// Renames on POSIX that never replace an entry, one name in one open
// directory, on every file system that can rename at all; and what a
// preview can tell of a rename without making it.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"

namespace platform {

// An open directory as the renames in it need it.
struct OpenedDirectory {
  int fd;
  const struct stat& status;
};

class NoReplaceRenamer {
 public:
  // Renames `oldName` to `newName` in `directory`; EEXIST when the new name
  // is taken. The ways, best first: renameat2 without replacing; a link to
  // the new name, then the old one unlinked; an empty placeholder made
  // under the new name, then the entry renamed onto it. What the file
  // system was found not to do is not asked again.
  ErrorCode Rename(const OpenedDirectory& directory, const char* oldName,
                   const char* newName);

 private:
  bool LinkCanBeTakenBack(const OpenedDirectory& directory, const struct stat& entry) const;
  static ErrorCode DropOldLink(int fd, const char* oldName, const char* newName,
                               const struct stat& linked);
  ErrorCode RenameOntoPlaceholder(int fd, const char* oldName, const char* newName,
                                  bool isDirectory);
  void RemoveLeftover(int fd, const char* newName, const struct stat& made);

  const uid_t user_ = geteuid();
  bool noReplaceRefused_ = false;
  bool linkRefused_ = false;
  // The longest new name (in bytes) a rename onto a placeholder was seen to
  // leave nothing behind for: shorter ones are not looked for again.
  size_t longestClean_ = 0;
};

// The error code every rename in the directory `fd` would fail with
// whatever the names (no write or search permission, a read-only file
// system, an immutable or append-only directory), or 0.
ErrorCode RenameBarrier(int fd);

// The error code a rename of `name` in `directory` would fail with whatever
// its new name (another user's entry in a sticky directory, an immutable or
// append-only entry), or 0 when none is known.
ErrorCode EntryRefusal(const OpenedDirectory& directory, const char* name);

}  // namespace platform
