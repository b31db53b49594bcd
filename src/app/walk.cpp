#include "app/walk.h"

#include "pathres/path_buffer.h"

namespace app {
namespace {

using platform::ErrorCode;

std::u16string CannotList(ErrorCode error) {
  return WithNumber(u"ERROR: FindFirstFile() failed (", error, u").");
}

}  // namespace

bool Resolve(const std::u16string& argument, platform::Platform& system, Output& output,
             ResolvedDirectory& resolved) {
  std::u16string& workPath = resolved.workPath;
  {
    pathres::PathBuffer buffer;
    if (!pathres::ResolveLongPath(buffer, argument.c_str(), system)) {
      output.Line(WithNumber(u"ERROR: ", buffer.lastError));
      return false;
    }
    if (!buffer.resolved) {
      output.Line(WithNumber(u"ERROR: Specified path does not exist (", buffer.lastError,
                             u")."));
      return false;
    }
    workPath = buffer.text;
  }
  // A path that already ends in a separator (a drive root, or one typed with
  // a trailing separator) gets no second one: behind the long-path prefix an
  // empty component is not taken as the same directory.
  const char16_t separator = system.traits().separator;
  if (workPath.empty() || workPath.back() != separator) workPath += separator;
  resolved.nameStart = workPath.size();
  return true;
}

std::unique_ptr<platform::Directory> OpenListing(ResolvedDirectory& directory,
                                                 platform::Platform& system, Output& output) {
  directory.workPath.resize(directory.nameStart);
  std::unique_ptr<platform::Directory> listing;
  if (const ErrorCode error = system.OpenDirectory(directory.workPath.c_str(), listing)) {
    output.Line(CannotList(error));
  }
  return listing;
}

std::unique_ptr<platform::Tree> OpenTree(const ResolvedDirectory& directory,
                                         platform::Platform& system, Output& output) {
  const std::u16string path = directory.workPath.substr(0, directory.nameStart);
  std::unique_ptr<platform::Tree> tree;
  if (const ErrorCode error = system.OpenTree(path.c_str(), tree)) output.Line(CannotList(error));
  return tree;
}

int Finish(platform::Platform& system, Output& output) {
  if (system.Interrupted()) {
    output.Line(u"ERROR: Interrupted.");
    output.Flush();
    return system.ExitInterrupted();
  }
  output.Flush();
  if (output.closed()) return system.traits().closedPipeStatus;
  return output.failed() ? 1 : 0;
}

}  // namespace app
