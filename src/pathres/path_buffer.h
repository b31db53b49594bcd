// Turns the directory argument into its absolute long-form path, with the
// system's long-path prefix in front.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace pathres {

// A growable path buffer and the outcome of its last resolution. The holder
// owns `text` in every outcome; the destructor releases it.
struct PathBuffer {
  char16_t* text = nullptr;  // the path being built, terminated once resolved
  uint32_t capacity = 0;     // size of `text` in code units, terminator included
  uint32_t lastError = 0;    // error code of the step that failed, 0 if none
  bool resolved = false;     // true once `text` holds the finished path

  PathBuffer() = default;
  PathBuffer(const PathBuffer&) = delete;
  PathBuffer& operator=(const PathBuffer&) = delete;
  ~PathBuffer();
};

// Makes `path` absolute, puts the long-path prefix in front (unless `path`
// begins with two backslashes) and rewrites it in long form. Outcomes:
//   true,  resolved:      `text` holds the path;
//   true,  not resolved:  the path does not exist (lastError from that test);
//   false, lastError set: the path cannot be made absolute;
//   false, lastError 0:   memory ran out.
bool ResolveLongPath(PathBuffer& buffer, const char16_t* path,
                     platform::Platform& system);

}  // namespace pathres
