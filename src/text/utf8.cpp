#include "text/utf8.h"

#include "text/units.h"

#include <cstdint>

namespace text {
namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Length of the well-formed UTF-8 sequence at the start of `bytes`, 0 when
// there is none. Bounds follow the Unicode table of well-formed sequences.
size_t SequenceLength(std::string_view bytes, char32_t& codePoint) {
  const unsigned char lead = static_cast<unsigned char>(bytes[0]);
  if (lead < 0x80) {
    codePoint = lead;
    return 1;
  }
  size_t length;
  unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    codePoint = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    codePoint = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    codePoint = lead & 0x07;
    if (lead == 0xF0) low = 0x90;   // no overlong forms
    if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
  } else {
    return 0;
  }
  if (bytes.size() < length) return 0;
  const unsigned char second = static_cast<unsigned char>(bytes[1]);
  if (second < low || second > high) return 0;
  for (size_t i = 1; i < length; ++i) {
    const unsigned char byte = static_cast<unsigned char>(bytes[i]);
    if (!IsContinuation(byte)) return 0;
    codePoint = (codePoint << 6) | (byte & 0x3F);
  }
  return length;
}

// The unit of the surrogate that `bytes` begin with in three bytes (ED A0..BF
// 80..BF, as NTFS-3G shows a lone surrogate of an NTFS name), or 0. Units
// U+DC80 to U+DCFF stand for single bytes, so their three bytes do not
// become one unit.
char16_t EncodedSurrogate(std::string_view bytes) {
  if (bytes.size() < 3) return 0;
  const unsigned char lead = static_cast<unsigned char>(bytes[0]);
  const unsigned char second = static_cast<unsigned char>(bytes[1]);
  const unsigned char third = static_cast<unsigned char>(bytes[2]);
  if (lead != 0xED || second < 0xA0 || second > 0xBF || !IsContinuation(third)) return 0;
  const char16_t unit = static_cast<char16_t>(0xD000 | (second & 0x3F) << 6 | (third & 0x3F));
  return IsEscapedByte(unit) ? 0 : unit;
}

// True when `bytes` begin with what decodes to a low surrogate unit: a byte
// that is not well-formed UTF-8 (escaped), or an encoded low surrogate.
bool StartsLow(std::string_view bytes) {
  if (bytes.empty() || static_cast<unsigned char>(bytes[0]) < 0x80) return false;
  char32_t codePoint;
  return SequenceLength(bytes, codePoint) == 0;
}

}  // namespace

void DecodeName(std::string_view bytes, std::u16string& out) {
  // Never more units than bytes: written through a pointer, then trimmed.
  out.resize(bytes.size());
  char16_t* const begin = out.data();
  char16_t* next = begin;
  while (!bytes.empty()) {
    const unsigned char lead = static_cast<unsigned char>(bytes[0]);
    if (lead < 0x80) {
      *next++ = lead;
      bytes.remove_prefix(1);
      continue;
    }
    char32_t codePoint;
    const size_t length = SequenceLength(bytes, codePoint);
    if (length != 0) {
      if (codePoint >= 0x10000) {
        codePoint -= 0x10000;
        *next++ = static_cast<char16_t>(0xD800 + (codePoint >> 10));
        *next++ = static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF));
      } else {
        *next++ = static_cast<char16_t>(codePoint);
      }
      bytes.remove_prefix(length);
      continue;
    }
    if (const char16_t surrogate = EncodedSurrogate(bytes)) {
      if (IsLowSurrogate(surrogate)) {
        *next++ = surrogate;
        bytes.remove_prefix(3);
        continue;
      }
      // A high unit before a low one would read as a pair, which stands for
      // other bytes: a run of encoded high surrogates followed by something
      // that decodes to a low unit stays escaped, byte by byte.
      size_t run = 3;
      while (IsHighSurrogate(EncodedSurrogate(bytes.substr(run)))) run += 3;
      if (StartsLow(bytes.substr(run))) {
        for (size_t i = 0; i < run; ++i) {
          *next++ = EscapeByte(static_cast<unsigned char>(bytes[i]));
        }
      } else {
        for (size_t i = 0; i < run; i += 3) *next++ = EncodedSurrogate(bytes.substr(i));
      }
      bytes.remove_prefix(run);
      continue;
    }
    *next++ = EscapeByte(lead);
    bytes.remove_prefix(1);
  }
  out.resize(static_cast<size_t>(next - begin));
}

std::u16string DecodeName(std::string_view bytes) {
  std::u16string out;
  DecodeName(bytes, out);
  return out;
}

void EncodeName(std::u16string_view text, std::string& out) {
  // At most three bytes a unit: written through a pointer, then trimmed.
  out.resize(text.size() * 3);
  char* next = out.data();
  // Most text is ASCII: sixteen units at a time while they are, a byte a
  // unit.
  size_t i = 0;
  for (; i + 16 <= text.size(); i += 16) {
    char16_t any = 0;
    for (size_t k = 0; k < 16; ++k) any |= text[i + k];
    if (any >= 0x80) break;
    for (size_t k = 0; k < 16; ++k) next[k] = static_cast<char>(text[i + k]);
    next += 16;
  }
  for (; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c < 0x80) {
      *next++ = static_cast<char>(c);
      continue;
    }
    if (IsHighSurrogate(text[i]) && i + 1 < text.size() &&
        IsLowSurrogate(text[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (IsEscapedByte(text[i])) {
      *next++ = static_cast<char>(EscapedByte(text[i]));
      continue;
    }
    // Every other unit, a lone surrogate too, as its three bytes.
    if (c < 0x800) {
      *next++ = static_cast<char>(0xC0 | (c >> 6));
      *next++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      *next++ = static_cast<char>(0xE0 | (c >> 12));
      *next++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *next++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
      *next++ = static_cast<char>(0xF0 | (c >> 18));
      *next++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      *next++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *next++ = static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  out.resize(static_cast<size_t>(next - out.data()));
}

}  // namespace text
