#!/usr/bin/env python3
"""snipdir-fit against the real thing, where there is one here: a documents
tree of long names in several scripts, made on NTFS (ntfs-3g takes 255
UTF-16 units per name), fitted for a destination, then handed to it:

- linux: copied with cp -a onto tmpfs, which takes 255 bytes per name;
  nothing may be refused;
- joliet: made into an image with xorriso -as mkisofs -J -R; no warning,
  and the Joliet names read back (xorriso, and isoinfo -J -f) are exactly
  the tree's, files one and six directories down among them;
- windows, onedrive: copied with cp -a onto a new NTFS image mounted with
  ntfs-3g's windows_names, which refuses every name Windows refuses;
- every destination but linux: every name and path passes the checker
  written from the published rules (tests/cli/destinations.py), and no
  two names of a directory are one name there (twins in case, and for
  macos in decomposition, are in the tree).

Each time the preview prints what the run prints, and undo gives the tree
back byte for byte.

    destinations_test.py build/native/snipdir

Needs root for the mounts; what cannot be mounted or is not installed is
skipped with the reason, never failed.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "cli"))
sys.path.insert(0, HERE)
import destinations  # noqa: E402
from fit_test import tree as snapshot  # noqa: E402
from harness import Program  # noqa: E402
from volumes_test import Skip, mounted  # noqa: E402

# Long names as documents trees have them: most over 255 bytes, some over
# 64 characters, one over 255 units once decomposed, some with characters
# Windows or an image refuses.
NAMES = [
    "報告書" * 30 + "の最終版（二〇二四年度）.docx",
    "सम्पूर्ण वार्षिक प्रतिवेदन " * 5 + ".pdf",
    "\U0001F468\u200D\U0001F469\u200D\U0001F467 family holiday " * 6 + ".jpeg",
    "Пояснительная записка к годовому отчёту за двадцать четвёртый год " * 2 + ".odt",
    "Ọ̀pẹ̀ lọ́pọ̀lọpọ̀ fún ìrànlọ́wọ́ yín " * 4 + ".txt",
    "Café résumé, déjà vu " * 11 + ".txt",  # 235 units: over 255 decomposed
    "minutes: what we decided? (final) .txt",
    "~$budget.xlsx",
    "desktop.ini",
    # Twins: in case, and (for macos) in decomposition.
    "Minutes of the board.docx", "minutes of the board.DOCX",
    "Caf\u00e9 menu.txt", "Cafe\u0301 menu.txt",
    "notes for the meeting.",
]
DIRECTORIES = ["プロジェクト資料" * 10, "Archives 2019-2024 " + "é" * 60, "CON"]
# Files one and six directories down, on paths Joliet counts at its limit.
ONE_DOWN = ["Quarterly reports of the regional offices, from 2019 to 2024", [
    f"Report {i} of the regional office, with all its appendices and tables.txt"
    for i in range(3)]]
DEEP = ["Level one of the deep archive", "two", "three", "four", "five", "six",
        "The document at the bottom of a deep archive of long names.txt"]


def build(root):
    """The tree: each directory holds every name, and one level more."""
    os.makedirs(root)
    for directory, names in (ONE_DOWN, (os.path.join(*DEEP[:-1]), DEEP[-1:])):
        os.makedirs(os.path.join(root, directory))
        for name in names:
            with open(os.path.join(root, directory, name), "w", encoding="utf-8") as file:
                file.write(name)
    for directory in DIRECTORIES:
        place = os.path.join(root, directory)
        os.mkdir(place)
        os.mkdir(os.path.join(place, directory[:20]))
        for name in NAMES:
            for where in (place, os.path.join(place, directory[:20])):
                with open(os.path.join(where, name), "w", encoding="utf-8") as file:
                    file.write(name)


def run(*args, **options):
    return subprocess.run(args, capture_output=True, **options)


def fit(program, root, destination):
    """Previews and fits `root`; returns the report."""
    before = snapshot(root)
    preview, err, status = program.run("--preview", root, destination, tool="snipdir-fit")
    assert status == 0, f"preview: {status} {preview.decode()} {err.decode()}"
    assert snapshot(root) == before, "the preview changed the tree"
    out, _, status = program.run(root, destination, tool="snipdir-fit")
    assert (out, status) == (preview, 0), f"preview and run differ:\n{preview.decode()}\n{out.decode()}"
    assert out.count(b" => ") > 0, "nothing renamed"
    return out


def undo(program, root, report, before):
    path = root + ".report"
    with open(path, "wb") as file:
        file.write(report)
    out, err, status = program.run(root, path, tool="snipdir-undo")
    assert (err, status) == (b"", 0), f"undo: {out.decode()} {err.decode()}"
    assert snapshot(root) == before, "undo did not give the tree back"


def names_below(root):
    found = []
    for directory, subdirectories, files in os.walk(root):
        for name in subdirectories + files:
            found.append(os.path.relpath(os.path.join(directory, name), root))
    return sorted(found)


def onto_linux(root, scratch):
    os.makedirs(scratch)
    with mounted("tmpfs", scratch) as point:
        copied = run("cp", "-a", root, os.path.join(point, "copy"))
        assert (copied.returncode, copied.stderr) == (0, b""), copied.stderr.decode()[:2000]
        assert names_below(os.path.join(point, "copy")) == names_below(root), "copied other names"


def onto_joliet(root, scratch):
    if shutil.which("xorriso") is None or shutil.which("isoinfo") is None:
        raise Skip("xorriso or isoinfo is not installed")
    os.makedirs(scratch)
    image = os.path.join(scratch, "tree.iso")
    made = run("xorriso", "-as", "mkisofs", "-J", "-R", "-o", image, root)
    assert made.returncode == 0 and b"WARNING" not in made.stderr, made.stderr.decode()[:2000]
    listed = run("xorriso", "-read_fs", "norock", "-indev", image, "-find", "/",
                 env={**os.environ, "LANG": "C.UTF-8"})
    joliet = sorted(line[2:-1] for line in listed.stdout.decode().splitlines() if line != "'/'")
    assert joliet == names_below(root), "the image's Joliet names are not the tree's"
    # isoinfo writes ISO 8859-1, and "_" for what it cannot.
    shown = run("isoinfo", "-J", "-f", "-i", image).stdout.splitlines()
    expected = [bytes(ord(c) if ord(c) < 256 else ord("_") for c in "/" + path)
                for path in names_below(root)]
    assert sorted(shown) == sorted(expected), "isoinfo -J lists other names"


def onto_windows_names(root, scratch):
    """A copy onto NTFS through ntfs-3g's windows_names, which refuses the
    characters, trailing spaces and dots and device names Windows refuses."""
    os.makedirs(scratch)
    with mounted("ntfs", scratch, ["windows_names"]) as point:
        copied = run("cp", "-a", root, os.path.join(point, "copy"))
        assert (copied.returncode, copied.stderr) == (0, b""), copied.stderr.decode()[:2000]
        assert names_below(os.path.join(point, "copy")) == names_below(root), "copied other names"


def checked(destination, hand_over=None):
    """The check of a destination by its published rules, then the real
    thing where there is one."""
    def check(root, scratch):
        below = names_below(root)
        for path in below:
            name = os.path.basename(path)
            directory = os.path.isdir(os.path.join(root, path))
            assert not destinations.refuses(destination, name), f"{destination} refuses {path}"
            assert destinations.name_over(destination, name) <= 0, f"name too long: {path}"
            assert destinations.over(destination, root, path, directory) <= 0, \
                f"path too long: {path}"
        by_directory = {}
        for path in below:
            by_directory.setdefault(os.path.dirname(path), []).append(os.path.basename(path))
        for names in by_directory.values():
            twins = destinations.twins(destination, names)
            assert not twins, f"{destination} takes these for one name: {twins}"
        if hand_over:
            hand_over(root, scratch)
    return check


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    args = parser.parse_args()
    checks = [("linux", onto_linux), ("joliet", checked("joliet", onto_joliet)),
              ("windows", checked("windows", onto_windows_names)),
              ("onedrive", checked("onedrive", onto_windows_names))] + [
        (destination, checked(destination))
        for destination in ("sharepoint", "dropbox", "ecryptfs", "macos")]
    if os.geteuid() != 0:
        print("skip    every destination: mounting image files needs root")
        print(f"0 passed, 0 failed, {len(checks)} skipped")
        return 0
    program = Program(args.program)
    passed, failed, skipped = 0, [], 0
    with tempfile.TemporaryDirectory(dir="/var/tmp") as scratch:
        try:
            with mounted("ntfs", scratch) as point:
                for destination, hand_over in checks:
                    root = os.path.join(point, destination)
                    try:
                        build(root)
                        before = snapshot(root)
                        report = fit(program, root, destination)
                        hand_over(root, os.path.join(scratch, destination))
                        undo(program, root, report, before)
                        print(f"ok      {destination}: {report.count(b' => ')} renamed")
                        passed += 1
                    except Skip as reason:
                        print(f"skip    {destination}: {reason}")
                        skipped += 1
                    except AssertionError as error:
                        print(f"FAILED  {destination}: {error}")
                        failed.append(destination)
        except Skip as reason:
            print(f"skip    every destination: {reason}")
            skipped = len(checks)
    print(f"{passed} passed, {len(failed)} failed, {skipped} skipped")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
