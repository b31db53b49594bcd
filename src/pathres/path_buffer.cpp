#include "pathres/path_buffer.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace pathres {
namespace {

constexpr uint32_t kInitialCapacity = 260;
constexpr uint64_t kMostBytes = std::numeric_limits<size_t>::max();

char16_t* Reallocate(PathBuffer& buffer, char16_t* block, uint32_t units) {
  // In a 32-bit program twice the units can pass the address space.
  const uint64_t bytes = uint64_t{units} * sizeof(char16_t);
  if (bytes > kMostBytes) return nullptr;
  return static_cast<char16_t*>(buffer.memory.reallocate(block, static_cast<size_t>(bytes)));
}

bool BeginsWithTwoBackslashes(const char16_t* path) {
  return path[0] == u'\\' && path[1] == u'\\';
}

// "\\?\..." and "\\.\...": paths the system takes as they stand.
bool IsVerbatim(const char16_t* path) {
  return BeginsWithTwoBackslashes(path) && (path[2] == u'?' || path[2] == u'.') &&
         path[3] == u'\\';
}

// Rewrites the share path of `length` units at `start` ("\\server\share...",
// typed so or made absolute from a relative path on a share) as
// `uncPrefix` and "server\share...", growing the buffer if needed. False
// when memory ran out.
bool PrefixShare(PathBuffer& buffer, uint32_t start, uint32_t length,
                 std::u16string_view uncPrefix) {
  const uint32_t rest = length - 2;  // after the two backslashes
  const uint32_t prefixLength = static_cast<uint32_t>(uncPrefix.size());
  if (rest > UINT32_MAX - prefixLength - 1) return false;
  const uint32_t needed = prefixLength + rest + 1;
  if (needed > buffer.capacity) {
    char16_t* grown = Reallocate(buffer, buffer.text, needed);
    if (grown == nullptr) return false;
    buffer.text = grown;
    buffer.capacity = needed;
  }
  std::memmove(buffer.text + prefixLength, buffer.text + start + 2,
               sizeof(char16_t) * (size_t{rest} + 1));
  std::memcpy(buffer.text, uncPrefix.data(), sizeof(char16_t) * prefixLength);
  return true;
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
  uint32_t count = 0;
  for (;;) {
    uint32_t offset = 0;
    if (prefixed) {
      std::memcpy(buffer.text, prefix.data(), sizeof(char16_t) * prefixLength);
      offset = prefixLength;
    }
    buffer.lastError =
        system.AbsolutePath(path, buffer.capacity - offset, buffer.text + offset, count);
    if (buffer.lastError != 0) return false;
    if (count <= buffer.capacity - prefixLength) break;

    buffer.memory.release(buffer.text);
    buffer.text = nullptr;
    if (count > UINT32_MAX - prefixLength) return false;  // no such buffer
    buffer.capacity = count + prefixLength;
    buffer.text = Reallocate(buffer, nullptr, buffer.capacity);
    if (buffer.text == nullptr) return false;
  }

  const std::u16string_view uncPrefix = system.traits().longUncPrefix;
  const uint32_t start = prefixed ? prefixLength : 0;
  if (!uncPrefix.empty() && !IsVerbatim(path) &&
      BeginsWithTwoBackslashes(buffer.text + start) &&
      !PrefixShare(buffer, start, count, uncPrefix)) {
    return false;
  }

  // Long form, in place over the whole buffer, the prefix included.
  for (;;) {
    uint32_t result = 0;
    buffer.lastError = system.LongForm(buffer.text, buffer.capacity, result);
    if (buffer.lastError != 0) return true;
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
