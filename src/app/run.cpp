#include "app/run.h"

#include <new>
#include <string>

#include "app/cut_walk.h"
#include "app/fit_run.h"
#include "app/help.h"
#include "app/output.h"
#include "app/undo_walk.h"

namespace app {

int Run(Tool tool, const std::vector<std::u16string>& args,
        platform::Platform& system) {
  Output output(system);
  try {
    const Arguments arguments = ReadArguments(tool, args, system);
    switch (arguments.request) {
      case Request::kHelp: return Help(tool, system);
      case Request::kVersion: return Version(tool, system);
      case Request::kWrong:
        system.WriteLine(platform::Stream::Err, arguments.wrong);
        return Usage(tool, system);
      case Request::kRun: break;
    }
    switch (tool) {
      case Tool::kUndo: return Undo(arguments, system, output);
      case Tool::kFit: return Fit(arguments, system, output);
      case Tool::kSnipdir:
      case Tool::kPreview: break;
    }
    return Cut(arguments.operands, system, output, tool == Tool::kPreview);
  } catch (const std::bad_alloc&) {
    // Every rename made so far was reported; nothing is left half done.
    output.Line(u"ERROR: Out of memory.");
    output.Flush();
    return 1;
  }
}

}  // namespace app
