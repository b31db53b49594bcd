#include "platform/utf8.h"

#include <cstdint>

namespace platform {
namespace {

constexpr char16_t kEscape = 0xDC00;

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

}  // namespace

void DecodeName(std::string_view bytes, std::u16string& out) {
  // Never more units than bytes: written through a pointer, then trimmed.
  out.resize(bytes.size());
  char16_t* next = out.data();
  while (!bytes.empty()) {
    const unsigned char lead = static_cast<unsigned char>(bytes[0]);
    if (lead < 0x80) {
      *next++ = lead;
      bytes.remove_prefix(1);
      continue;
    }
    char32_t codePoint;
    const size_t length = SequenceLength(bytes, codePoint);
    if (length == 0) {
      *next++ = static_cast<char16_t>(kEscape + lead);
      bytes.remove_prefix(1);
      continue;
    }
    if (codePoint >= 0x10000) {
      codePoint -= 0x10000;
      *next++ = static_cast<char16_t>(0xD800 + (codePoint >> 10));
      *next++ = static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF));
    } else {
      *next++ = static_cast<char16_t>(codePoint);
    }
    bytes.remove_prefix(length);
  }
  out.resize(static_cast<size_t>(next - out.data()));
}

std::u16string DecodeName(std::string_view bytes) {
  std::u16string out;
  DecodeName(bytes, out);
  return out;
}

bool EncodeName(std::u16string_view text, std::string& out) {
  // At most three bytes a unit: written through a pointer, then trimmed.
  out.resize(text.size() * 3);
  char* next = out.data();
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c < 0x80) {
      *next++ = static_cast<char>(c);
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() &&
        text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xDC80 && c <= 0xDCFF) {
      *next++ = static_cast<char>(c - kEscape);  // an escaped byte
      continue;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      out.clear();
      return false;
    }
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
  return true;
}

}  // namespace platform
