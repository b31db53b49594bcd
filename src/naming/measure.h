// How long a name is where it is going: places count names in UTF-16
// units, in UTF-8 bytes, or in either after decomposing the name as macOS
// does (Unicode's canonical decomposition, NFD, leaving U+2000-U+2FFF,
// U+F900-U+FAFF and U+2F800-U+2FAFF as they are, as HFS+ does). Pure
// functions on UTF-16; a name is only measured, never rewritten.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace naming {

enum class Unit : uint8_t {
  kUtf16,     // UTF-16 code units, as Windows counts
  kUtf8,      // UTF-8 bytes, as Linux counts
  kNfdUtf16,  // UTF-16 units of the decomposed name
  kNfdUtf8,   // UTF-8 bytes of the decomposed name
  kUcs2Bytes,  // two bytes a UTF-16 unit, as Joliet stores names
};

// Measures names in one unit. Where names are byte strings, a unit that
// stands for a byte of no character (units.h) counts as that one byte;
// a lone surrogate counts as the three bytes it is written as.
class Measure {
 public:
  explicit Measure(Unit unit = Unit::kUtf16, bool namesAreBytes = false)
      : unit_(unit), namesAreBytes_(namesAreBytes) {}

  // True when a name's length is its number of UTF-16 units.
  bool CountsUnits() const { return unit_ == Unit::kUtf16; }
  uint32_t Of(std::u16string_view name) const;
  // Sets `prefixes[i]` to the length of the first i units of `name`, for
  // i from 0 to its size (the two units of a pair count at the first).
  void Prefixes(std::u16string_view name, std::vector<uint32_t>& prefixes) const;

 private:
  uint32_t Weight(std::u16string_view name, size_t at) const;

  Unit unit_;
  bool namesAreBytes_;
};

}  // namespace naming
