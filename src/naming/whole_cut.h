// How snipdir-fit cuts a name so that what comes out still works: a file
// keeps its whole extension, and no cut or counter falls inside a
// character (an extended grapheme cluster). Pure functions on UTF-16.
//
// The extension a file keeps whole is its last dot-segment when that is a
// short token (1 to 10 ASCII letters and digits; the dot not the name's
// first unit), with the segments before it that belong to it: before a
// compression suffix (gz, xz, bz2, zst, lz, lz4, lzma, br, z) or "map", any
// token with a letter of up to 5 units (report.csv.gz, app.js.map); before
// ts, mts, cts or tsx: d, spec, test, stories, module, config (types.d.ts);
// before js, mjs, cjs, jsx, css or scss: min, spec, test, user, stories,
// module, bundle, config, esm, umd (app.min.js); before tar: pkg
// (pkg.tar.zst). At most three segments, compared ignoring case. A name
// that only looks as if it had one ("report.final version") keeps nothing
// special, and a directory never has one.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "naming/shorten.h"

namespace naming {

// The length of the extension `name` keeps whole (its dots included), or 0.
size_t WholeExtensionLength(std::u16string_view name, bool isDirectory);

// The shortest a cut can leave `name`: its whole extension and the first
// character of the rest.
uint32_t ShortestWholeCut(std::u16string_view name, bool isDirectory);

// Cuts `name` to at most `length` units (no less than ShortestWholeCut):
// the part before the extension is cut at the end of a character, and
// before spaces and dots it would end in, so the result may be shorter
// than `length`; a trailing space or dot left (a first character, or the
// name uncut) and a device name are mended as ShortenName mends them.
CutResult WholeCut(std::u16string_view name, bool isDirectory, uint32_t length);

// The length WholeCut would give, without making the name.
uint32_t WholeCutLength(std::u16string_view name, bool isDirectory, uint32_t length);

// Every length a whole cut of `name` can have, from `floor` on and shorter
// than the name, shortest first: WholeCut to one of them gives exactly it.
void WholeCutLengths(std::u16string_view name, bool isDirectory, uint32_t floor,
                     std::vector<uint32_t>& lengths);

// The candidates of a whole cut: the counter written before the kept
// extension, reaching back to the start of a character (the units it
// reaches over beyond its digits become "0").
class WholeCandidates {
 public:
  explicit WholeCandidates(const CutResult& cut);
  // Writes the candidate of `step` (see naming::WriteStep) over
  // `candidate`; false when there is none.
  bool Write(char16_t* candidate, uint64_t step) const;

 private:
  uint32_t anchor_;
  std::vector<bool> starts_;  // where the characters before the anchor begin
};

}  // namespace naming
