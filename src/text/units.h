// What a UTF-16 code unit of a name is: a unit of a surrogate pair, a lone
// surrogate, or, where names are byte strings, a byte that is not part of
// well-formed UTF-8. The name rule, the report and the byte-string
// conversion all go by these rules.
#pragma once

#include <cstdint>

namespace text {

constexpr bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
constexpr bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
constexpr bool IsSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

// Where names are byte strings, a byte from 80 to FF that is not part of
// well-formed UTF-8 stands as the lone low surrogate U+DC00 + byte (as
// Python's "surrogateescape" does), one unit for one byte.
constexpr char16_t kEscapedByteBase = 0xDC00;
constexpr bool IsEscapedByte(char16_t unit) { return unit >= 0xDC80 && unit <= 0xDCFF; }
constexpr char16_t EscapeByte(unsigned char byte) {
  return static_cast<char16_t>(kEscapedByteBase + byte);
}
constexpr unsigned char EscapedByte(char16_t unit) {
  return static_cast<unsigned char>(unit - kEscapedByteBase);
}

}  // namespace text
