#include "app/cut_walk.h"

#include <algorithm>
#include <vector>

#include "app/command_line.h"
#include "app/help.h"
#include "app/fit_summary.h"
#include "fit/destinations.h"
#include "naming/candidates.h"
#include "naming/name_set.h"
#include "naming/remembered_steps.h"
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
    taken_.Reserve(overLong_.size(), overLong_.size() * maxLength_);
    if (preview_) barrier_ = directory_.RenameBarrier();
    // The first candidate of each entry is made while the entry before is
    // worked on, and its place in the table of taken names is fetched
    // right after that entry's rename: the system's work on a rename
    // leaves little of this program's memory in the cache.
    const size_t count = overLong_.size();
    if (count > 0) Prepare(0);
    for (size_t i = 0; i < count; ++i) {
      if (!GoingOn()) break;
      next_ = i + 1 < count ? &ahead_[(i + 1) % 2] : nullptr;
      if (next_ != nullptr) Prepare(i + 1);
      Shorten(overLong_[i], ahead_[i % 2]);
    }
    return true;
  }

 private:
  struct Listed {
    uint64_t key;     // for sorting
    uint32_t offset;  // in names_
    uint16_t length;
    bool isDirectory;
  };

  std::u16string_view Name(const std::u16string& path) const {
    return std::u16string_view(path).substr(nameStart_);
  }

  // Sets the path buffer `path` to the directory's path and `name`; the
  // directory's path is written into a buffer once.
  void SetPath(std::u16string& path, std::u16string_view name) const {
    if (path.size() < nameStart_) path.assign(workPath_, 0, nameStart_);
    path.resize(nameStart_);
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
    for (bool end = false;;) {
      if (const ErrorCode error = directory_.Next(entry, end)) return error;
      if (end) break;
      if (entry.name.size() <= maxLength_) {
        naming::FoldCase(entry.name, folded_);
        taken_.Insert(folded_);
      } else if (!entry.isOutput) {  // the report being written keeps its name
        overLong_.push_back({0, static_cast<uint32_t>(names_.size()),
                             static_cast<uint16_t>(entry.name.size()), entry.isDirectory});
        names_ += entry.name;
      }
    }
    if (traits_.sortListing) {
      naming::SortAsListed(overLong_.data(), overLong_.data() + overLong_.size(),
                           [this](const Listed& listed) { return ListedName(listed); });
      // The names are laid out again in the order they are worked on: read
      // one after another, they come from the cache.
      std::u16string sorted;
      sorted.reserve(names_.size());
      for (Listed& listed : overLong_) {
        const std::u16string_view name = ListedName(listed);
        listed.offset = static_cast<uint32_t>(sorted.size());
        sorted += name;
      }
      names_.swap(sorted);
    }
    return 0;
  }

  // An entry's first candidate, and where it would be in the table of
  // names taken.
  struct Prepared {
    naming::CutResult cut;
    std::u16string folded;
    uint64_t hash = 0;
  };
  void Prepare(size_t index) {
    const Listed& entry = overLong_[index];
    Prepared& prepared = ahead_[index % 2];
    naming::ShortenName(ListedName(entry), entry.isDirectory, maxLength_, prepared.cut);
    naming::FoldCase(prepared.cut.newName, prepared.folded);
    prepared.hash = naming::NameSet::Hash(prepared.folded);
  }

  void Shorten(const Listed& entry, Prepared& prepared) {
    const std::u16string_view name = ListedName(entry);
    if (!IsPlainName(name)) {
      // Only an emulation of Windows on another system lists such a name.
      ReportFailure(name, traits_.invalidName);
      return;
    }
    SetPath(oldPath_, name);
    const naming::CutResult& cut = prepared.cut;
    SetPath(candidate_, cut.newName);
    PrepareLine(ReportRoom(name, cut.newName));

    // Candidates known to be taken are skipped.
    const uint64_t start = remembered_.Start(cut);
    // A stop is seen between two candidates too; the entry is then left as
    // it is, with no line.
    bool stopped = false;
    first_ = start == 0 ? &prepared : nullptr;
    const naming::Found found = naming::SearchCandidates(
        &candidate_[nameStart_], cut.counterAnchor, start, traits_.targetExists, [&] {
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
    remembered_.Ended(error == 0 ? found.step + 1 : found.step);
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
    // The first candidate was folded when it was prepared.
    const bool first = first_ != nullptr;
    if (!first) naming::FoldCase(name, folded_);
    const bool free = first ? taken_.Insert(first_->folded, first_->hash).second
                            : taken_.Insert(folded_).second;
    first_ = nullptr;
    if (!free) return traits_.targetExists;
    const ErrorCode error = Move();
    if (next_ != nullptr) taken_.Prefetch(next_->hash);
    if (error != 0 && error != traits_.targetExists) taken_.EraseLast();
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
  std::vector<Listed> overLong_;  // in the order they are worked on
  Prepared ahead_[2];                // the entry in hand's, and the next one's
  const Prepared* next_ = nullptr;
  const Prepared* first_ = nullptr;  // while the candidate is an entry's first
  std::u16string oldPath_;
  std::u16string candidate_;
  // The folded forms (naming::FoldCase) of the listed names, of the new
  // names chosen, and of names a rename found taken.
  naming::NameSet taken_;
  std::u16string folded_;
  // For each candidate sequence met in this run (its first candidate and
  // anchor): how many of its steps are known to be taken.
  naming::RememberedSteps remembered_;
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
      if (const fit::Destination* destination = fit::FindDestination(operands[1])) {
        // A destination where a length belongs: the user meant snipdir-fit.
        system.WriteLine(platform::Stream::Err,
                         u"(To fit a whole tree for " + std::u16string(destination->name) +
                             u": snipdir-fit " + (preview ? u"--preview " : u"") +
                             ShellQuoted(operands[0], BackslashPaths(system)) + u" " +
                             std::u16string(destination->name) + u")");
      }
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
