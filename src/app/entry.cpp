#include <memory>
#include <new>

#include "app/run.h"
#include "platform/platform.h"

namespace app {

int Main(Tool tool, int argc, char** argv) {
  try {
    const std::unique_ptr<platform::Platform> system = platform::MakeSystemPlatform();
    return Run(tool, platform::CommandLine(argc, argv), *system);
  } catch (const std::bad_alloc&) {
    // Before the run could set itself up: nothing was renamed.
    platform::WriteEmergencyLine("ERROR: Out of memory.");
    return 1;
  }
}

}  // namespace app
