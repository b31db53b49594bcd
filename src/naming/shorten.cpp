#include "naming/shorten.h"

#include <algorithm>

#include "text/units.h"
#include "naming/windows_names.h"

namespace naming {
namespace {

// The length of `text`'s first `count` units, one less when that would keep
// the high half of a pair and drop its low half.
size_t WholeUnits(std::u16string_view text, size_t count) {
  if (count > 0 && count < text.size() && text::IsHighSurrogate(text[count - 1]) &&
      text::IsLowSurrogate(text[count])) {
    return count - 1;
  }
  return count;
}

// Length of the extension (dot included), or 0 when the name has none.
size_t ExtensionLength(std::u16string_view name, bool isDirectory) {
  if (isDirectory) return 0;
  const size_t dot = name.rfind(u'.');
  if (dot == std::u16string_view::npos || dot == 0) return 0;
  return name.size() - dot;
}

}  // namespace

CutResult ShortenName(std::u16string_view name, bool isDirectory,
                      uint32_t maxLength) {
  CutResult result;
  ShortenName(name, isDirectory, maxLength, result);
  return result;
}

void ShortenName(std::u16string_view name, bool isDirectory, uint32_t maxLength,
                 CutResult& result) {
  constexpr size_t kMaxKeptExtension = 4;  // the dot and three characters
  const size_t extensionLength = ExtensionLength(name, isDirectory);
  const std::u16string_view extension = name.substr(name.size() - extensionLength);
  const size_t wanted =
      std::min({extensionLength, kMaxKeptExtension, size_t{maxLength}});
  // Dropping half a pair from either part shortens the name; the parts
  // themselves keep their places.
  const size_t kept = WholeUnits(extension, wanted);
  const size_t stem = WholeUnits(name, maxLength - wanted);

  result.newName.assign(name.substr(0, stem));
  result.newName.append(extension.substr(0, kept));
  result.counterAnchor = static_cast<uint32_t>(stem);

  MendForWindows(result.newName, stem);
}

void MendForWindows(std::u16string& newName, size_t stem) {
  // Windows strips trailing spaces and dots from ordinary paths, which would
  // leave the entry unreachable for most programs; this holds for a kept
  // extension too (".   " or a bare ".").
  for (size_t i = newName.size(); i > 0 && (newName[i - 1] == u' ' || newName[i - 1] == u'.');
       --i) {
    newName[i - 1] = u'_';
  }
  // A device name before the first dot makes every candidate a device name
  // when that dot stands before the anchor, out of the counter's reach
  // (a directory "aux.files-from-the-old-server"): the unit just before the
  // dot becomes "_" as well.
  const size_t dot = newName.find(u'.');
  if (dot != std::u16string::npos && dot < stem && IsReservedName(newName)) {
    newName[dot - 1] = u'_';
  }
}

uint32_t HexDigits(uint32_t counter, char16_t (&digits)[8]) {
  uint32_t count = 0;
  do {
    digits[count++] = u"0123456789ABCDEF"[counter % 16];
    counter /= 16;
  } while (counter != 0);
  return count;
}

bool ApplyCounter(char16_t* candidate, uint32_t counterAnchor,
                  uint32_t counter) {
  char16_t digits[8];
  const uint32_t count = HexDigits(counter, digits);

  if (count > counterAnchor) return false;
  uint32_t start = counterAnchor - count;
  if (start > 0 && text::IsLowSurrogate(candidate[start]) &&
      text::IsHighSurrogate(candidate[start - 1])) {
    --start;
    candidate[start] = u'0';
  }
  for (uint32_t i = 0; i < count; ++i) {
    candidate[counterAnchor - 1 - i] = digits[i];
  }
  return true;
}

}  // namespace naming
