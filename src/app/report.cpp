#include "app/report.h"

#include <cstdint>

#include "text/units.h"

namespace app {
namespace {

constexpr char16_t kHexDigits[] = u"0123456789ABCDEF";

using text::IsHighSurrogate;
using text::IsLowSurrogate;
using text::IsSurrogate;

// Units that drive a terminal or change the order a line reads in: the C0
// and C1 controls, DEL, and the bidirectional marks, embeddings, overrides
// and isolates.
bool IsControl(char16_t unit) {
  return unit < 0x20 || (unit >= 0x7F && unit <= 0x9F) || unit == 0x200E || unit == 0x200F ||
         (unit >= 0x202A && unit <= 0x202E) || (unit >= 0x2066 && unit <= 0x2069);
}

void AppendHex(std::u16string& line, uint32_t value, int digits) {
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) {
    line += kHexDigits[(value >> shift) & 0xF];
  }
}

int HexValue(char16_t unit) {
  if (unit >= u'0' && unit <= u'9') return unit - u'0';
  if (unit >= u'A' && unit <= u'F') return unit - u'A' + 10;
  if (unit >= u'a' && unit <= u'f') return unit - u'a' + 10;
  return -1;
}

// Reads `digits` hexadecimal digits from the start of `text`.
bool ReadHex(std::u16string_view& text, int digits, uint32_t& value) {
  if (text.size() < static_cast<size_t>(digits)) return false;
  value = 0;
  for (int i = 0; i < digits; ++i) {
    const int digit = HexValue(text[i]);
    if (digit < 0) return false;
    value = value * 16 + static_cast<uint32_t>(digit);
  }
  text.remove_prefix(static_cast<size_t>(digits));
  return true;
}

// Reads one escape sequence, its backslash already read.
bool ReadEscape(std::u16string_view& text, std::u16string& name) {
  if (text.empty()) return false;
  const char16_t kind = text.front();
  text.remove_prefix(1);
  uint32_t value;
  switch (kind) {
    case u'\\': case u'"': name += kind; return true;
    case u't': name += u'\t'; return true;
    case u'n': name += u'\n'; return true;
    case u'r': name += u'\r'; return true;
    case u'x':
      if (!ReadHex(text, 2, value)) return false;
      // Bytes from 80 on stand for themselves in a byte-string name.
      name += value < 0x80 ? static_cast<char16_t>(value)
                           : text::EscapeByte(static_cast<unsigned char>(value));
      return true;
    case u'u':
      if (!ReadHex(text, 4, value)) return false;
      name += static_cast<char16_t>(value);
      return true;
    default:
      return false;
  }
}

// Reads a quoted name at the start of `text` and moves past it.
bool ReadQuoted(std::u16string_view& text, std::u16string& name) {
  name.clear();
  if (text.empty() || text.front() != u'"') return false;
  text.remove_prefix(1);
  while (!text.empty()) {
    const char16_t unit = text.front();
    text.remove_prefix(1);
    if (unit == u'"') return true;
    if (unit == u'\\') {
      if (!ReadEscape(text, name)) return false;
      continue;
    }
    // What the writer always escapes never stands bare in a report (C1 and
    // bidirectional controls stood bare in reports of version 1.0.0).
    if (unit < 0x20 || unit == 0x7F) return false;
    if (text::IsHighSurrogate(unit) && !text.empty() && text::IsLowSurrogate(text.front())) {
      name += unit;
      name += text.front();
      text.remove_prefix(1);
      continue;
    }
    if (text::IsSurrogate(unit)) return false;
    name += unit;
  }
  return false;  // no closing quote
}

bool Skip(std::u16string_view& text, std::u16string_view expected) {
  if (text.substr(0, expected.size()) != expected) return false;
  text.remove_prefix(expected.size());
  return true;
}

}  // namespace

void AppendDecimal(std::u16string& text, platform::ErrorCode code) {
  const int64_t value = static_cast<int32_t>(code);
  uint64_t magnitude = static_cast<uint64_t>(value < 0 ? -value : value);
  char16_t digits[10];
  size_t count = 0;
  do {
    digits[count++] = static_cast<char16_t>(u'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) text += u'-';
  while (count > 0) text += digits[--count];
}

void AppendQuoted(std::u16string& line, std::u16string_view name,
                  bool namesAreBytes) {
  line += u'"';
  AppendEscaped(line, name, namesAreBytes);
  line += u'"';
}

void AppendEscaped(std::u16string& line, std::u16string_view name, bool namesAreBytes) {
  size_t plain = 0;  // where the run of units that stand as they are began
  for (size_t i = 0; i < name.size(); ++i) {
    const char16_t unit = name[i];
    if (unit >= 0x20 && unit < 0x7F && unit != u'\\' && unit != u'"') continue;  // most
    if (unit >= 0x7F && !IsControl(unit) && !text::IsSurrogate(unit)) continue;
    if (text::IsHighSurrogate(unit) && i + 1 < name.size() && text::IsLowSurrogate(name[i + 1])) {
      ++i;  // a whole pair stands as it is
      continue;
    }
    line.append(name, plain, i - plain);
    plain = i + 1;
    switch (unit) {
      case u'\\': line += u"\\\\"; continue;
      case u'"': line += u"\\\""; continue;
      case u'\t': line += u"\\t"; continue;
      case u'\n': line += u"\\n"; continue;
      case u'\r': line += u"\\r"; continue;
      default: break;
    }
    if (namesAreBytes && text::IsEscapedByte(unit)) {
      line += u"\\x";
      AppendHex(line, text::EscapedByte(unit), 2);
    } else if (text::IsSurrogate(unit) || unit > 0x7F) {
      line += u"\\u";
      AppendHex(line, unit, 4);
    } else {
      line += u"\\x";
      AppendHex(line, unit, 2);
    }
  }
  line.append(name, plain, name.size() - plain);
}

size_t ReportRoom(std::u16string_view oldName, std::u16string_view newName) {
  return ReportRoom(oldName.size(), newName.size());
}

size_t ReportRoom(size_t oldLength, size_t newLength) {
  return kMaxEscapedUnit * (oldLength + newLength) + 16;
}

void FormatRename(std::u16string& line, std::u16string_view oldName,
                  std::u16string_view newName, bool namesAreBytes) {
  line.clear();
  AppendQuoted(line, oldName, namesAreBytes);
  line += u" => ";
  AppendQuoted(line, newName, namesAreBytes);
}

void FormatFailure(std::u16string& line, std::u16string_view name,
                   platform::ErrorCode code, bool namesAreBytes) {
  line = u"ERROR: ";
  AppendQuoted(line, name, namesAreBytes);
  line += u": MoveFile() failed (";
  AppendDecimal(line, code);
  line += u").";
}

bool ParseRename(std::u16string_view line, std::u16string& oldName,
                 std::u16string& newName) {
  return ReadQuoted(line, oldName) && Skip(line, u" => ") &&
         ReadQuoted(line, newName) && line.empty();
}

}  // namespace app
