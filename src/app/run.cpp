#include "app/run.h"

#include <initializer_list>
#include <limits>
#include <memory>
#include <new>
#include <unordered_map>

#include "naming/shorten.h"
#include "pathres/path_buffer.h"

namespace app {
namespace {

using platform::Stream;

constexpr std::u16string_view kUsage[] = {
    u"-= SNIPDIR - <snipdir@users.noreply.example> 2026/12/08 =-",
    u"Cuts all filenames in a directory to specified length.",
    u"Usage:",
    u"  snipdir <directory-path> [max-length,default=12]",
};

// A system error code as a signed decimal number.
std::u16string Decimal(platform::ErrorCode code) {
  const int64_t value = static_cast<int32_t>(code);
  uint64_t magnitude = value < 0 ? -value : value;
  std::u16string digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + magnitude % 10));
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) digits.insert(digits.begin(), u'-');
  return digits;
}

std::u16string Join(std::initializer_list<std::u16string_view> parts) {
  std::u16string text;
  for (std::u16string_view part : parts) text += part;
  return text;
}

bool IsSpace(char16_t c) {
  return c == u' ' || (c >= u'\t' && c <= u'\r');
}

// Renames the over-long entries of one listed directory.
class Walk {
 public:
  Walk(platform::Platform& system, platform::Directory& directory,
       std::u16string& workPath, size_t nameStart, uint32_t maxLength)
      : system_(system),
        directory_(directory),
        workPath_(workPath),
        nameStart_(nameStart),
        maxLength_(maxLength) {}

  void Run() {
    platform::Entry entry;
    while (directory_.Next(entry)) {
      if (entry.name.size() > maxLength_) Shorten(entry);
    }
  }

 private:
  // Steps through an entry's candidates: step 0 is the first candidate,
  // step s > 0 the first candidate with counter s - 1.
  static constexpr uint64_t kLastStep =
      uint64_t{std::numeric_limits<uint32_t>::max()} + 1;

  void Shorten(const platform::Entry& entry) {
    workPath_.replace(nameStart_, std::u16string::npos, entry.name);
    oldPath_ = workPath_;
    const naming::CutResult cut =
        naming::ShortenName(entry.name, entry.isDirectory, maxLength_);
    candidate_.assign(workPath_, 0, nameStart_);
    candidate_ += cut.newName;

    // Candidates known to be taken are skipped: during a run names are only
    // ever taken, never freed, so each one would fail again. The sequence
    // depends on the anchor as well as the name (a file's "abcdefgh.txt"
    // and a directory's differ from the first counter on).
    sequenceKey_.assign(cut.newName);
    sequenceKey_ += static_cast<char16_t>(cut.counterAnchor);
    uint64_t& knownTaken = knownTaken_[sequenceKey_];
    uint64_t step = knownTaken;
    for (;;) {
      if (step > 0 && !WriteCounter(step, cut.counterAnchor)) {
        knownTaken = step;
        Report(Failure(system_.TargetExists()));
        return;
      }
      if (directory_.Rename(oldPath_.c_str(), candidate_.c_str(), nameStart_)) {
        knownTaken = step + 1;
        Report(Join({u"\"", Name(oldPath_), u"\" => \"", Name(candidate_), u"\""}));
        return;
      }
      const platform::ErrorCode error = system_.LastError();
      if (error != system_.TargetExists()) {
        knownTaken = step;
        Report(Failure(error));
        return;
      }
      ++step;
    }
  }

  // Writes the counter of `step` into the candidate; false when there is no
  // such counter or its digits do not fit in the name.
  bool WriteCounter(uint64_t step, uint32_t counterAnchor) {
    return step <= kLastStep &&
           naming::ApplyCounter(&candidate_[nameStart_], counterAnchor,
                                static_cast<uint32_t>(step - 1));
  }

  std::u16string Failure(platform::ErrorCode error) const {
    return Join({u"ERROR: \"", Name(oldPath_), u"\": MoveFile() failed (",
                 Decimal(error), u")."});
  }

  std::u16string_view Name(const std::u16string& path) const {
    return std::u16string_view(path).substr(nameStart_);
  }

  void Report(const std::u16string& line) {
    system_.WriteLine(Stream::Out, line);
  }

  platform::Platform& system_;
  platform::Directory& directory_;
  std::u16string& workPath_;
  const size_t nameStart_;
  const uint32_t maxLength_;
  std::u16string oldPath_;
  std::u16string candidate_;
  // For each candidate sequence met in this run (its first candidate and
  // anchor): how many of its steps are known to be taken.
  std::unordered_map<std::u16string, uint64_t> knownTaken_;
  std::u16string sequenceKey_;
};

}  // namespace

uint32_t ParseLimit(std::u16string_view text) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  int64_t value = 0;
  constexpr int64_t kCeiling = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = value * 10 + (text[i] - u'0');
    if (value > kCeiling) value = kCeiling;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int32_t>::max()) {
    value = std::numeric_limits<int32_t>::max();
  }
  return static_cast<uint32_t>(static_cast<int32_t>(value));
}

namespace {

int RunOrThrow(const std::vector<std::u16string>& args,
               platform::Platform& system) {
  if (args.size() != 2 && args.size() != 3) {
    for (std::u16string_view line : kUsage) system.WriteLine(Stream::Err, line);
    return 1;
  }

  uint32_t maxLength = kDefaultMaxLength;
  if (args.size() == 3) {
    maxLength = ParseLimit(args[2]);
    if (maxLength < kLowestMaxLength || maxLength > kHighestMaxLength) {
      system.WriteLine(Stream::Out,
                       u"ERROR: Maximum name length must be between 8 and 256.");
      return 1;
    }
  }

  std::u16string workPath;
  {
    pathres::PathBuffer buffer;
    if (!pathres::ResolveLongPath(buffer, args[1].c_str(), system)) {
      system.WriteLine(Stream::Out, u"ERROR: " + Decimal(buffer.lastError));
      return 1;
    }
    if (!buffer.resolved) {
      system.WriteLine(Stream::Out, u"ERROR: Specified path does not exist (" +
                                        Decimal(buffer.lastError) + u").");
      return 1;
    }
    workPath = buffer.text;
  }
  // A path that already ends in a separator (a drive root, or one typed with
  // a trailing separator) gets no second one: behind the long-path prefix an
  // empty component is not taken as the same directory.
  if (workPath.empty() || workPath.back() != system.Separator()) {
    workPath += system.Separator();
  }
  const size_t nameStart = workPath.size();
  workPath += u'*';

  const std::unique_ptr<platform::Directory> directory =
      system.OpenDirectory(workPath.c_str());
  if (directory == nullptr) {
    system.WriteLine(Stream::Out, u"ERROR: FindFirstFile() failed (" +
                                      Decimal(system.LastError()) + u").");
    return 1;
  }
  Walk(system, *directory, workPath, nameStart, maxLength).Run();
  return 0;
}

}  // namespace

int Run(const std::vector<std::u16string>& args, platform::Platform& system) {
  try {
    return RunOrThrow(args, system);
  } catch (const std::bad_alloc&) {
    // Every rename made so far was reported; nothing is left half done.
    system.WriteLine(Stream::Out, u"ERROR: Out of memory.");
    return 1;
  }
}

}  // namespace app
