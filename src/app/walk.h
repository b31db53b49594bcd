// What the walks of the programs share: the directory resolved and opened,
// and the report lines of their renames.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "app/output.h"
#include "app/report.h"
#include "platform/platform.h"

namespace app {

// The resolved directory: its path and a separator, then the name slot.
struct ResolvedDirectory {
  std::u16string workPath;
  size_t nameStart = 0;
};

// Resolves `argument`; false after saying why not.
bool Resolve(const std::u16string& argument, platform::Platform& system, Output& output,
             ResolvedDirectory& resolved);

// Opens the listing of the resolved directory, or the directory for work on
// its tree; null after saying why not.
std::unique_ptr<platform::Directory> OpenListing(ResolvedDirectory& directory,
                                                 platform::Platform& system, Output& output);
std::unique_ptr<platform::Tree> OpenTree(const ResolvedDirectory& directory,
                                         platform::Platform& system, Output& output);

// Says that the user stopped the run, then ends it the way an interrupted
// program ends; otherwise writes what is left and returns the exit status
// of a run that walked its directory.
int Finish(platform::Platform& system, Output& output);

// What every walk shares: the system, the output, and the line buffer whose
// room is set aside before each rename, so that a rename that happened is
// reported even when memory has run out.
class WalkBase {
 protected:
  WalkBase(platform::Platform& system, Output& output)
      : system_(system), traits_(system.traits()), output_(output) {}

  // False once the walk must stop: the user asked, or the report cannot be
  // written.
  bool GoingOn() const { return !system_.Interrupted() && !output_.failed(); }

  // True for a name that could reach another directory or none at all.
  bool IsPlainName(std::u16string_view name) const {
    return !name.empty() && name != u"." && name != u".." &&
           name.find_first_of(traits_.separators) == std::u16string_view::npos &&
           name.find(u'\0') == std::u16string_view::npos;
  }

  // Makes the line of a rename, of at most `units` units, ready to be
  // written without memory: called before the rename it reports.
  void PrepareLine(size_t units) {
    line_.reserve(units);
    system_.ReserveLine(units);
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
  Output& output_;
  std::u16string line_;  // the report line of the entry in hand
};

}  // namespace app
