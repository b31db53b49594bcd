// Where the characters of a name begin, as people see characters: the
// extended grapheme clusters of UAX #29 (combining marks, Hangul syllables
// from jamo, emoji with modifiers and joiners, flags), with its rule for
// Indic conjuncts (GB9c). Pure functions on UTF-16 code units.
#pragma once

#include <string_view>
#include <vector>

namespace naming {

// Sets `starts` to text.size() + 1 flags: starts[i] is true where a cluster
// begins at unit i, and at the end. A lone surrogate, and where names are
// bytes an escaped byte, stands alone. Without `conjuncts`, rule GB9c is
// left out, as Unicode 15.0 has it.
void ClusterStarts(std::u16string_view text, std::vector<bool>& starts, bool conjuncts = true);

// Sets `points` to text.size() + 1 flags: points[i] is true where `text`
// may be cut before unit i: where a cluster begins (and at either end), and
// the unit before is not one that joins whatever follows it (a prepended
// mark), so that a counter's digit or an extension's dot written there
// stands alone.
void CutPoints(std::u16string_view text, std::vector<bool>& points);

// The longest beginning of `text` of at most `count` units that ends at a
// cut point: 0 when even the first character is longer.
size_t WholeClusters(std::u16string_view text, size_t count);

}  // namespace naming
