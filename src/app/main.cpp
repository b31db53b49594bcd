#include <memory>
#include <new>

#include "app/run.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  const std::unique_ptr<platform::Platform> system =
      platform::MakeSystemPlatform();
  int status = 1;
  try {
    status = app::Run(platform::CommandLine(argc, argv), *system);
  } catch (const std::bad_alloc&) {
    // Every rename already made was reported; stop before the next one.
    system->WriteLine(platform::Stream::Out, u"ERROR: Out of memory.");
  }
  system->Flush();
  return status;
}
