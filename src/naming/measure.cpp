#include "naming/measure.h"

#include "naming/decompose.h"
#include "text/units.h"

namespace naming {
namespace {

uint32_t Utf8Bytes(uint32_t code) {
  return code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
}

}  // namespace

// The length of the character that starts at `at` (0 for the second unit
// of a pair).
uint32_t Measure::Weight(std::u16string_view name, size_t at) const {
  if (unit_ == Unit::kUcs2Bytes) return 2;
  const char16_t unit = name[at];
  if (text::IsLowSurrogate(unit) && at > 0 && text::IsHighSurrogate(name[at - 1])) return 0;
  uint32_t code = unit;
  if (text::IsHighSurrogate(unit) && at + 1 < name.size() && text::IsLowSurrogate(name[at + 1])) {
    code = 0x10000 + ((uint32_t{unit} - 0xD800) << 10) + (name[at + 1] - 0xDC00);
  } else if (text::IsSurrogate(unit)) {
    const bool byte = namesAreBytes_ && text::IsEscapedByte(unit);
    return unit_ == Unit::kUtf16 || unit_ == Unit::kNfdUtf16 || byte ? 1 : 3;
  }
  const bool bytes = unit_ == Unit::kUtf8 || unit_ == Unit::kNfdUtf8;
  if (unit_ == Unit::kUtf16 || unit_ == Unit::kUtf8 || code < 0xC0) {
    return bytes ? Utf8Bytes(code) : code > 0xFFFF ? 2 : 1;
  }
  const DecomposedLength decomposed = LengthDecomposed(code);
  return bytes ? decomposed.bytes8 : decomposed.units16;
}

uint32_t Measure::Of(std::u16string_view name) const {
  if (unit_ == Unit::kUtf16) return static_cast<uint32_t>(name.size());
  uint32_t length = 0;
  for (size_t at = 0; at < name.size(); ++at) length += Weight(name, at);
  return length;
}

void Measure::Prefixes(std::u16string_view name, std::vector<uint32_t>& prefixes) const {
  prefixes.resize(name.size() + 1);
  prefixes[0] = 0;
  for (size_t at = 0; at < name.size(); ++at) {
    prefixes[at + 1] = prefixes[at] + (unit_ == Unit::kUtf16 ? 1 : Weight(name, at));
  }
}

}  // namespace naming
