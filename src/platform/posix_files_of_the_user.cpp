// The files of the user's own on POSIX: the journal's folder, and files
// that lines are added to.

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/posix_files.h"
#include "platform/posix_internal.h"
#include "text/utf8.h"

namespace platform {
namespace {

class PosixLineFile final : public LineFile {
 public:
  explicit PosixLineFile(Descriptor fd) : fd_(std::move(fd)) {}

  ErrorCode Add(std::u16string_view line) override {
    text::EncodeName(line, bytes_);
    bytes_ += '\n';
    std::string_view rest = bytes_;
    while (!rest.empty()) {
      const ssize_t written = write(fd_.get(), rest.data(), rest.size());
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return written < 0 ? Errno() : EIO;
      rest.remove_prefix(static_cast<size_t>(written));
    }
    return 0;
  }

  void Reserve(size_t units) override { bytes_.reserve(3 * units + 1); }

 private:
  Descriptor fd_;
  std::string bytes_;
};

// Makes the directory `path` and those above it that are missing, for this
// user alone.
ErrorCode MakeDirectories(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return Errno();
    if (slash == std::string::npos) return 0;
  }
}

}  // namespace

ErrorCode PosixJournalFolder(std::string& folder) {
  const char* state = getenv("XDG_STATE_HOME");
  if (state != nullptr && state[0] == '/') {
    folder = state;
  } else {
    const char* home = getenv("HOME");
    const passwd* user = home == nullptr || home[0] != '/' ? getpwuid(geteuid()) : nullptr;
    if (user != nullptr) home = user->pw_dir;
    if (home == nullptr || home[0] != '/') return ENOENT;
    folder = std::string(home) + "/.local/state";
  }
  folder += "/snipdir";
  if (const ErrorCode error = MakeDirectories(folder)) return error;
  folder += '/';
  return 0;
}

ErrorCode PosixFilesIn(const std::string& folder, std::vector<std::u16string>& names) {
  const Descriptor directory = OpenPath(folder, O_RDONLY | O_DIRECTORY);
  if (!directory.valid()) return Errno();
  size_t read = 0;
  return ReadListing(directory.get(), read, [&](const ListedRecord& record) {
    if (record.type == DT_REG) names.push_back(text::DecodeName(record.name));
  });
}

ErrorCode PosixOpenLineFile(const std::string& path, bool existing,
                            std::unique_ptr<LineFile>& file) {
  Descriptor fd(open(path.c_str(),
                    O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC | (existing ? 0 : O_CREAT | O_EXCL),
                    0600));
  if (!fd.valid()) return Errno();
  file = std::make_unique<PosixLineFile>(std::move(fd));
  return 0;
}

}  // namespace platform
