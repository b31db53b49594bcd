#include <cstdlib>
#include <exception>
#include <memory>
#include <new>

#include "app/run.h"
#include "platform/platform.h"

namespace app {
namespace {

// Throwing takes memory too. Where even that ran out (the run-time could
// not set aside its reserve when the program started), the throw ends here
// instead of in an abort; every rename made was reported before it.
[[noreturn]] void OutOfMemoryAtTheEnd() {
  platform::WriteEmergencyLine("ERROR: Out of memory.");
  std::_Exit(1);
}

}  // namespace

int Main(Tool tool, int argc, char** argv) {
  std::set_terminate(OutOfMemoryAtTheEnd);
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
