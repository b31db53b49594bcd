// A test seam, loaded into snipdir with LD_PRELOAD, that races and breaks its
// renames on purpose. SNIPDIR_SEAM holds comma-separated modes:
//   intrude  before the first rename call for each entry, another "process"
//            creates the target name: a file holding "intruder"
//   einval   renameat2 with RENAME_NOREPLACE answers EINVAL, as file systems
//            that refuse the flag do, so the fallback runs
//   nolink   linkat answers EPERM, as file systems without hard links do
//            (FAT, exFAT), so the placeholder way runs
//   vanish   an entry whose name holds "vanish" is removed just before its
//            rename
//   nomem    every allocation of 4 KiB or more fails (std::bad_alloc), as
//            when memory has run out before the program could set up
//   starve   the same, from the first rename on
//   swap     before the first rename, another user (nobody, 65534) moves
//            the directory SNIPDIR_SWAP away and puts a symbolic link to
//            SNIPDIR_SWAP_TO in its place
//   slow     every rename waits 10 ms first, so that a run takes time
//   killplace  the program is killed (SIGKILL) just before it renames an
//            entry onto the placeholder that holds the new name
//   killlink   the program is killed just after it linked a new name,
//            before the old one goes
//   neighbour  right after the program made its first placeholder, another
//            program saves something under that name: a file written into
//            a placeholder file, a file into a placeholder directory
//   save     right after the program linked a new name to a file, another
//            program saves a new version of the file the usual safe way:
//            written beside it, then renamed over its old name
//   move     right after the first rename, another program moves the
//            directory SNIPDIR_MOVE to SNIPDIR_MOVE_TO and makes a new,
//            empty directory in its place
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <new>
#include <string>
#include <utility>

namespace {

bool Mode(const char* mode) {
  const char* modes = getenv("SNIPDIR_SEAM");
  return modes != nullptr && strstr(modes, mode) != nullptr;
}

template <typename Function>
Function Real(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// Takes the lock of the change `Change` (one of those below) and says
// whether it is the first time: each is made once, and every other rename
// call waits until it is made (the program may have several in flight).
template <typename Change>
bool FirstTime(std::unique_lock<std::mutex>& lock) {
  static std::mutex once;
  static bool done = false;
  lock = std::unique_lock<std::mutex>(once);
  return !std::exchange(done, true);
}

// Another user swaps a directory of the tree for a link, once.
void Swap() {
  std::unique_lock<std::mutex> lock;
  const char* directory = getenv("SNIPDIR_SWAP");
  const char* target = getenv("SNIPDIR_SWAP_TO");
  if (directory == nullptr || target == nullptr || !FirstTime<struct SwapChange>(lock)) return;
  const pid_t child = fork();
  if (child == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(1);
    char moved[4096];
    snprintf(moved, sizeof moved, "%s.moved", directory);
    _exit(rename(directory, moved) == 0 && symlink(target, directory) == 0 ? 0 : 1);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || status != 0) abort();
}

// Another program saves something under the name `name` in `directory`,
// the first time only.
void Neighbour(int directory, const char* name, bool isDirectory) {
  std::unique_lock<std::mutex> lock;
  if (!FirstTime<struct NeighbourChange>(lock)) return;
  const int saved = errno;
  // No std::string: under a sanitizer this library's allocations are not
  // the program's.
  char path[4096];
  snprintf(path, sizeof path, isDirectory ? "%s/saved" : "%s", name);
  const int fd = openat(directory, path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || write(fd, "neighbour", 9) != 9) abort();
  close(fd);
  errno = saved;
}

// Another program saves a new version of `name` in `directory`, once.
void Save(int directory, const char* name) {
  std::unique_lock<std::mutex> lock;
  if (!FirstTime<struct SaveChange>(lock)) return;
  const int saved = errno;
  char temporary[4096];
  snprintf(temporary, sizeof temporary, "%s.saving", name);
  const int fd = openat(directory, temporary, O_WRONLY | O_CREAT | O_EXCL, 0644);
  using Rename = int (*)(int, const char*, int, const char*);
  static const Rename rename = Real<Rename>("renameat");
  if (fd < 0 || write(fd, "saved", 5) != 5 || close(fd) != 0 ||
      rename(directory, temporary, directory, name) != 0) {
    abort();
  }
  errno = saved;
}

// Another program moves a directory of the tree away and makes a new one in
// its place, once.
void Move() {
  std::unique_lock<std::mutex> lock;
  const char* directory = getenv("SNIPDIR_MOVE");
  const char* to = getenv("SNIPDIR_MOVE_TO");
  if (directory == nullptr || to == nullptr || !FirstTime<struct MoveChange>(lock)) return;
  const int saved = errno;
  if (rename(directory, to) != 0 || mkdir(directory, 0755) != 0) abort();
  errno = saved;
}

// Runs before a rename call reaches the file system.
void BeforeRename(int oldDirectory, const char* oldName, int newDirectory,
                  const char* newName) {
  if (Mode("swap")) Swap();
  if (Mode("slow")) usleep(10000);
  static std::string lastOldName;
  const bool firstTry = lastOldName != oldName;
  lastOldName = oldName;
  if (Mode("vanish") && strstr(oldName, "vanish") != nullptr) {
    unlinkat(oldDirectory, oldName, 0);
  }
  if (Mode("intrude") && firstTry) {
    const int saved = errno;
    const int fd = openat(newDirectory, newName, O_CREAT | O_EXCL | O_WRONLY, 0644);
    if (fd >= 0) {
      if (write(fd, "intruder", 8) != 8) abort();
      close(fd);
    }
    errno = saved;
  }
}

}  // namespace

namespace {
bool renamed = false;  // a rename happened (for "starve")
}  // namespace

void* operator new(size_t size) {
  static const bool starved = Mode("nomem"), starving = Mode("starve");
  if ((starved || (starving && renamed)) && size >= 4096) throw std::bad_alloc();
  if (void* block = malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { free(block); }
void operator delete(void* block, size_t) noexcept { free(block); }

extern "C" int renameat2(int oldDirectory, const char* oldName, int newDirectory,
                         const char* newName, unsigned flags) {
  using Function = int (*)(int, const char*, int, const char*, unsigned);
  static const Function real = Real<Function>("renameat2");
  if (Mode("einval") && (flags & RENAME_NOREPLACE) != 0) {
    errno = EINVAL;
    return -1;
  }
  BeforeRename(oldDirectory, oldName, newDirectory, newName);
  const int result = real(oldDirectory, oldName, newDirectory, newName, flags);
  renamed = renamed || result == 0;
  if (result == 0 && Mode("move")) Move();
  return result;
}

extern "C" int linkat(int oldDirectory, const char* oldName, int newDirectory,
                      const char* newName, int flags) {
  using Function = int (*)(int, const char*, int, const char*, int);
  static const Function real = Real<Function>("linkat");
  if (Mode("nolink")) {
    errno = EPERM;
    return -1;
  }
  BeforeRename(oldDirectory, oldName, newDirectory, newName);
  const int result = real(oldDirectory, oldName, newDirectory, newName, flags);
  if (result == 0 && Mode("save")) Save(oldDirectory, oldName);
  return result;
}

extern "C" int renameat(int oldDirectory, const char* oldName, int newDirectory,
                        const char* newName) {
  using Function = int (*)(int, const char*, int, const char*);
  static const Function real = Real<Function>("renameat");
  if (Mode("killplace")) raise(SIGKILL);
  BeforeRename(oldDirectory, oldName, newDirectory, newName);
  return real(oldDirectory, oldName, newDirectory, newName);
}

extern "C" int unlinkat(int directory, const char* name, int flags) {
  using Function = int (*)(int, const char*, int);
  static const Function real = Real<Function>("unlinkat");
  if (Mode("killlink") && flags == 0) raise(SIGKILL);
  return real(directory, name, flags);
}

namespace {

int OpenAt(const char* which, int directory, const char* name, int flags, mode_t mode) {
  using Function = int (*)(int, const char*, int, ...);
  const Function real = Real<Function>(which);
  const int fd = real(directory, name, flags, mode);
  if (fd >= 0 && (flags & (O_CREAT | O_EXCL)) == (O_CREAT | O_EXCL) && Mode("neighbour")) {
    Neighbour(directory, name, false);
  }
  return fd;
}

}  // namespace

extern "C" int openat(int directory, const char* name, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = (flags & O_CREAT) != 0 ? va_arg(arguments, mode_t) : 0;
  va_end(arguments);
  return OpenAt("openat", directory, name, flags, mode);
}

extern "C" int openat64(int directory, const char* name, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = (flags & O_CREAT) != 0 ? va_arg(arguments, mode_t) : 0;
  va_end(arguments);
  return OpenAt("openat64", directory, name, flags, mode);
}

extern "C" int mkdirat(int directory, const char* name, mode_t mode) {
  using Function = int (*)(int, const char*, mode_t);
  static const Function real = Real<Function>("mkdirat");
  const int result = real(directory, name, mode);
  if (result == 0 && Mode("neighbour")) Neighbour(directory, name, true);
  return result;
}
