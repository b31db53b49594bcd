#!/usr/bin/env python3
"""Random directories, built to collide often, checked after every run: the
same number of entries, the same contents, every printed rename true of the
directory, every over-long entry reported exactly once, every new name
within the limit and usable on Windows. Each directory is previewed first
(the preview must print what the run then prints, and change nothing), and
undone last from the saved report (which must give it back as it was).

    property_test.py PROGRAM [--rounds N] [--first K] [--entries N]

Round r always builds the same directory (its generator starts from r), so a
failure is reproduced with --first r --rounds 1. CI runs a few rounds;
a longer search is e.g. --rounds 2000 --first 1000.
"""
import argparse
import os
import random
import sys
import tempfile

from harness import Program, check_run, parse, snapshot, units

STEMS = ["IMG_2023", "report", "a", "holiday-at-the-lake", "x" * 40, "Ünïcödé", "日本語",
         "emoji-\U0001F600", "sp ace", ".hidden", "com1", "NUL", "Aux  ", "lpt\u00b9", "Été-été"]
EXTENSIONS = ["", ".txt", ".jpeg", ".j", ".tar.gz", ".", ".\U0001F600\U0001F600", ".verylongext",
              ".   x", ". "]
LINUX_ONLY_PIECES = [b"\xff", b"\xe2\x82", b"\xed\xa0\x80", b"\xc0\xaf", b"\n", b"\\", b":", b"*",
                     b'"', b"-", b"  ", b".."]


def random_name(rng, windows):
    stem = rng.choice(STEMS)
    middle = "".join(rng.choice("abcdefghij0123456789-_") for _ in range(rng.randint(0, 30)))
    name = (stem + middle).encode() + rng.choice(EXTENSIONS).encode()
    if not windows and rng.random() < 0.3:
        piece = rng.choice(LINUX_ONLY_PIECES)
        at = rng.randint(0, len(name))
        name = name[:at] + piece + name[at:]
    if windows:
        name = name.lower().rstrip(b". ")  # what Windows names can hold
    elif rng.random() < 0.3:
        name = rng.choice([bytes.upper, bytes.swapcase])(name)  # names that differ in case
    return name if name not in (b"", b".", b"..") and b"/" not in name else b"fallback-name"


def blockers_for(name, limit, count):
    """Short names that take the first candidates of `name`."""
    text = name.decode("utf-8", "surrogateescape")
    cut = text[:max(1, limit // 2)]
    return [(cut + f"{i:X}").encode("utf-8", "surrogateescape") for i in range(count)] + [
        (text[:limit - 4] + ".txt").encode("utf-8", "surrogateescape")]


def build(root, rng, windows, entries):
    limit = rng.choice([8, 8, 9, 10, 12, 12, 12, 13, 16, 20, 32, 64, 256])
    made = set()
    for _ in range(entries):
        name = random_name(rng, windows)
        if name in made:
            continue
        made.add(name)
        path = os.path.join(os.fsencode(root), name)
        if not windows and rng.random() < 0.03:
            os.symlink(rng.choice([b"..", name, b"dangling-" + name]), path)
        elif rng.random() < 0.1:
            os.mkdir(path)
            with open(os.path.join(path, b"inside"), "wb") as file:
                file.write(name)
        else:
            with open(path, "wb") as file:
                file.write(name)
        if rng.random() < 0.05:
            for blocker in blockers_for(name, limit, rng.randint(1, 20)):
                if blocker not in made and units(blocker) <= limit and blocker not in (b".", b".."):
                    if windows and blocker.lower().rstrip(b". ") != blocker:
                        continue
                    made.add(blocker)
                    with open(os.path.join(os.fsencode(root), blocker), "wb") as file:
                        file.write(b"blocker " + blocker)
    return limit


def check_round(program, root, limit):
    """Previews, cuts and undoes the directory `root`."""
    before = snapshot(root)
    directory = program.native_path(root)
    preview, err, status = program.run(directory, str(limit), tool="snipdir-preview")
    assert (err, status) == (b"", 0), f"preview: error {err!r}, status {status}"
    assert snapshot(root) == before, "the preview changed the directory"

    out, err, status = program.run(directory, str(limit))
    assert (err, status) == (b"", 0), f"error {err!r}, status {status}"
    renamed, failures = check_run(before, snapshot(root), out, limit, program.newline)
    # Entries fail only when their counter ran out of room.
    assert set(failures.values()) <= {program.target_exists}, failures
    assert preview == out, "the preview printed other lines than the run"

    report = root + ".report"
    with open(report, "wb") as file:
        file.write(out)
    undone, err, status = program.run(directory, program.native_path(report), tool="snipdir-undo")
    os.unlink(report)
    # (A run that renamed nothing leaves a report that names no rename: undo
    # says so.)
    assert status == 0 and all(line.startswith(b"snipdir-undo: ") for line in err.splitlines()), \
        f"undo: error {err!r}, status {status}"
    back, failed_back, messages = parse(undone, program.newline)
    assert back == {new: old for old, new in renamed.items()} and not failed_back, (
        "undo's report is not the run's turned round")
    assert snapshot(root) == before, "undo did not give the directory back"
    return renamed, failures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--rounds", type=int, default=20)
    parser.add_argument("--first", type=int, default=0, help="number of the first round")
    parser.add_argument("--entries", type=int, default=300)
    args = parser.parse_args()
    program = Program(args.program)
    program.start_wine()
    passed, failed = 0, 0
    for number in range(args.first, args.first + args.rounds):
        rng = random.Random(number)
        with tempfile.TemporaryDirectory(prefix="snipdir-property-") as root:
            limit = build(root, rng, program.windows, args.entries)
            try:
                renamed, failures = check_round(program, root, limit)
                passed += 1
                print(f"ok      round {number}: {len(failures) + len(renamed)} over-long, "
                      f"limit {limit}, {len(renamed)} renamed, {len(failures)} gave up")
            except AssertionError as error:
                failed += 1
                print(f"FAILED  round {number} (limit {limit}): {error}")
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
