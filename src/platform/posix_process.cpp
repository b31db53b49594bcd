// The platform on POSIX systems (Linux): the process's side of it.
//
// Names are byte strings, converted losslessly to and from UTF-16. Every
// report line is written at once, and the user's requests to stop (SIGINT,
// SIGTERM, SIGHUP) are only noted, for the run to stop between two
// entries. Directories and trees are in posix_directory.cpp and
// posix_tree.cpp.

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix_files.h"
#include "platform/posix_internal.h"
#include "text/utf8.h"

namespace platform {
namespace {

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

class PosixPlatform final : public Platform {
 public:
  PosixPlatform() {
    static const bool prepared = (HoldClosedStandardDescriptors(), CatchStops(), true);
    (void)prepared;
    ReserveLine(kLineReserve);
  }

  void ReserveLine(size_t units) override { bytes_.reserve(3 * units + 1); }

  const Traits& traits() const override {
    static const Traits traits = {
        u"",     // longPathPrefix
        u"",     // longUncPrefix
        u'/',    // separator
        u"/",    // separators
        EEXIST,  // targetExists
        EINVAL,  // invalidName
        ENOENT,  // missing
        ESTALE,  // changedDirectory
        true,    // namesAreBytes
        true,    // sortListing
        EPIPE,   // closedPipe
        128 + SIGPIPE,  // closedPipeStatus
    };
    return traits;
  }

  ErrorCode AbsolutePath(const char16_t* path, uint32_t room, char16_t* destination,
                         uint32_t& length) override {
    // An empty argument never means the current directory.
    if (path[0] == u'\0') return ENOENT;
    std::u16string absolute;
    if (path[0] != u'/') {
      std::string bytes;
      if (const ErrorCode error = CurrentDirectory(bytes)) return error;
      absolute = text::DecodeName(bytes);
      if (absolute.back() != u'/') absolute += u'/';
    }
    absolute += path;
    length = Deliver(absolute, room, destination);
    return 0;
  }

  ErrorCode LongForm(char16_t* buffer, uint32_t room, uint32_t& length) override {
    // POSIX has no short names: the long form is the path itself, once it
    // is known to exist.
    std::string bytes;
    text::EncodeName(buffer, bytes);
    if (!OpenPath(bytes, O_PATH).valid()) return Errno();
    const std::u16string_view path(buffer);
    length = path.size() < room ? static_cast<uint32_t>(path.size())
                                : static_cast<uint32_t>(path.size() + 1);
    return 0;
  }

  ErrorCode OpenDirectory(const char16_t* path, std::unique_ptr<Directory>& directory) override {
    std::string bytes;
    text::EncodeName(path, bytes);
    return OpenPosixDirectory(bytes, directory);
  }

  ErrorCode OpenTree(const char16_t* path, std::unique_ptr<Tree>& tree) override {
    std::string bytes;
    text::EncodeName(path, bytes);
    return OpenPosixTree(bytes, tree);
  }

  Kind KindOf(const char16_t* path) override {
    std::string bytes;
    text::EncodeName(path, bytes);
    const Descriptor opened = OpenPath(bytes, O_PATH);
    struct stat status;
    if (!opened.valid() || fstat(opened.get(), &status) != 0) return Kind::kNothing;
    return S_ISDIR(status.st_mode) ? Kind::kDirectory : Kind::kOther;
  }

  ErrorCode ReadFile(const char16_t* path, const Pieces& take) override {
    Descriptor file;
    if (path != nullptr) {
      std::string name;
      text::EncodeName(path, name);
      file = OpenPath(name, O_RDONLY);
      if (!file.valid()) return Errno();
    }
    if (path == nullptr && inputClosed) return EBADF;
    const int fd = path != nullptr ? file.get() : STDIN_FILENO;
    char piece[64 * 1024];
    for (;;) {
      const ssize_t count = read(fd, piece, sizeof piece);
      if (count < 0 && errno == EINTR && stopSignal == 0) continue;
      if (count < 0) return Errno();
      if (count == 0 || take(std::string_view(piece, static_cast<size_t>(count))) == Go::kStop) return 0;
    }
  }

  ErrorCode WriteLine(Stream stream, std::u16string_view line) override {
    text::EncodeName(line, bytes_);
    bytes_ += '\n';
    return WriteAll(stream == Stream::Err ? STDERR_FILENO : STDOUT_FILENO, bytes_);
  }

  ErrorCode JournalFolder(std::u16string& folder) override {
    std::string bytes;
    if (const ErrorCode error = PosixJournalFolder(bytes)) return error;
    text::DecodeName(bytes, folder);
    return 0;
  }

  ErrorCode FilesIn(const std::u16string& folder, std::vector<std::u16string>& names) override {
    std::string bytes;
    text::EncodeName(folder, bytes);
    return PosixFilesIn(bytes, names);
  }

  ErrorCode OpenLineFile(const std::u16string& path, bool existing,
                         std::unique_ptr<LineFile>& file) override {
    std::string bytes;
    text::EncodeName(path, bytes);
    return PosixOpenLineFile(bytes, existing, file);
  }

  ErrorCode RemoveFile(const std::u16string& path) override {
    std::string bytes;
    text::EncodeName(path, bytes);
    return unlink(bytes.c_str()) == 0 ? 0 : Errno();
  }

  bool ShowsProgress() const override {
    static const bool terminal = isatty(STDERR_FILENO) == 1;
    return terminal;
  }

  void WriteProgress(std::u16string_view text) override {
    std::string bytes;
    text::EncodeName(text, bytes);
    WriteAll(STDERR_FILENO, bytes);
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
  static ErrorCode CurrentDirectory(std::string& out) {
    char* path = getcwd(nullptr, 0);
    if (path == nullptr) return Errno();
    out = path;
    free(path);
    return 0;
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
  for (int i = 0; i < argc; ++i) args.push_back(text::DecodeName(argv[i]));
  return args;
}

}  // namespace platform
