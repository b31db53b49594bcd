#!/usr/bin/env python3
"""snipdir-fit on real trees, random and built to be hard: the preview prints
what the run prints and changes nothing; afterwards every path fits its
budget or has its error line, and the status says which; nothing is lost
or replaced; undo with the report gives the tree back byte for byte. With
the Windows program as well, both print the same lines for the same tree.

    fit_test.py PROGRAM [--also WINDOWS_PROGRAM] [--rounds N] [--first K]

PROGRAM is snipdir (or snipdir.exe); its companions are found beside it.
"""
import argparse
import os
import random
import re
import sys
import tempfile

import destinations
from harness import QUOTED, Program, unquote, units

CANNOT_FIT = re.compile(rf"ERROR: {QUOTED}: cannot fit in (\d+) \((\d+) over\)\.")
RENAME = re.compile(rf"{QUOTED} => {QUOTED}")
REFUSED = re.compile(rf"ERROR: {QUOTED}: (?:kept, but \w+ does not take its name|"
                     rf"cannot be cut to a name \w+ takes)\.")
# Where the tree stands, one line on standard error.
SUMMARY = re.compile(r"(snipdir-fit: [^\r\n]*\r?\n)+")
PIECES = ["Reports 2023", "Board minutes, final version", "Quarterly", "photo", "résumé",
          "日本語のフォルダ", "x" * 30, "IMG_20230101_000123", "a", "Ünïcödé", "notes for the meeting",
          "a:b?", " lead", "~$lock", "CON", "_vti_", "報告書の最終版", "सम्पूर्ण रिपोर्ट",
          "\U0001F468\u200D\U0001F469\u200D\U0001F467 family", "e\u0301t\u00e9", "tail. "]
# No Windows volume holds a name with these (Wine shows them from a Linux
# directory, but cannot open them): trees a Windows program fits do without.
WINDOWS_FORBIDS = set('"*:<>?\\|')
DESTINATIONS = ["windows", "onedrive", "dropbox", "linux", "ecryptfs", "joliet", "macos"]
EXTENSIONS = ["", ".txt", ".docx", ".jpeg", ".tar.gz", ".pptx"]


def tree(root):
    """Every entry below `root`, by its path (bytes, "/" between names), with
    what identifies its content."""
    entries = {}
    base = os.fsencode(root)
    for directory, subdirectories, files in os.walk(base):
        for name in subdirectories + files:
            path = os.path.join(directory, name)
            relative = os.path.relpath(path, base)
            if os.path.islink(path):
                entries[relative] = ("link", os.readlink(path))
            elif os.path.isdir(path):
                entries[relative] = ("dir",)
            else:
                with open(path, "rb") as file:
                    entries[relative] = ("file", file.read())
    return entries


def build(root, rng, entries, windows):
    os.makedirs(root)
    directories = [b""]
    choices = [piece for piece in PIECES if not (windows and WINDOWS_FORBIDS & set(piece))]
    for i in range(entries):
        # Now and then a name too long for the places that count bytes.
        pieces, longest = (12, 240) if rng.random() < 0.1 else (4, 90)
        name = " ".join(rng.choice(choices) for _ in range(rng.randint(1, pieces)))
        name = (name[:rng.randint(1, longest)].lstrip() or "n") + f" {i}"
        while len(name.encode()) > 240:  # what ext4 takes, with room for an extension
            name = name[:-1]
        parent = rng.choice(directories)
        is_directory = rng.random() < 0.35
        base = os.fsencode(name + ("" if is_directory else rng.choice(EXTENSIONS)))
        # Now and then (where no Windows program meets them) a twin that
        # differs in case, and a name of an old Latin-1 disk.
        twin = not windows and rng.random() < 0.08
        if not windows and rng.random() < 0.05:
            base = base.replace(b"e", b"\xe9", 1)
        path, swapped = os.path.join(parent, base), os.path.join(parent, base.swapcase())
        for made in [path] + ([swapped] if twin and swapped != path else []):
            full = os.path.join(os.fsencode(root), made)
            if is_directory:
                os.mkdir(full)
                directories.append(made)
            else:
                with open(full, "wb") as file:
                    file.write(made)


def length(base_length, path):
    return base_length + sum(1 + units(name) for name in path.split(b"/"))


def check(program, root, budget, floor, place, options=(), headroom=0, jobs=1):
    """Previews, fits and undoes the tree at `root` for `budget` (a number or
    a destination), the run and the undo with `jobs` renames at once;
    returns the report."""
    args = [*options, "--as", place, "--floor", str(floor), "--headroom", str(headroom),
            program.native_path(root), str(budget)]
    named = budget if isinstance(budget, str) else None
    before = tree(root)
    preview, err, preview_status = program.run("--preview", *args, tool="snipdir-fit")
    assert SUMMARY.fullmatch(err.decode()), err
    assert tree(root) == before, "the preview changed the tree"
    out, err, status = program.run("--jobs", str(jobs), *args, tool="snipdir-fit")
    assert SUMMARY.fullmatch(err.decode()), err
    assert (out, status) == (preview, preview_status), f"preview and run differ:\n{preview}\n{out}"

    renames, unfit, refused = [], [], []
    for line in out.decode().splitlines():
        if rename := RENAME.fullmatch(line):
            renames.append((unquote(rename.group(1)), unquote(rename.group(2))))
        elif cannot := CANNOT_FIT.fullmatch(line):
            unfit.append(unquote(cannot.group(1)))
        elif untaken := REFUSED.fullmatch(line):
            refused.append(unquote(untaken.group(1)))
        else:
            raise AssertionError(f"not a line of a fit: {line!r}")
    after = tree(root)
    # Renames are made entry before directory: replaying them on the old
    # paths gives the new tree, contents and all.
    moved = dict(before)
    for old, new in renames:
        assert old.rsplit(b"/", 1)[:-1] == new.rsplit(b"/", 1)[:-1], f"{old!r} moved"
        new_name, old_name = (os.fsdecode(p.rsplit(b"/", 1)[-1]) for p in (new, old))
        measure = destinations.DESTINATIONS[named][0] if named else destinations.utf16
        # (A name mended for the destination may come out shorter.)
        assert (measure(new_name) >= min(floor, measure(old_name)) or
                destinations.refuses(named, old_name)), f"{new!r} under the floor"
        for path in [p for p in moved if p == old or p.startswith(old + b"/")]:
            moved[new + path[len(old):]] = moved.pop(path)
    assert moved == after, "the tree is not what the lines say"
    # Unless --partial, a tree that cannot fit whole is left as it is; names
    # kept by a pattern are never cut.
    assert "--partial" in options or not (unfit or refused) or not renames, \
        "renamed, though some path cannot fit"
    assert not [old for old, _ in renames if "--keep" in options and old.endswith(b".docx")], \
        "a kept name was cut"
    assert len({old for old, _ in renames}) == len(renames), "an entry renamed twice"
    base_length = len(place.rstrip("/\\"))
    over, untaken = [], []
    if named:
        names = {}
        for path in after:
            parent, _, name = path.rpartition(b"/")
            names.setdefault(parent, []).append(os.fsdecode(name))
        for twins in names.values():
            untaken += destinations.twins(named, twins)
    for path, identity in after.items():
        if named:
            text = os.fsdecode(path)
            if destinations.over(named, place, text, identity[0] == "dir", headroom) > 0:
                over.append(path)
            name = text.rsplit("/", 1)[-1]
            if destinations.name_over(named, name, headroom) > 0 or destinations.refuses(named, name):
                untaken.append(path)
        elif length(base_length, path) > budget - headroom:
            over.append(path)
    assert (status == 0) == (not over and not unfit and not untaken and not refused), \
        f"status {status}, over: {over[:3]}, not taken: {untaken[:3]}"
    assert len(over) == 0 or unfit, f"over budget without a line: {over[:3]}"
    assert len(untaken) == 0 or refused or "--partial" not in options, \
        f"names the destination refuses, without a line: {untaken[:3]}"

    report = root + ".report"
    with open(report, "wb") as file:
        file.write(out)
    undone, err, _ = program.run("--jobs", str(jobs), program.native_path(root),
                                 program.native_path(report), tool="snipdir-undo")
    assert all(line.startswith(b"snipdir-undo: ") for line in err.splitlines()) and \
        b"ERROR" not in undone, (undone, err)
    assert tree(root) == before, "undo did not give the tree back"
    return out


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--also", help="a second program that must print the same lines")
    parser.add_argument("--rounds", type=int, default=12)
    parser.add_argument("--first", type=int, default=0)
    args = parser.parse_args()
    programs = [Program(args.program)] + ([Program(args.also)] if args.also else [])
    for program in programs:
        program.start_wine()
    failed = 0
    for number in range(args.first, args.first + args.rounds):
        rng = random.Random(number)
        budget = rng.choice([60, 90, 120, 160] + DESTINATIONS)
        headroom = rng.choice([0, 0, 16])
        floor = rng.choice([8, 12, 12, 20])
        place = rng.choice(["C:\\Users\\ana\\OneDrive - Contoso\\Projects", "D:\\x", "/srv/share/"])
        entries = rng.randint(5, 60)
        try:
            outputs = []
            for program in programs:
                with tempfile.TemporaryDirectory() as scratch:
                    root = os.path.join(scratch, "tree")
                    build(root, random.Random(number), entries,
                          any(each.windows for each in programs))
                    options = (["--partial"] if number % 2 else []) + \
                        (["--keep", "*.docx"] if number % 3 == 0 else [])
                    outputs.append(check(program, root, budget, floor, place, options, headroom,
                                         jobs=1 + number % 4).replace(b"\r\n", b"\n"))
            assert all(out == outputs[0] for out in outputs), "the programs print other lines"
            print(f"ok      round {number}: {entries} entries, budget {budget}, "
                  f"{outputs[0].count(b' => ')} renamed")
        except AssertionError as error:
            failed += 1
            print(f"FAILED  round {number}: {error}")
    # A tree already too deep for programs that are not long-path aware.
    try:
        outputs = []
        for program in programs:
            with tempfile.TemporaryDirectory() as scratch:
                root = os.path.join(scratch, "deep")
                path = root
                for level in range(8):
                    path = os.path.join(path, f"Level {level} of a project tree with long names")
                os.makedirs(path)
                with open(os.path.join(path, "The final report of the project, revised.docx"), "w") as file:
                    file.write("deep")
                out = check(program, root, "windows", 12, "C:\\Projects")
                assert out.count(b" => ") >= 9, out
                outputs.append(out.replace(b"\r\n", b"\n"))
        assert all(out == outputs[0] for out in outputs), "the programs print other lines"
        print("ok      a tree deeper than 260 characters")
    except AssertionError as error:
        failed += 1
        print(f"FAILED  a tree deeper than 260 characters: {error}")
    print(f"{args.rounds + 1 - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
