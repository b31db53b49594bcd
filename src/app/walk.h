// What the walks of the three programs share: the directory resolved and
// opened, the paths of its entries, and the report lines of their renames.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "app/output.h"
#include "app/report.h"
#include "platform/platform.h"

namespace app {

// The resolved directory and its open listing.
struct OpenDirectory {
  // The directory's path and a separator, followed by the name slot.
  std::u16string workPath;
  size_t nameStart = 0;
  std::unique_ptr<platform::Directory> listing;
};

// Says that the user stopped the run, then ends it the way an interrupted
// program ends; otherwise writes what is left and returns the exit status
// of a run that walked its directory.
int Finish(platform::Platform& system, Output& output);

// Resolves `argument` and opens its listing; false after saying why not.
bool Open(const std::u16string& argument, platform::Platform& system,
          Output& output, OpenDirectory& opened);

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

  void ReportFailure(std::u16string_view name, platform::ErrorCode error) {
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

}  // namespace app
