#include <memory>

#include "app/run.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  const std::unique_ptr<platform::Platform> system =
      platform::MakeSystemPlatform();
  const int status = app::Run(platform::CommandLine(argc, argv), *system);
  system->Flush();
  return status;
}
