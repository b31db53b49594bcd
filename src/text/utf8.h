// Lossless conversion between byte-string names (as POSIX file systems keep
// them) and UTF-16.
//
// Well-formed UTF-8 becomes UTF-16. A lone surrogate encoded in three bytes
// (ED A0..BF 80..BF: how NTFS-3G shows a lone surrogate of an NTFS name)
// becomes that one unit, as the name has it on Windows, except where the
// unit would stand for a byte (U+DC80 to U+DCFF) or form a pair with the
// unit after it. Every other byte that is not part of a well-formed
// sequence (stray continuation bytes, truncated or overlong sequences, bytes
// F5 to FF) becomes the single unit U+DC00 + byte (text/units.h). Each
// converts back to the same bytes, so every byte string survives the round
// trip unchanged.
#pragma once

#include <string>
#include <string_view>

namespace text {

void DecodeName(std::string_view bytes, std::u16string& out);
std::u16string DecodeName(std::string_view bytes);

// The byte form of `text`: UTF-8, an escaped byte as that byte, and any
// other lone surrogate in three bytes.
void EncodeName(std::u16string_view text, std::string& out);

}  // namespace text
