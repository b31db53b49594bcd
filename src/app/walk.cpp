#include "app/walk.h"

#include "pathres/path_buffer.h"

namespace app {

bool Open(const std::u16string& argument, platform::Platform& system,
          Output& output, OpenDirectory& opened) {
  std::u16string& workPath = opened.workPath;
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
  opened.nameStart = workPath.size();
  workPath += u'*';

  opened.listing = system.OpenDirectory(workPath.c_str());
  if (opened.listing == nullptr) {
    output.Line(WithNumber(u"ERROR: FindFirstFile() failed (", system.LastError(), u")."));
    return false;
  }
  return true;
}

int Finish(platform::Platform& system, Output& output) {
  if (system.Interrupted()) {
    output.Line(u"ERROR: Interrupted.");
    output.Flush();
    return system.ExitInterrupted();
  }
  output.Flush();
  return output.failed() ? 1 : 0;
}

}  // namespace app
