// Turns the directory argument into its absolute long-form path, with the
// system's long-path prefix in front.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace pathres {

// Where the buffer's memory comes from. Tests replace it to make
// allocation fail.
struct Allocator {
  // Resizes `block` (null: allocates) to `bytes`; null when memory ran out,
  // leaving `block` as it was.
  void* (*reallocate)(void* block, size_t bytes);
  // Releases a block from `reallocate`.
  void (*release)(void* block);
};

// The C library's realloc and free.
const Allocator& HeapAllocator();

// A growable path buffer and the outcome of its last resolution. The holder
// owns `text` in every outcome; the destructor releases it.
struct PathBuffer {
  explicit PathBuffer(const Allocator& allocator = HeapAllocator())
      : memory(allocator) {}

  char16_t* text = nullptr;  // the path being built, terminated once resolved
  uint32_t capacity = 0;     // size of `text` in code units, terminator included
  uint32_t lastError = 0;    // error code of the step that failed, 0 if none
  bool resolved = false;     // true once `text` holds the finished path

  const Allocator& memory;

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
