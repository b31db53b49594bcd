#include "app/fit_run.h"

#include <memory>
#include <string>

#include "app/fit_summary.h"
#include "app/fit_walk.h"
#include "app/help.h"
#include "app/journal.h"
#include "fit/limits.h"
#include "fit/measured_path.h"

namespace app {
namespace {

// Sets `limits` to those of the run `command` asks for on `directory` (or,
// where null, with the folder the tree goes to not yet known); false,
// after saying why, where they hold no name at the floor.
bool LimitsOf(const FitCommand& command, const ResolvedDirectory* directory,
              platform::Platform& system, fit::Limits& limits) {
  const platform::Traits& traits = system.traits();
  fit::Asked asked;
  asked.destination = command.destination;
  asked.budget = command.budget;
  asked.floor = command.floor;
  asked.headroom = command.headroom;
  // The folder the tree goes to: --as, a path of Windows or of this
  // system, or where the tree is.
  const std::u16string base =
      command.hasAs ? fit::MeasuredPath(command.as, u"\\/")
      : directory != nullptr
          ? fit::MeasuredPath(
                std::u16string_view(directory->workPath).substr(0, directory->nameStart),
                traits.separators)
          : std::u16string();
  asked.base = base;
  const std::u16string_view as = command.as;
  asked.baseOnWindows = command.hasAs ? (as.size() >= 2 && as[1] == u':') ||
                                            as.substr(0, 2) == u"\\\\"
                                      : BackslashPaths(system);
  asked.namesAreBytes = traits.namesAreBytes;
  uint32_t least = 0;
  if (fit::LimitsOf(asked, limits, least)) return true;
  system.WriteLine(platform::Stream::Err, NoRoomLine(least, command));
  return false;
}

}  // namespace

int Fit(const Arguments& arguments, platform::Platform& system, Output& output) {
  FitCommand command;
  CommandError error;
  if (!ReadFitCommand(arguments, command, error)) {
    system.WriteLine(platform::Stream::Err, error.line);
    return error.usage ? Usage(Tool::kFit, system) : 1;
  }
  if (system.KindOf(command.directory.c_str()) == platform::Kind::kOther) {
    system.WriteLine(platform::Stream::Err, u"ERROR: " + command.directory + u" is not a directory.");
    return 1;
  }
  // Whether the limits hold a name at all does not depend on where the
  // tree is: said before the directory is looked for.
  fit::Limits limits;
  if (!LimitsOf(command, nullptr, system, limits)) return 1;
  ResolvedDirectory directory;
  if (!Resolve(command.directory, system, output, directory)) return 1;
  LimitsOf(command, &directory, system, limits);
  const std::unique_ptr<platform::Tree> tree = OpenTree(directory, system, output);
  if (tree == nullptr) return 1;
  if (command.preview) output.Gather();
  Journal journal(system, Tool::kFit, directory.workPath.substr(0, directory.nameStart));
  const Output::Keeping keeping = output.KeepIn(command.preview ? nullptr : &journal);
  const int status = FitTree(system, directory, *tree, output, command, limits);
  if (!command.preview && !system.Interrupted()) {
    // Where the way back is: this run's report, or where this run renamed
    // nothing (its report, redirected, may have been written over an
    // earlier one), the last run's here. A journal that could not be
    // written said so, and names nothing.
    journal.Flush();
    std::u16string kept = journal.failed() ? u"" : journal.path(), first;
    const bool earlier =
        !journal.failed() && journal.path().empty() &&
        Journal::LastRun(system, directory.workPath.substr(0, directory.nameStart), kept, first);
    if (!kept.empty()) {
      system.WriteLine(platform::Stream::Err,
                       std::u16string(earlier ? u"snipdir-fit: the report of the last run here "
                                                u"is kept in "
                                              : u"snipdir-fit: the report is kept in ") +
                           kept + u"; snipdir-undo --last " +
                           ShellQuoted(command.directory, BackslashPaths(system)) +
                           u" takes the run back.");
    }
  }
  const int finished = Finish(system, output);
  return finished != 0 ? finished : status;
}

}  // namespace app
