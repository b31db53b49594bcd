// libFuzzer target for report lines. Input: one byte of flags (bit 0: names
// are bytes, bit 1: parse the rest as a line instead), then UTF-16 units:
// two names split at the first unit U+FFFF, or a line to read.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/report.h"
#include "text/units.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    fprintf(stderr, "invariant broken: %s\n", what);
    abort();
  }
}

// Every line is one line of well-formed text.
void CheckWellFormed(const std::u16string& line) {
  for (size_t i = 0; i < line.size(); ++i) {
    const char16_t unit = line[i];
    Check(unit >= 0x20 && !(unit >= 0x7F && unit <= 0x9F), "a control character in a line");
    Check(unit != 0x200E && unit != 0x200F && !(unit >= 0x202A && unit <= 0x202E) &&
              !(unit >= 0x2066 && unit <= 0x2069),
          "a bidirectional control in a line");
    if (text::IsHighSurrogate(unit) && i + 1 < line.size() &&
        text::IsLowSurrogate(line[i + 1])) {
      ++i;
      continue;
    }
    Check(!text::IsSurrogate(unit), "a lone surrogate in a line");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool namesAreBytes = (data[0] & 1) != 0;
  std::u16string text((size - 1) / 2, u'\0');
  std::memcpy(text.data(), data + 1, text.size() * 2);

  std::u16string oldName, newName;
  if ((data[0] & 2) != 0) {
    // Any text: read without harm; what reads as a line writes back as a
    // line that reads the same.
    if (app::ParseRename(text, oldName, newName)) {
      std::u16string line;
      app::FormatRename(line, oldName, newName, namesAreBytes);
      std::u16string again[2];
      Check(app::ParseRename(line, again[0], again[1]), "a written line does not read");
      Check(again[0] == oldName && again[1] == newName, "a line read back differs");
    }
    return 0;
  }
  const size_t split = text.find(u'\uFFFF');
  const std::u16string first = text.substr(0, split);
  const std::u16string second = split == std::u16string::npos ? u"" : text.substr(split + 1);
  std::u16string line;
  line.reserve(app::ReportRoom(first, second));
  const size_t room = line.capacity();
  app::FormatRename(line, first, second, namesAreBytes);
  Check(line.capacity() == room, "the line outgrew its room");
  CheckWellFormed(line);
  Check(app::ParseRename(line, oldName, newName), "a written line does not read");
  Check(oldName == first && newName == second, "a name read back differs");
  return 0;
}
