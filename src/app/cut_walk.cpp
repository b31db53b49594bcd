#include "app/cut_walk.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/command_line.h"
#include "naming/candidates.h"
#include "naming/shorten.h"
#include "naming/windows_names.h"

namespace app {
namespace {

using platform::ErrorCode;

// Renames the over-long entries of one directory, or, in a preview, only
// decides what each would be renamed to.
class CutWalk : private WalkBase {
 public:
  CutWalk(platform::Platform& system, ResolvedDirectory& directory,
          platform::Directory& listing, Output& output, uint32_t maxLength, bool preview)
      : WalkBase(system, output),
        directory_(listing),
        workPath_(directory.workPath),
        nameStart_(directory.nameStart),
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

  std::u16string_view Name(const std::u16string& path) const {
    return std::u16string_view(path).substr(nameStart_);
  }

  // Sets the path buffer `path` to the directory's path and `name`.
  void SetPath(std::u16string& path, std::u16string_view name) const {
    path.assign(workPath_, 0, nameStart_);
    path += name;
  }

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
      if (entry.name.size() <= maxLength_) {
        naming::FoldCase(entry.name, folded_);
        taken_.insert(folded_);
      } else if (!entry.isOutput) {  // the report being written keeps its name
        overLong_.push_back({names_.size(), entry.name.size(), entry.isDirectory});
        names_ += entry.name;
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
    // A stop is seen between two candidates too; the entry is then left as
    // it is, with no line.
    bool stopped = false;
    const naming::Found found = naming::SearchCandidates(
        &candidate_[nameStart_], cut.counterAnchor,
        known == knownTaken_.end() ? 0 : known->second, traits_.targetExists, [&] {
          stopped = system_.Interrupted();
          return stopped ? ErrorCode{0} : Attempt();
        });
    if (stopped) return;
    const ErrorCode error = found.answer;
    if (error == 0) {
      ReportRename(name, Name(candidate_));
    } else {
      ReportFailure(name, error);
    }
    // What takes memory comes after the report, which a rename must have.
    const uint64_t knownNow = error == 0 ? found.step + 1 : found.step;
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
    if (barrier_ != 0) return barrier_;
    return directory_.RenameRefusal(oldPath_.c_str(), nameStart_);
  }

  platform::Directory& directory_;
  const std::u16string& workPath_;
  const size_t nameStart_;
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

}  // namespace

int Cut(const std::vector<std::u16string>& operands, platform::Platform& system,
        Output& output, bool preview) {
  if (operands.size() != 1 && operands.size() != 2) {
    return Usage(preview ? Tool::kPreview : Tool::kSnipdir, system);
  }
  uint32_t maxLength = kDefaultMaxLength;
  if (operands.size() == 2) {
    maxLength = ParseLimit(operands[1]);
    if (maxLength < kLowestMaxLength || maxLength > kHighestMaxLength) {
      output.Line(u"ERROR: Maximum name length must be between 8 and 256.");
      return 1;
    }
  }
  ResolvedDirectory directory;
  if (!Resolve(operands[0], system, output, directory)) return 1;
  const std::unique_ptr<platform::Directory> listing = OpenListing(directory, system, output);
  if (listing == nullptr) return 1;
  if (preview) output.Gather();
  if (!CutWalk(system, directory, *listing, output, maxLength, preview).Run()) {
    output.Flush();
    return 1;
  }
  return Finish(system, output);
}


}  // namespace app
