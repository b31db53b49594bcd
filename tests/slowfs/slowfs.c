// A file system as slow as a file share, for the tests and the benchmark:
// every operation is passed on to a directory of the local disk after a
// set delay, requests are served concurrently, and the kernel keeps what
// it learnt of names and attributes for about a second, as a network
// client would. On unmounting it prints how many operations it served.
//
//   slowfs SOURCE MOUNTPOINT [--latency MS] [FUSE options]
//
// Mounted as root (or where fusermount3 lets the user), in the foreground;
// unmounted with `fusermount3 -u MOUNTPOINT`.

#define FUSE_USE_VERSION 312
#define _GNU_SOURCE

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <fuse_lowlevel.h>
#include <stdatomic.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

static int source = -1;  // the directory passed through to
static unsigned latency_ms = 1;
static atomic_ulong served;

// Waits as a round trip to a server would, and counts the operation.
static void Wait(void) {
  atomic_fetch_add(&served, 1);
  struct timespec delay = {latency_ms / 1000, (long)(latency_ms % 1000) * 1000000L};
  while (nanosleep(&delay, &delay) != 0 && errno == EINTR) {
  }
}

// The path below the source: "/a/b" as "a/b", "/" as ".".
static const char* Below(const char* path) { return path[1] == '\0' ? "." : path + 1; }

static int Result(int status) { return status < 0 ? -errno : status; }

static void* Init(struct fuse_conn_info* connection, struct fuse_config* config) {
  (void)connection;
  config->use_ino = 1;  // the source's inode numbers: a directory keeps its identity
  config->entry_timeout = 1.0;
  config->attr_timeout = 1.0;
  config->negative_timeout = 0.0;
  return NULL;
}

static int GetAttr(const char* path, struct stat* status, struct fuse_file_info* file) {
  (void)file;
  Wait();
  return Result(fstatat(source, Below(path), status, AT_SYMLINK_NOFOLLOW));
}

static int OpenDir(const char* path, struct fuse_file_info* file) {
  Wait();
  const int fd = openat(source, Below(path), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
  if (fd < 0) return -errno;
  DIR* directory = fdopendir(fd);
  if (directory == NULL) {
    close(fd);
    return -ENOMEM;
  }
  file->fh = (uintptr_t)directory;
  return 0;
}

static int ReadDir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t offset,
                   struct fuse_file_info* file, enum fuse_readdir_flags flags) {
  (void)path;
  (void)offset;
  (void)flags;
  Wait();
  DIR* directory = (DIR*)(uintptr_t)file->fh;
  rewinddir(directory);
  for (struct dirent* entry; (entry = readdir(directory)) != NULL;) {
    struct stat status = {.st_ino = entry->d_ino, .st_mode = (mode_t)(DTTOIF(entry->d_type))};
    if (fill(buffer, entry->d_name, &status, 0, 0) != 0) break;
  }
  return 0;
}

static int ReleaseDir(const char* path, struct fuse_file_info* file) {
  (void)path;
  closedir((DIR*)(uintptr_t)file->fh);
  return 0;
}

static int Open(const char* path, struct fuse_file_info* file) {
  Wait();
  const int fd = openat(source, Below(path), file->flags & ~O_NOFOLLOW);
  if (fd < 0) return -errno;
  file->fh = (uint64_t)fd;
  return 0;
}

static int Create(const char* path, mode_t mode, struct fuse_file_info* file) {
  Wait();
  const int fd = openat(source, Below(path), file->flags | O_CREAT, mode);
  if (fd < 0) return -errno;
  file->fh = (uint64_t)fd;
  return 0;
}

static int Read(const char* path, char* buffer, size_t size, off_t offset,
                struct fuse_file_info* file) {
  (void)path;
  Wait();
  return Result((int)pread((int)file->fh, buffer, size, offset));
}

static int Write(const char* path, const char* buffer, size_t size, off_t offset,
                 struct fuse_file_info* file) {
  (void)path;
  Wait();
  return Result((int)pwrite((int)file->fh, buffer, size, offset));
}

static int Release(const char* path, struct fuse_file_info* file) {
  (void)path;
  close((int)file->fh);
  return 0;
}

static int Rename(const char* from, const char* to, unsigned int flags) {
  Wait();
  return Result(renameat2(source, Below(from), source, Below(to), flags));
}

static int Link(const char* from, const char* to) {
  Wait();
  return Result(linkat(source, Below(from), source, Below(to), 0));
}

static int Unlink(const char* path) {
  Wait();
  return Result(unlinkat(source, Below(path), 0));
}

static int MkDir(const char* path, mode_t mode) {
  Wait();
  return Result(mkdirat(source, Below(path), mode));
}

static int RmDir(const char* path) {
  Wait();
  return Result(unlinkat(source, Below(path), AT_REMOVEDIR));
}

static int SymLink(const char* target, const char* path) {
  Wait();
  return Result(symlinkat(target, source, Below(path)));
}

static int ReadLink(const char* path, char* buffer, size_t size) {
  Wait();
  const ssize_t length = readlinkat(source, Below(path), buffer, size - 1);
  if (length < 0) return -errno;
  buffer[length] = '\0';
  return 0;
}

static int Chmod(const char* path, mode_t mode, struct fuse_file_info* file) {
  (void)file;
  Wait();
  return Result(fchmodat(source, Below(path), mode, 0));
}

static int Truncate(const char* path, off_t size, struct fuse_file_info* file) {
  Wait();
  if (file != NULL) return Result(ftruncate((int)file->fh, size));
  const int fd = openat(source, Below(path), O_WRONLY);
  if (fd < 0) return -errno;
  const int status = Result(ftruncate(fd, size));
  close(fd);
  return status;
}

static int UTimens(const char* path, const struct timespec times[2],
                   struct fuse_file_info* file) {
  (void)file;
  Wait();
  return Result(utimensat(source, Below(path), times, AT_SYMLINK_NOFOLLOW));
}

static int StatFs(const char* path, struct statvfs* status) {
  (void)path;
  Wait();
  return Result(fstatvfs(source, status));
}

static const struct fuse_operations kOperations = {
    .init = Init,
    .getattr = GetAttr,
    .opendir = OpenDir,
    .readdir = ReadDir,
    .releasedir = ReleaseDir,
    .open = Open,
    .create = Create,
    .read = Read,
    .write = Write,
    .release = Release,
    .rename = Rename,
    .link = Link,
    .unlink = Unlink,
    .mkdir = MkDir,
    .rmdir = RmDir,
    .symlink = SymLink,
    .readlink = ReadLink,
    .chmod = Chmod,
    .truncate = Truncate,
    .utimens = UTimens,
    .statfs = StatFs,
};

int main(int argc, char** argv) {
  // SOURCE and --latency are ours; the rest goes to FUSE.
  char** passed = calloc((size_t)argc + 4, sizeof(char*));
  int count = 0;
  const char* from = NULL;
  passed[count++] = argv[0];
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--latency") == 0 && i + 1 < argc) {
      char* end = NULL;
      const unsigned long value = strtoul(argv[++i], &end, 10);
      if (*end != '\0' || value > 10000) {
        fprintf(stderr, "slowfs: --latency takes milliseconds, 0 to 10000\n");
        return 2;
      }
      latency_ms = (unsigned)value;
    } else if (from == NULL && argv[i][0] != '-') {
      from = argv[i];
    } else {
      passed[count++] = argv[i];
    }
  }
  if (from == NULL || (source = open(from, O_RDONLY | O_DIRECTORY)) < 0) {
    fprintf(stderr, "usage: slowfs SOURCE MOUNTPOINT [--latency MS] [FUSE options]\n");
    return 2;
  }
  struct fuse_args args = FUSE_ARGS_INIT(count, passed);
  struct fuse_cmdline_opts options;
  if (fuse_parse_cmdline(&args, &options) != 0 || options.mountpoint == NULL) {
    fprintf(stderr, "usage: slowfs SOURCE MOUNTPOINT [--latency MS] [FUSE options]\n");
    return 2;
  }
  struct fuse* fuse = fuse_new(&args, &kOperations, sizeof kOperations, NULL);
  if (fuse == NULL || fuse_mount(fuse, options.mountpoint) != 0) return 1;
  fuse_set_signal_handlers(fuse_get_session(fuse));
  // Many requests served at once, as a share's server does (and stays in
  // the foreground: whoever mounts it waits for it to end).
  struct fuse_loop_config* loop = fuse_loop_cfg_create();
  fuse_loop_cfg_set_max_threads(loop, 64);
  const int status = fuse_loop_mt(fuse, loop);
  fuse_loop_cfg_destroy(loop);
  fuse_remove_signal_handlers(fuse_get_session(fuse));
  fuse_unmount(fuse);
  fuse_destroy(fuse);
  free(options.mountpoint);
  fuse_opt_free_args(&args);
  fprintf(stderr, "slowfs: %lu operations served\n", atomic_load(&served));
  return status == 0 ? 0 : 1;
}
