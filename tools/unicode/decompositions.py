#!/usr/bin/env python3
"""Writes, or checks, src/naming/nfd_table.inc: how macOS decomposes names
(Unicode's canonical decomposition, NFD, but for U+2000-U+2FFF,
U+F900-U+FAFF and U+2F800-U+2FAFF, which HFS+ leaves as they are, as
Apple's File System Guide says of HFS+ names), from Debian's unicode-data
package (UnicodeData.txt: field 5 without a <tag>, applied until nothing
changes, and field 3, the canonical combining class):

- each code point that decomposes, with its full decomposition and the
  lengths of it in UTF-16 units and in UTF-8 bytes;
- each code point whose combining class is not 0, with its class, by
  which marks are put in their canonical order.

Hangul syllables decompose by rule and are not in the table. Composition
exclusions matter only to composing (NFC), which nothing here does.

    decompositions.py TABLE          write the table
    decompositions.py TABLE --check  fail if it differs
"""
import os
import sys

UNICODE = os.environ.get("SNIPDIR_UNICODE_DATA", "/usr/share/unicode")
KEPT = [(0x2000, 0x2FFF), (0xF900, 0xFAFF), (0x2F800, 0x2FAFF)]


def read():
    """{code point: [code points]} of every canonical decomposition, and
    {code point: class} of every nonzero combining class."""
    table, classes = {}, {}
    with open(os.path.join(UNICODE, "UnicodeData.txt"), encoding="utf-8") as file:
        for line in file:
            fields = line.split(";")
            code = int(fields[0], 16)
            if fields[5] and not fields[5].startswith("<"):
                table[code] = [int(part, 16) for part in fields[5].split()]
            if int(fields[3]):
                classes[code] = int(fields[3])
    return table, classes


def full(code, table):
    if code not in table:
        return [code]
    return [part for piece in table[code] for part in full(piece, table)]


def units16(code):
    return 2 if code > 0xFFFF else 1


def bytes8(code):
    return 1 if code < 0x80 else 2 if code < 0x800 else 3 if code < 0x10000 else 4


def text():
    table, classes = read()
    rows, parts = [], []
    for code in sorted(table):
        if any(first <= code <= last for first, last in KEPT):
            continue
        pieces = full(code, table)
        rows.append("    {0x%05X, %d, %d, %d, %d}," % (code, len(parts), len(pieces),
                                                    sum(map(units16, pieces)),
                                                    sum(map(bytes8, pieces))))
        parts += pieces
    lines = ["// Made by tools/unicode/decompositions.py from Debian's unicode-data; do not",
             "// edit. Each code point macOS decomposes: where its full canonical",
             "// decomposition starts in kParts, how many code points it has, and its",
             "// length in UTF-16 units and in UTF-8 bytes.",
             "constexpr Decomposition kDecompositions[] = {"] + rows + ["};", "",
             "constexpr char32_t kParts[] = {"]
    for at in range(0, len(parts), 8):
        lines.append("    " + " ".join("0x%05X," % part for part in parts[at:at + 8]))
    lines += ["};", "", "// Each code point whose canonical combining class is not 0, and the class.",
              "constexpr CombiningClass kClasses[] = {"]
    ordered = sorted(classes.items())
    for at in range(0, len(ordered), 4):
        lines.append("    " + " ".join("{0x%05X, %d}," % item for item in ordered[at:at + 4]))
    lines.append("};")
    return "\n".join(lines) + "\n"


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    made = text()
    if "--check" in sys.argv[2:]:
        with open(sys.argv[1], encoding="utf-8") as file:
            if file.read() != made:
                sys.exit(sys.argv[1] + " differs from what the Unicode data gives: run "
                         + sys.argv[0] + " " + sys.argv[1])
        return
    with open(sys.argv[1], "w", encoding="utf-8") as file:
        file.write(made)


if __name__ == "__main__":
    main()
