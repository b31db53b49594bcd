// Names as macOS stores them: decomposed as HFS+ decomposes (Unicode's
// canonical decomposition, NFD, leaving U+2000-U+2FFF, U+F900-U+FAFF and
// U+2F800-U+2FAFF as they are), from tables generated out of Unicode's data
// by tools/unicode/decompositions.py. Pure functions on UTF-16.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace naming {

// What one code point becomes: its length decomposed, in UTF-16 units and
// in UTF-8 bytes (its own length where it does not decompose).
struct DecomposedLength {
  uint32_t units16, bytes8;
};
DecomposedLength LengthDecomposed(char32_t code);

// Sets `out` to `name` decomposed, marks in their canonical order. A unit
// of no character (a lone surrogate) is kept as it is.
void Decompose(std::u16string_view name, std::u16string& out);

}  // namespace naming
