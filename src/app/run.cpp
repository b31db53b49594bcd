#include "app/run.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <new>
#include <unordered_map>
#include <unordered_set>

#include "app/report.h"
#include "app/version.h"
#include "naming/shorten.h"
#include "naming/windows_names.h"
#include "pathres/path_buffer.h"

namespace app {
namespace {

using platform::ErrorCode;
using platform::Stream;

#define SNIPDIR_BANNER(NAME) \
  u"-= " NAME u" - <" SNIPDIR_CONTACT u"> " SNIPDIR_RELEASE_DATE u" =-"

constexpr std::u16string_view kSnipdirUsage[] = {
    SNIPDIR_BANNER(u"SNIPDIR"),
    u"Cuts all filenames in a directory to specified length.",
    u"Usage:",
    u"  snipdir <directory-path> [max-length,default=12]",
};
constexpr std::u16string_view kPreviewUsage[] = {
    SNIPDIR_BANNER(u"SNIPDIR-PREVIEW"),
    u"Shows how snipdir would cut the filenames in a directory; changes nothing.",
    u"Usage:",
    u"  snipdir-preview <directory-path> [max-length,default=12]",
};
constexpr std::u16string_view kUndoUsage[] = {
    SNIPDIR_BANNER(u"SNIPDIR-UNDO"),
    u"Renames the entries of a snipdir report back to their old names.",
    u"Usage:",
    u"  snipdir-undo <directory-path> <report-file|->",
};

#undef SNIPDIR_BANNER

// A message that carries a number: `before`, the number, `after`.
std::u16string WithNumber(std::u16string_view before, ErrorCode number,
                          std::u16string_view after = u"") {
  std::u16string message(before);
  AppendDecimal(message, number);
  return message += after;
}

bool IsSpace(char16_t c) {
  return c == u' ' || (c >= u'\t' && c <= u'\r');
}

// Writes the lines of a run and remembers whether the report on standard
// output could not be written.
class Output {
 public:
  explicit Output(platform::Platform& system) : system_(system) {
    notice_.reserve(platform::Platform::kLineReserve);
  }

  // Writes `line` to standard output. When it cannot be written, standard
  // error says so, with the line; false then and for every later line.
  bool Line(std::u16string_view line) {
    if (failed_) return false;
    const ErrorCode error = system_.WriteLine(Stream::Out, line);
    if (error == 0) return true;
    failed_ = true;
    notice_ = u"ERROR: Cannot write the report (";
    AppendDecimal(notice_, error);
    notice_ += u"): ";
    notice_ += line;
    system_.WriteLine(Stream::Err, notice_);  // nowhere left if this fails too
    return false;
  }

  bool failed() const { return failed_; }

 private:
  platform::Platform& system_;
  bool failed_ = false;
  std::u16string notice_;
};

// The resolved directory and its open listing.
struct OpenDirectory {
  // The directory's path and a separator, followed by the name slot.
  std::u16string workPath;
  size_t nameStart = 0;
  std::unique_ptr<platform::Directory> listing;
};

// Resolves `argument` and opens its listing; false after saying why not.
bool Open(const std::u16string& argument, platform::Platform& system,
          Output& output, OpenDirectory& opened) {
  std::u16string& workPath = opened.workPath;
  {
    pathres::PathBuffer buffer;
    if (!pathres::ResolveLongPath(buffer, argument.c_str(), system)) {
      output.Line(WithNumber(u"ERROR: ", buffer.lastError));
      return false;
    }
    if (!buffer.resolved) {
      output.Line(WithNumber(u"ERROR: Specified path does not exist (", buffer.lastError,
                             u")."));
      return false;
    }
    workPath = buffer.text;
  }
  // A path that already ends in a separator (a drive root, or one typed with
  // a trailing separator) gets no second one: behind the long-path prefix an
  // empty component is not taken as the same directory.
  const char16_t separator = system.traits().separator;
  if (workPath.empty() || workPath.back() != separator) workPath += separator;
  opened.nameStart = workPath.size();
  workPath += u'*';

  opened.listing = system.OpenDirectory(workPath.c_str());
  if (opened.listing == nullptr) {
    output.Line(WithNumber(u"ERROR: FindFirstFile() failed (", system.LastError(), u")."));
    return false;
  }
  return true;
}

// What every walk shares: the directory, the output, and the line buffer
// whose room is set aside before each rename, so that a rename that happened
// is reported even when memory has run out.
class WalkBase {
 protected:
  WalkBase(platform::Platform& system, OpenDirectory& directory, Output& output)
      : system_(system),
        traits_(system.traits()),
        directory_(*directory.listing),
        output_(output),
        workPath_(directory.workPath),
        nameStart_(directory.nameStart) {}

  // False once the walk must stop: the user asked, or the report cannot be
  // written.
  bool GoingOn() const { return !system_.Interrupted() && !output_.failed(); }

  // True for a name that could reach another directory or none at all.
  bool IsPlainName(std::u16string_view name) const {
    return !name.empty() && name != u"." && name != u".." &&
           name.find_first_of(traits_.separators) == std::u16string_view::npos &&
           name.find(u'\0') == std::u16string_view::npos;
  }

  std::u16string_view Name(const std::u16string& path) const {
    return std::u16string_view(path).substr(nameStart_);
  }

  // Sets the path buffer `path` to the directory's path and `name`.
  void SetPath(std::u16string& path, std::u16string_view name) const {
    path.assign(workPath_, 0, nameStart_);
    path += name;
  }

  void ReportRename(std::u16string_view oldName, std::u16string_view newName) {
    FormatRename(line_, oldName, newName, traits_.namesAreBytes);
    output_.Line(line_);
  }

  void ReportFailure(std::u16string_view name, ErrorCode error) {
    FormatFailure(line_, name, error, traits_.namesAreBytes);
    output_.Line(line_);
  }

  platform::Platform& system_;
  const platform::Traits& traits_;
  platform::Directory& directory_;
  Output& output_;
  std::u16string& workPath_;
  const size_t nameStart_;
  std::u16string line_;  // the report line of the entry in hand
};

// Renames the over-long entries of one directory, or, in a preview, only
// decides what each would be renamed to.
class CutWalk : private WalkBase {
 public:
  CutWalk(platform::Platform& system, OpenDirectory& directory, Output& output,
          uint32_t maxLength, bool preview)
      : WalkBase(system, directory, output),
        maxLength_(maxLength),
        preview_(preview) {}

  // False, after saying why, when the listing could not be read to its end:
  // then nothing is renamed.
  bool Run() {
    if (const ErrorCode error = ReadListing()) {
      output_.Line(WithNumber(u"ERROR: FindNextFile() failed (", error, u")."));
      return false;
    }
    taken_.reserve(taken_.size() + overLong_.size());
    if (preview_) barrier_ = directory_.RenameBarrier();
    for (const Listed& entry : overLong_) {
      if (!GoingOn()) break;
      Shorten(ListedName(entry), entry.isDirectory);
    }
    return true;
  }

 private:
  struct Listed {
    size_t offset;  // in names_
    size_t length;
    bool isDirectory;
  };

  // Steps through an entry's candidates: step 0 is the first candidate,
  // step s > 0 the first candidate with counter s - 1.
  static constexpr uint64_t kLastStep =
      uint64_t{std::numeric_limits<uint32_t>::max()} + 1;

  std::u16string_view ListedName(const Listed& entry) const {
    return std::u16string_view(names_).substr(entry.offset, entry.length);
  }

  // Reads the whole listing first: the over-long entries to work on, in the
  // order NTFS would list them where the system gives none, and the folded
  // form of every name a new name could equal (none longer than the limit).
  // Returns the error code of a listing that failed part-way, else 0.
  ErrorCode ReadListing() {
    platform::Entry entry;
    while (directory_.Next(entry)) {
      if (entry.name.size() > maxLength_) {
        overLong_.push_back({names_.size(), entry.name.size(), entry.isDirectory});
        names_ += entry.name;
      } else {
        naming::FoldCase(entry.name, folded_);
        taken_.insert(folded_);
      }
    }
    if (const ErrorCode error = directory_.ListingError()) return error;
    if (traits_.sortListing) {
      std::sort(overLong_.begin(), overLong_.end(), [this](const Listed& a, const Listed& b) {
        return naming::ListsBefore(ListedName(a), ListedName(b));
      });
    }
    return 0;
  }

  void Shorten(std::u16string_view name, bool isDirectory) {
    if (!IsPlainName(name)) {
      // Only an emulation of Windows on another system lists such a name.
      ReportFailure(name, traits_.invalidName);
      return;
    }
    SetPath(oldPath_, name);
    const naming::CutResult cut = naming::ShortenName(name, isDirectory, maxLength_);
    SetPath(candidate_, cut.newName);
    line_.reserve(ReportRoom(name, cut.newName));

    // Candidates known to be taken are skipped: during a run names are only
    // ever taken, never freed, so each one would fail again. The sequence
    // depends on the anchor as well as the name (a file's "abcdefgh.txt"
    // and a directory's differ from the first counter on).
    sequenceKey_.assign(cut.newName);
    sequenceKey_ += static_cast<char16_t>(cut.counterAnchor);
    const auto known = knownTaken_.find(sequenceKey_);
    uint64_t step = known == knownTaken_.end() ? 0 : known->second;
    ErrorCode error;
    for (;; ++step) {
      if (step > 0 && !WriteCounter(step, cut.counterAnchor)) {
        error = traits_.targetExists;
        break;
      }
      error = Attempt();
      if (error != traits_.targetExists) break;
    }
    if (error == 0) {
      ReportRename(name, Name(candidate_));
    } else {
      ReportFailure(name, error);
    }
    // What takes memory comes after the report, which a rename must have.
    const uint64_t knownNow = error == 0 ? step + 1 : step;
    if (known != knownTaken_.end()) {
      known->second = knownNow;
    } else if (knownNow > 1) {
      // A sequence whose first candidate was free is not worth remembering
      // until a second entry meets it.
      knownTaken_.emplace(sequenceKey_, knownNow);
    }
  }

  // Renames the entry to the candidate, or in a preview decides whether a
  // rename would succeed; 0 when it did, else the error code.
  ErrorCode Attempt() {
    const std::u16string_view name = Name(candidate_);
    // Names that do not work on Windows, or that equal another on some
    // volume that ignores case, count as taken.
    if (naming::IsReservedName(name)) return traits_.targetExists;
    // Taken here before the rename, so that nothing is left to remember
    // (and no memory to find) once it happened; given back if the rename
    // fails for another reason than the name being taken.
    naming::FoldCase(name, folded_);
    const auto [chosen, free] = taken_.insert(folded_);
    if (!free) return traits_.targetExists;
    const ErrorCode error = Move();
    if (error != 0 && error != traits_.targetExists) taken_.erase(chosen);
    return error;
  }

  // The rename itself; in a preview, what the system says of the name.
  ErrorCode Move() {
    if (!preview_) {
      return directory_.Rename(oldPath_.c_str(), candidate_.c_str(), nameStart_);
    }
    if (const ErrorCode error = directory_.LookUp(candidate_.c_str(), nameStart_)) {
      return error;
    }
    return barrier_;
  }

  // Writes the counter of `step` into the candidate; false when there is no
  // such counter or its digits do not fit in the name.
  bool WriteCounter(uint64_t step, uint32_t counterAnchor) {
    return step <= kLastStep &&
           naming::ApplyCounter(&candidate_[nameStart_], counterAnchor,
                                static_cast<uint32_t>(step - 1));
  }

  const uint32_t maxLength_;
  const bool preview_;
  ErrorCode barrier_ = 0;  // what every rename of a preview would meet
  std::u16string names_;   // the over-long names, end to end
  std::vector<Listed> overLong_;
  std::u16string oldPath_;
  std::u16string candidate_;
  // The folded forms (naming::FoldCase) of the listed names, of the new
  // names chosen, and of names a rename found taken.
  std::unordered_set<std::u16string> taken_;
  std::u16string folded_;
  // For each candidate sequence met in this run (its first candidate and
  // anchor): how many of its steps are known to be taken.
  std::unordered_map<std::u16string, uint64_t> knownTaken_;
  std::u16string sequenceKey_;
};

// Renames every entry a report lists back to its old name, last rename first.
class UndoWalk : private WalkBase {
 public:
  UndoWalk(platform::Platform& system, OpenDirectory& directory, Output& output)
      : WalkBase(system, directory, output) {}

  void Run(std::u16string_view report) {
    std::vector<std::u16string_view> lines;
    for (size_t start = 0; start < report.size();) {
      const size_t end = std::min(report.find(u'\n', start), report.size());
      lines.push_back(report.substr(start, end - start));
      start = end + 1;
    }
    for (size_t number = lines.size(); number > 0; --number) {
      if (!GoingOn()) return;
      std::u16string_view line = lines[number - 1];
      if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
      // Blank lines and the messages of the run name no rename.
      if (line.empty() || line.substr(0, 7) == u"ERROR: ") continue;
      if (!ParseRename(line, oldName_, newName_)) {
        output_.Line(WithNumber(u"ERROR: Line ", static_cast<ErrorCode>(number),
                                u" of the report cannot be read."));
        continue;
      }
      RenameBack();
    }
  }

 private:
  void RenameBack() {
    if (!IsPlainName(oldName_) || !IsPlainName(newName_)) {
      ReportFailure(newName_, traits_.invalidName);
      return;
    }
    SetPath(from_, newName_);
    SetPath(to_, oldName_);
    line_.reserve(ReportRoom(newName_, oldName_));
    const ErrorCode error = directory_.Rename(from_.c_str(), to_.c_str(), nameStart_);
    if (error == 0) {
      ReportRename(newName_, oldName_);
    } else {
      ReportFailure(newName_, error);
    }
  }

  std::u16string oldName_, newName_;  // as the report names them
  std::u16string from_, to_;
};

// Says that the user stopped the run, then ends it the way an interrupted
// program ends; otherwise the exit status of a run that walked its directory.
int Finish(platform::Platform& system, Output& output) {
  if (system.Interrupted()) {
    output.Line(u"ERROR: Interrupted.");
    return system.ExitInterrupted();
  }
  return output.failed() ? 1 : 0;
}

template <size_t N>
int Usage(platform::Platform& system, const std::u16string_view (&lines)[N]) {
  for (std::u16string_view line : lines) system.WriteLine(Stream::Err, line);
  return 1;
}

int Cut(const std::vector<std::u16string>& args, platform::Platform& system,
        Output& output, bool preview) {
  if (args.size() != 2 && args.size() != 3) {
    return preview ? Usage(system, kPreviewUsage) : Usage(system, kSnipdirUsage);
  }
  uint32_t maxLength = kDefaultMaxLength;
  if (args.size() == 3) {
    maxLength = ParseLimit(args[2]);
    if (maxLength < kLowestMaxLength || maxLength > kHighestMaxLength) {
      output.Line(u"ERROR: Maximum name length must be between 8 and 256.");
      return 1;
    }
  }
  OpenDirectory directory;
  if (!Open(args[1], system, output, directory)) return 1;
  if (!CutWalk(system, directory, output, maxLength, preview).Run()) return 1;
  return Finish(system, output);
}

int Undo(const std::vector<std::u16string>& args, platform::Platform& system,
         Output& output) {
  if (args.size() != 3) return Usage(system, kUndoUsage);
  OpenDirectory directory;
  if (!Open(args[1], system, output, directory)) return 1;
  std::string bytes;
  const bool fromStandardInput = args[2] == u"-";
  if (const ErrorCode error =
          system.ReadFile(fromStandardInput ? nullptr : args[2].c_str(), bytes)) {
    output.Line(WithNumber(u"ERROR: Cannot read the report (", error, u")."));
    return 1;
  }
  const std::u16string report = DecodeReport(bytes);
  bytes = std::string();  // the text is all the walk needs
  UndoWalk(system, directory, output).Run(report);
  return Finish(system, output);
}

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

int Run(Tool tool, const std::vector<std::u16string>& args,
        platform::Platform& system) {
  Output output(system);
  try {
    return tool == Tool::kUndo ? Undo(args, system, output)
                               : Cut(args, system, output, tool == Tool::kPreview);
  } catch (const std::bad_alloc&) {
    // Every rename made so far was reported; nothing is left half done.
    output.Line(u"ERROR: Out of memory.");
    return 1;
  }
}

}  // namespace app
