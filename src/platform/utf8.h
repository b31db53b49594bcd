// Lossless conversion between byte-string names (as POSIX file systems keep
// them) and UTF-16.
//
// Well-formed UTF-8 becomes UTF-16. Every byte that is not part of a
// well-formed sequence (stray continuation bytes, truncated or overlong
// sequences, encoded surrogates, bytes F5 to FF) becomes the single unit
// U+DC00 + byte, and converts back to that same byte. So every byte string
// survives the round trip unchanged.
#pragma once

#include <string>
#include <string_view>

namespace platform {

void DecodeName(std::string_view bytes, std::u16string& out);
std::u16string DecodeName(std::string_view bytes);

// False when `text` holds a surrogate that is neither half of a pair nor an
// escaped byte: such a name has no byte form.
bool EncodeName(std::u16string_view text, std::string& out);

}  // namespace platform
