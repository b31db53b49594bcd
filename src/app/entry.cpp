#include <memory>

#include "app/run.h"
#include "platform/platform.h"

namespace app {

int Main(Tool tool, int argc, char** argv) {
  const std::unique_ptr<platform::Platform> system = platform::MakeSystemPlatform();
  return Run(tool, platform::CommandLine(argc, argv), *system);
}

}  // namespace app
