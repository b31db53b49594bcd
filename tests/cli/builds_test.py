#!/usr/bin/env python3
"""The shipped 32-bit Windows programs, their 64-bit twin and the Linux
programs on the same trees. Each build gets a copy of the trees and runs
the same steps: the typical cut, counters and names that differ in case, a
\\\\?\\ path over 260 characters, a rename that fails, preview, undo, and
snipdir-fit of a tree deeper than 260 characters for windows and for
onedrive, then its undo. Every step prints the same lines and status from
all three builds (byte for byte between the Windows builds, but for line
ends against Linux); each preview prints what its run then does; each undo
gives its tree back.

    builds_test.py SHIPPED_IN_PROCESS TWIN_IN_PROCESS LINUX_SNIPDIR

The Windows builds run the steps in one process each (in_process.exe),
since under an emulator each start of a 32-bit program costs most of a
minute; the Linux programs run one process a step.
"""
import os
import re
import subprocess
import sys
import tempfile
import time

from fit_test import tree
from harness import wine_for

LEVEL = "Level {} of a project tree with long names"
AS_WINDOWS = "C:\\Projects"
AS_ONEDRIVE = "C:\\Users\\ana\\OneDrive - Contoso\\Projects"


def make(root):
    """The trees every build starts from."""
    def files(directory, names):
        os.makedirs(directory, exist_ok=True)
        for name in names:
            with open(os.path.join(directory, name), "w") as file:
                file.write(name)

    files(os.path.join(root, "photos"), ["holiday-at-the-lake.jpeg", "holiday-at-the-lakeside.jpeg",
                                         "short.txt", "Quarterly report (final, really final).docx"])
    os.makedirs(os.path.join(root, "photos", "some.directory.name"))
    files(os.path.join(root, "counters"), [f"collision-name-{i:02}-long.txt" for i in range(40)] +
          ["Holiday-Photo-001.jpeg", "holiday-photo-002.jpeg"])
    deep = os.path.join(root, "deep", *[LEVEL.format(i) for i in range(6)])
    files(deep, ["a report name longer than twelve.txt", "another long name, to be cut.docx"])
    files(os.path.join(root, "held"), ["a-file-that-is-held-open.txt", "another-long-name.txt"])
    for top, extra in (("fitw", []), ("fito", ["desktop.ini", "~$budget for the year.xlsx"])):
        leaf = os.path.join(root, top, *[LEVEL.format(i) for i in range(8)])
        files(leaf, ["The final report of the project, revised.docx"] + extra)
    os.makedirs(os.path.join(root, "reports"))


class Build:
    """One build's copy of the trees, and how its programs see a path."""

    def __init__(self, scratch, name, windows):
        self.name, self.windows = name, windows
        self.root = os.path.join(scratch, name)
        make(self.root)

    def path(self, *names):
        path = os.path.join(self.root, *names)
        return "Z:" + path.replace("/", "\\") if self.windows else path

    def long_path(self, *names):
        """The path with the prefix that lifts the length limit on Windows."""
        return "\\\\?\\" + self.path(*names) if self.windows else self.path(*names)


def steps(build):
    """The steps: (what, program, arguments, file to hold open, tree it
    changes), in order; a report is named by the step that wrote it."""
    deep = [LEVEL.format(i) for i in range(6)]
    report = lambda what: build.path("reports", what + ".out")  # noqa: E731
    fit_windows = ["--as", AS_WINDOWS, "fitw", "windows"]
    fit_onedrive = ["--as", AS_ONEDRIVE, "fito", "onedrive"]
    return [
        ("preview photos", "snipdir-preview", ["photos", "16"], None, None),
        ("cut photos", "snipdir", ["photos", "16"], None, "photos"),
        ("undo photos", "snipdir-undo", ["photos", report("cut photos")], None, "photos"),
        ("preview counters", "snipdir-preview", ["counters"], None, None),
        ("cut counters", "snipdir", ["counters"], None, "counters"),
        ("undo counters", "snipdir-undo", ["counters", report("cut counters")], None, "counters"),
        ("preview long path", "snipdir-preview", [build.long_path("deep", *deep), "12"], None, None),
        ("cut long path", "snipdir", [build.long_path("deep", *deep), "12"], None, "deep"),
        ("cut held", "snipdir", ["held"], build.path("held", "a-file-that-is-held-open.txt"),
         "held"),
        ("preview fit windows", "snipdir-fit", ["--preview"] + fit_windows, None, None),
        ("fit windows", "snipdir-fit", fit_windows, None, "fitw"),
        ("undo fit windows", "snipdir-undo", ["fitw", report("fit windows")], None, "fitw"),
        ("preview fit onedrive", "snipdir-fit", ["--preview"] + fit_onedrive, None, None),
        ("fit onedrive", "snipdir-fit", fit_onedrive, None, "fito"),
        ("undo fit onedrive", "snipdir-undo", ["fito", report("fit onedrive")], None, "fito"),
    ]


def run_in_process(build, runner):
    """Runs every step in one process of `runner`; returns the step's
    (output, error, status) by its name, and the seconds it took."""
    batch = os.path.join(build.root, "reports", "batch.txt")
    with open(batch, "w", encoding="utf-8", newline="\n") as file:
        for what, tool, args, hold, _ in steps(build):
            if hold:
                file.write(f"hold\t{hold}\n")
            out, err = build.path("reports", what + ".out"), build.path("reports", what + ".err")
            file.write("\t".join(["run", tool, build.path(), out, err, *args]) + "\n")
    started = time.monotonic()
    # Files, not pipes: Wine's helper processes may outlive the program.
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        done = subprocess.run([wine_for(runner), runner, batch], stdout=out, stderr=err,
                              env=dict(os.environ, WINEDEBUG="-all"), timeout=1800)
        out.seek(0)
        err.seek(0)
        said = out.read().decode() + err.read().decode()
    seconds = time.monotonic() - started
    statuses = [int(line.split()[1]) for line in said.splitlines() if line.startswith("status ")]
    assert done.returncode == 0 and len(statuses) == len(steps(build)), f"{build.name}: {said}"
    return {what: (read(build, what, "out"), read(build, what, "err"), status)
            for (what, *_), status in zip(steps(build), statuses)}, seconds


def run_linux(build, snipdir):
    """Runs every step as its own Linux process (nothing is held open)."""
    results = {}
    for what, tool, args, hold, _ in steps(build):
        if hold:
            continue
        program = os.path.join(os.path.dirname(os.path.abspath(snipdir)), tool)
        with open(os.path.join(build.root, "reports", what + ".out"), "wb") as out, \
                open(os.path.join(build.root, "reports", what + ".err"), "wb") as err:
            status = subprocess.run([program, *args], cwd=build.root, stdout=out,
                                    stderr=err).returncode
        results[what] = (read(build, what, "out"), read(build, what, "err"), status)
    return results


def read(build, what, stream):
    """A step's output, with where its report is kept (each build's own
    folder, named at the time of the run) left out."""
    with open(os.path.join(build.root, "reports", f"{what}.{stream}"), "rb") as file:
        return re.sub(rb"(report is kept in ).*?(; snipdir-undo)", rb"\1...\2", file.read())


def check(what, result):
    """What each step must print, whichever build ran it."""
    out, err, status = result
    out = out.replace(b"\r\n", b"\n")
    renamed = out.count(b" => ")
    expected = {
        "cut photos": (b'"holiday-at-the-lake.jpeg" => "holiday-at-t.jpe"\n'
                       b'"holiday-at-the-lakeside.jpeg" => "holiday-at-0.jpe"\n'
                       b'"Quarterly report (final, really final).docx" => "Quarterly re.doc"\n'
                       b'"some.directory.name" => "some.directory.n"\n'),
    }
    if what in expected:
        assert out == expected[what], f"{what}: {out!r}"
    if what == "cut counters":
        for name in (b"collisio.txt", b"collisi0.txt", b"collisiF.txt", b"collis10.txt",
                     b"Holiday-.jpe", b"holiday0.jpe"):
            assert b' => "' + name + b'"' in out, f"{what}: no {name!r} in {out!r}"
        assert renamed == 42, f"{what}: {renamed} renamed"
    if what == "cut long path":
        assert renamed == 2, f"{what}: {out!r}"
    if what == "cut held":
        error, line = out.split(b"\n", 1)
        assert error.startswith(b'ERROR: "a-file-that-is-held-open.txt": MoveFile() failed (32).') \
            and line == b'"another-long-name.txt" => "another-.txt"\n', f"{what}: {out!r}"
    if what.startswith("fit "):
        assert renamed >= 9 and status == 0, f"{what}: {out!r} {err!r} {status}"
    if what.startswith("undo "):
        assert b"ERROR" not in out and status == 0, f"{what}: {out!r}"
    assert status == 0 or what.startswith("cut held"), f"{what}: status {status}"


def main():
    shipped, twin, linux = sys.argv[1:4]
    failed = 0
    with tempfile.TemporaryDirectory(prefix="snipdir-builds-") as scratch:
        builds = [Build(scratch, "shipped", True), Build(scratch, "twin", True),
                  Build(scratch, "linux", False)]
        before = {build.name: tree(build.root) for build in builds}
        results = {}
        for build, runner in zip(builds[:2], (shipped, twin)):
            results[build.name], seconds = run_in_process(build, runner)
            print(f"ok      {build.name} build ({runner}): {len(results[build.name])} steps "
                  f"in one process, {seconds:.0f} s")
        results["linux"] = run_linux(builds[2], linux)
        for what, *_ in steps(builds[0]):
            try:
                check(what, results["shipped"][what])
                assert results["twin"][what] == results["shipped"][what], \
                    f"{what}: the twin prints {results['twin'][what]!r}, " \
                    f"the shipped build {results['shipped'][what]!r}"
                if what in results["linux"]:
                    ends = tuple(each.replace(b"\r\n", b"\n") if isinstance(each, bytes) else each
                                 for each in results["shipped"][what])
                    assert results["linux"][what] == ends, \
                        f"{what}: Linux prints {results['linux'][what]!r}, Windows {ends!r}"
                if what.startswith("preview "):
                    run = what.replace("preview ", "cut " if "fit" not in what else "", 1)
                    out = results["shipped"][run][0]
                    assert results["shipped"][what][0] == out, \
                        f"{what}: {results['shipped'][what][0]!r}, then the run {out!r}"
                print(f"ok      {what}")
            except AssertionError as error:
                failed += 1
                print(f"FAILED  {error}")
        for build in builds:
            after = tree(build.root)
            changed = sorted(top for top in ("photos", "counters", "fitw", "fito")
                             if {p: v for p, v in after.items() if p.split(b"/")[0] == top.encode()}
                             != {p: v for p, v in before[build.name].items()
                                 if p.split(b"/")[0] == top.encode()})
            if changed:
                failed += 1
                print(f"FAILED  {build.name}: undo did not give back {changed}")
    print(f"{len(steps(builds[0])) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
