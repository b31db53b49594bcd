#include "app/run.h"

#include <new>
#include <string>

#include "app/cut_walk.h"
#include "app/fit_walk.h"
#include "app/output.h"
#include "app/report.h"
#include "app/undo_walk.h"
#include "app/walk.h"

namespace app {
namespace {

using platform::ErrorCode;

// Says that the user stopped the run, then ends it the way an interrupted
// program ends; otherwise the exit status of a run that walked its directory.
int Finish(platform::Platform& system, Output& output) {
  if (system.Interrupted()) {
    output.Line(u"ERROR: Interrupted.");
    output.Flush();
    return system.ExitInterrupted();
  }
  output.Flush();
  return output.failed() ? 1 : 0;
}

int Cut(const std::vector<std::u16string>& args, platform::Platform& system,
        Output& output, bool preview) {
  if (args.size() != 2 && args.size() != 3) {
    return Usage(preview ? Tool::kPreview : Tool::kSnipdir, system);
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
  if (preview) output.Gather();
  if (!CutNames(system, directory, output, maxLength, preview)) {
    output.Flush();
    return 1;
  }
  return Finish(system, output);
}

int Undo(const std::vector<std::u16string>& args, platform::Platform& system,
         Output& output) {
  if (args.size() != 3) return Usage(Tool::kUndo, system);
  const bool fromStandardInput = args[2] == u"-";
  if (!fromStandardInput && system.KindOf(args[1].c_str()) == platform::Kind::kOther &&
      system.KindOf(args[2].c_str()) == platform::Kind::kDirectory) {
    output.Line(u"ERROR: The first argument must be the directory and the second the report.");
    return 1;
  }
  OpenDirectory directory;
  if (!Open(args[1], system, output, directory)) return 1;
  std::string bytes;
  if (const ErrorCode error =
          system.ReadFile(fromStandardInput ? nullptr : args[2].c_str(), bytes)) {
    if (system.Interrupted()) return Finish(system, output);
    output.Line(WithNumber(u"ERROR: Cannot read the report (", error, u")."));
    return 1;
  }
  const std::u16string report = DecodeReport(bytes);
  bytes = std::string();  // the text is all the walk needs
  RenameBack(system, directory, output, report);
  return Finish(system, output);
}

int Fit(const std::vector<std::u16string>& args, platform::Platform& system,
        Output& output) {
  FitCommand command;
  if (const int status = ReadFitCommand(args, system, command); status >= 0) return status;
  OpenDirectory directory;
  if (!Open(command.directory, system, output, directory)) return 1;
  if (command.preview) output.Gather();
  const int status = FitTree(system, directory, output, command);
  const int finished = Finish(system, output);
  return finished != 0 ? finished : status;
}

}  // namespace

int Run(Tool tool, const std::vector<std::u16string>& args,
        platform::Platform& system) {
  Output output(system);
  try {
    std::vector<std::u16string> line = args;
    switch (ReadCommandLine(line, system)) {
      case Request::kHelp: return Help(tool, system);
      case Request::kVersion: return Version(tool, system);
      case Request::kRun: break;
    }
    switch (tool) {
      case Tool::kUndo: return Undo(line, system, output);
      case Tool::kFit: return Fit(line, system, output);
      case Tool::kSnipdir:
      case Tool::kPreview: break;
    }
    return Cut(line, system, output, tool == Tool::kPreview);
  } catch (const std::bad_alloc&) {
    // Every rename made so far was reported; nothing is left half done.
    output.Line(u"ERROR: Out of memory.");
    output.Flush();
    return 1;
  }
}

}  // namespace app
