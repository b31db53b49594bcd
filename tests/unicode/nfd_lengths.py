#!/usr/bin/env python3
"""Writes, or checks, src/naming/nfd_table.inc: how long each code point
becomes once decomposed as macOS decomposes names (Unicode's canonical
decomposition, NFD, but for U+2000-U+2FFF, U+F900-U+FAFF and
U+2F800-U+2FAFF, which HFS+ leaves as they are, as Apple's File System
Guide says of HFS+ names),
counted in UTF-16 units and in UTF-8 bytes, from Debian's unicode-data
package (UnicodeData.txt, field 5 without a <tag>, applied until nothing
changes).
Hangul syllables decompose by rule and are not in the table. Only lengths
are kept: a name is measured the way a system that decomposes it counts
it, never rewritten. Canonical reordering moves marks but never changes a
length, and composition exclusions matter only to composing (NFC), which
the table is not for.

    nfd_lengths.py TABLE          write the table
    nfd_lengths.py TABLE --check  fail if it differs
"""
import os
import sys

UNICODE = os.environ.get("SNIPDIR_UNICODE_DATA", "/usr/share/unicode")
KEPT = [(0x2000, 0x2FFF), (0xF900, 0xFAFF), (0x2F800, 0x2FAFF)]


def decompositions():
    """{code point: [code points]} of every canonical decomposition."""
    table = {}
    with open(os.path.join(UNICODE, "UnicodeData.txt"), encoding="utf-8") as file:
        for line in file:
            fields = line.split(";")
            if fields[5] and not fields[5].startswith("<"):
                table[int(fields[0], 16)] = [int(part, 16) for part in fields[5].split()]
    return table


def full(code, table):
    if code not in table:
        return [code]
    return [part for piece in table[code] for part in full(piece, table)]


def units16(code):
    return 2 if code > 0xFFFF else 1


def bytes8(code):
    return 1 if code < 0x80 else 2 if code < 0x800 else 3 if code < 0x10000 else 4


def text():
    table = decompositions()
    rows = []
    for code in sorted(table):
        if any(first <= code <= last for first, last in KEPT):
            continue
        parts = full(code, table)
        rows.append("{0x%05X, %d, %d}," % (code, sum(map(units16, parts)), sum(map(bytes8, parts))))
    head = ("// Made by tests/unicode/nfd_lengths.py from Debian's unicode-data; do not edit.\n"
            "// Each code point macOS decomposes: the lengths of its full canonical\n"
            "// decomposition in UTF-16 units and in UTF-8 bytes.\n")
    return head + "\n".join(rows) + "\n"


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
