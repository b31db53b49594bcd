#include "pathres/path_buffer.h"

#include <cstdlib>
#include <cstring>

namespace pathres {
namespace {

constexpr uint32_t kInitialCapacity = 260;

char16_t* Reallocate(PathBuffer& buffer, char16_t* block, uint32_t units) {
  return static_cast<char16_t*>(
      buffer.memory.reallocate(block, sizeof(char16_t) * size_t{units}));
}

bool BeginsWithTwoBackslashes(const char16_t* path) {
  return path[0] == u'\\' && path[1] == u'\\';
}

}  // namespace

const Allocator& HeapAllocator() {
  static const Allocator heap = {std::realloc, std::free};
  return heap;
}

PathBuffer::~PathBuffer() { memory.release(text); }

bool ResolveLongPath(PathBuffer& buffer, const char16_t* path,
                     platform::Platform& system) {
  buffer.lastError = 0;
  buffer.resolved = false;
  if (buffer.text == nullptr) {
    buffer.capacity = kInitialCapacity;
    buffer.text = Reallocate(buffer, nullptr, buffer.capacity);
    if (buffer.text == nullptr) return false;
  }

  // Absolute form, behind the prefix, growing the buffer until it fits. The
  // fit test keeps room for the prefix even when none is written, so that a
  // grown buffer always passes on the next round.
  const std::u16string_view prefix = system.traits().longPathPrefix;
  const uint32_t prefixLength = static_cast<uint32_t>(prefix.size());
  const bool prefixed = prefixLength > 0 && !BeginsWithTwoBackslashes(path);
  for (;;) {
    uint32_t offset = 0;
    if (prefixed) {
      std::memcpy(buffer.text, prefix.data(), sizeof(char16_t) * prefixLength);
      offset = prefixLength;
    }
    const uint32_t count = system.AbsolutePath(path, buffer.capacity - offset,
                                               buffer.text + offset);
    if (count == 0) {
      buffer.lastError = system.LastError();
      return false;
    }
    if (count <= buffer.capacity - prefixLength) break;

    buffer.memory.release(buffer.text);
    buffer.text = nullptr;
    if (count > UINT32_MAX - prefixLength) return false;  // no such buffer
    buffer.capacity = count + prefixLength;
    buffer.text = Reallocate(buffer, nullptr, buffer.capacity);
    if (buffer.text == nullptr) return false;
  }

  // Long form, in place over the whole buffer, the prefix included.
  for (;;) {
    const uint32_t result = system.LongForm(buffer.text, buffer.capacity);
    if (result == 0) {
      buffer.lastError = system.LastError();
      return true;
    }
    if (result <= buffer.capacity) {
      buffer.resolved = true;
      return true;
    }
    char16_t* grown = Reallocate(buffer, buffer.text, result);
    if (grown == nullptr) return false;
    buffer.text = grown;
    buffer.capacity = result;
  }
}

}  // namespace pathres
