// The name rule: what an over-long directory entry is renamed to.
//
// Pure functions on UTF-16 code units. Every length, index and limit counts
// code units. Nothing here touches the operating system.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace naming {

// The first candidate for an over-long name.
struct CutResult {
  // The shortened name: `maxLength` code units, or one fewer when the cut
  // would have split a surrogate pair.
  std::u16string newName;
  // Index in `newName` where the kept extension begins, or the name's length
  // when no extension is kept. Counter digits are written just before it.
  uint32_t counterAnchor = 0;
};

// Cuts `name` (longer than `maxLength`) to `maxLength` code units, keeping a
// file's extension dot and up to three extension characters at the end.
// Directories, names without a dot and names whose only dot leads have no
// extension. A cut never keeps the high half of a surrogate pair without its
// low half, and the new name never ends in a space or a dot (each unit of a
// trailing run of them becomes "_", in a kept extension too). Where the part
// before the first dot is a Windows device name that no counter would reach,
// the unit before that dot becomes "_".
CutResult ShortenName(std::u16string_view name, bool isDirectory,
                      uint32_t maxLength);
// The same into `result`, whose buffer is used again.
void ShortenName(std::u16string_view name, bool isDirectory, uint32_t maxLength,
                 CutResult& result);

// What every new name gets so that it works on Windows: each unit of a
// trailing run of spaces and dots becomes "_"; where the part before the
// first dot is a device name and that dot stands within the first `stem`
// units, out of a counter's reach, the unit before the dot becomes "_".
void MendForWindows(std::u16string& newName, size_t stem);

// Sets `digits` to `counter` in uppercase hexadecimal, the lowest digit
// first, and returns how many there are (1 to 8).
uint32_t HexDigits(uint32_t counter, char16_t (&digits)[8]);

// Writes `counter` in uppercase hexadecimal (no leading zeros) over the code
// units of `candidate` just before `counterAnchor`. When the digits would
// start on the low half of a surrogate pair they take its high half too, as
// one extra leading "0". Returns false, leaving `candidate` untouched, when
// the digits do not fit before `counterAnchor`.
bool ApplyCounter(char16_t* candidate, uint32_t counterAnchor,
                  uint32_t counter);

}  // namespace naming
