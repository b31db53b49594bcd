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
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <string>

namespace {

bool Mode(const char* mode) {
  const char* modes = getenv("SNIPDIR_SEAM");
  return modes != nullptr && strstr(modes, mode) != nullptr;
}

template <typename Function>
Function Real(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// Runs before a rename call reaches the file system.
void BeforeRename(int oldDirectory, const char* oldName, int newDirectory,
                  const char* newName) {
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

void* operator new(size_t size) {
  static const bool starved = Mode("nomem");
  if (starved && size >= 4096) throw std::bad_alloc();
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
  return real(oldDirectory, oldName, newDirectory, newName, flags);
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
  return real(oldDirectory, oldName, newDirectory, newName, flags);
}

extern "C" int renameat(int oldDirectory, const char* oldName, int newDirectory,
                        const char* newName) {
  using Function = int (*)(int, const char*, int, const char*);
  static const Function real = Real<Function>("renameat");
  BeforeRename(oldDirectory, oldName, newDirectory, newName);
  return real(oldDirectory, oldName, newDirectory, newName);
}
