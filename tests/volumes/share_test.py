#!/usr/bin/env python3
"""snipdir-fit and snipdir-undo on a file system as slow as a file share
(tests/slowfs, every call 1 ms late, served concurrently): listed one
directory after another or many at once, the tree gives the same lines; the
run prints what its preview printed; undo gives every name back.

    share_test.py build/native/snipdir build/native/slowfs [--windows build/win64/snipdir.exe]

With the Windows program, it fits one more tree under Wine on the share, at
1 and 16 jobs: the same lines as the Linux program's (line ends aside).

Needs root for the mount; a machine that cannot mount it says why and skips.
"""
import argparse
import os
import random
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [os.path.join(HERE, "..", "cli"), os.path.join(HERE, "..", "slowfs")]
from harness import Program  # noqa: E402
from mount import CannotMount, slow_share  # noqa: E402

WORDS = ["quarterly", "report", "archive", "project", "meeting", "notes", "draft", "final",
         "customer", "invoice", "design", "review", "photos", "holiday", "Ünïcödé", "日本語"]


def build(root, rng, directories=120):
    """A tree of long names, some paths over the budget, some directories
    deep below others."""
    places = [root]
    os.makedirs(root)
    for _ in range(directories):
        name = " ".join(rng.choice(WORDS) for _ in range(rng.randint(2, 6)))
        place = os.path.join(rng.choice(places), name)
        if os.path.exists(place):
            continue
        os.mkdir(place)
        places.append(place)
        for number in range(rng.randint(0, 6)):
            words = " ".join(rng.choice(WORDS) for _ in range(rng.randint(1, 5)))
            with open(os.path.join(place, f"{words} {number}.docx"), "w") as file:
                file.write(words)


def tree(root):
    """Every path below `root` with its content (None for a directory)."""
    found = {}
    for top, directories, files in os.walk(root):
        for name in directories:
            found[os.path.relpath(os.path.join(top, name), root)] = None
        for name in files:
            with open(os.path.join(top, name), "rb") as file:
                found[os.path.relpath(os.path.join(top, name), root)] = file.read()
    return found


def windows_round(windows, point, lines):
    """The Windows program fits the tree `windows` (a copy of tree 0) on the
    share as the Linux program fitted tree 0 (`lines`), and undoes it."""
    root = os.path.join(point, "windows")
    before = tree(root)
    args = ["--partial", "--as", "/srv/x", windows.native_path(root), "150"]
    one = windows.run("--preview", "--jobs", "1", *args, tool="snipdir-fit")
    many = windows.run("--preview", "--jobs", "16", *args, tool="snipdir-fit")
    run = windows.run("--jobs", "16", *args, tool="snipdir-fit")
    assert one == many, "--preview --jobs 16 differs"
    assert run[0] == one[0] and run[0].replace(b"\r\n", b"\n") == lines, "the lines differ"
    report = root + ".report"
    with open(report, "wb") as file:
        file.write(run[0])
    out, err, status = windows.run("--jobs", "16", windows.native_path(root),
                                   windows.native_path(report), tool="snipdir-undo")
    assert status == 0 and b"ERROR" not in out, (out, err)
    assert tree(root) == before, "undo did not give the tree back"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("slowfs")
    parser.add_argument("--windows", help="the Windows program, run under Wine too")
    arguments = parser.parse_args()
    program, slowfs = Program(arguments.program), arguments.slowfs
    windows = Program(arguments.windows) if arguments.windows else None
    failed, lines = 0, {}
    with tempfile.TemporaryDirectory(dir="/var/tmp") as scratch:
        source, point = os.path.join(scratch, "source"), os.path.join(scratch, "share")
        for number in range(3):
            build(os.path.join(source, str(number)), random.Random(number))
        if windows:
            windows.start_wine()
            build(os.path.join(source, "windows"), random.Random(0))
        try:
            with slow_share(slowfs, source, point):
                for number in range(3):
                    root = os.path.join(point, str(number))
                    args = ["--partial", "--as", "/srv/x", root, "150"]
                    before = tree(root)
                    previews = {jobs: program.run("--preview", *jobs, *args, tool="snipdir-fit")
                                for jobs in [("--jobs", "1"), ("--jobs", "4"), ("--jobs", "16"), ()]}
                    run = program.run(*args, tool="snipdir-fit")
                    try:
                        one = previews[("--jobs", "1")]
                        assert one[0].count(b" => ") > 10, one
                        for jobs, preview in previews.items():
                            assert preview == one, f"--preview {' '.join(jobs)} differs"
                        assert (run[0], run[2]) == (one[0], one[2]), "the run differs"
                        assert tree(root) != before, "nothing renamed"
                        report = os.path.join(scratch, f"{number}.report")
                        with open(report, "wb") as file:
                            file.write(run[0])
                        out, err, status = program.run(root, report, tool="snipdir-undo")
                        assert status == 0 and b"ERROR" not in out, (out, err)
                        assert tree(root) == before, "undo did not give the tree back"
                        lines[number] = one[0]
                        print(f"ok      tree {number}: {one[0].count(b' => ')} renames, the same "
                              f"lines at 1, 4, 16 and the default number of jobs")
                    except AssertionError as error:
                        failed += 1
                        print(f"FAILED  tree {number}: {error}")
                if windows:
                    try:
                        windows_round(windows, point, lines.get(0))
                        print("ok      tree 0 under Wine: the same lines at 1 and 16 jobs")
                    except AssertionError as error:
                        failed += 1
                        print(f"FAILED  tree 0 under Wine: {error}")
        except CannotMount as reason:
            print(f"skip    every tree: {reason}")
            print(f"0 passed, 0 failed, {3 + bool(windows)} skipped")
            return 0
    print(f"{3 + bool(windows) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
