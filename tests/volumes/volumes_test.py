#!/usr/bin/env python3
"""Runs snipdir on the volumes people cut names for, each mounted from an
image file: ext4, xfs and btrfs (loop mounts), tmpfs, exFAT (exfat-fuse),
NTFS (ntfs-3g), FAT (fusefat) and a bindfs mirror. On each, the same tree
of names is previewed, cut and undone:

- the preview prints what the run then prints, and changes nothing;
- the lines are those of the same tree on the local disk, byte for byte;
- nothing is lost or replaced, every new name works on Windows;
- undo gives every name back.

With the Windows program given, it runs under Wine on the local disk, on
tmpfs and on NTFS, and must print the same lines (line ends aside).

    volumes_test.py build/native/snipdir [--windows build/win32/snipdir.exe]

Needs root for the mounts; a volume that cannot be mounted here is skipped
with the reason, never failed.
"""
import argparse
import contextlib
import ctypes
import errno
import os
import shutil
import signal
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "cli"))
from harness import Program, check_run, snapshot  # noqa: E402

LIMIT = "12"
IMAGE_SIZE = 320 << 20  # what xfs and btrfs need at the least

# The tree: names every format here can hold (FAT: no Unicode through
# fusefat, which refuses to create such names).
ASCII_FILES = [f"IMG_20230101_{i:03d}_description.jpg" for i in range(40)] + [
    "holiday-at-the-lake.jpeg", "holiday-at-the-lakeside.jpeg",
    "Holiday-Photo-001.jpeg", "holiday-photo-002.jpeg",
    "Quarterly report (final, really final).docx", ".config-backup-2024",
    "COM1-modem-settings.txt", "exactly-12ch", "short.txt", "notes-for-the-meeting.",
    "report_[draft]-version-two.txt", "reportZ-version-three.txt",
]
UNICODE_FILES = [
    "Ünïcödé-long-name.txt", "\u03c2\u03c2\u03c2-long-name-one.txt",
    "\u03c3\u03c3\u03c3-long-name-two.txt", "\u03a3\u03a3\u03a3-long-name-three.txt",
    "日本語のファイル名です.txt", "emoji-\U0001F600-long-name.txt", "Été-en-montagne.txt",
]
DIRECTORIES = ["some.directory.name", "aux.files-from-the-old-server",
               "Trip to the mountains 2024"]
# How NTFS-3G shows a lone surrogate of an NTFS name.
SURROGATE_FILES = [b"abcdefghijk\xed\xa0\x80-cut-after-a-lone-surrogate.txt",
                   b"abcdefg\xed\xb0\x80hijkl-surrogate.txt"]


def tree(unicode=True, directories=True, surrogates=False):
    files = [os.fsencode(n) for n in ASCII_FILES + (UNICODE_FILES if unicode else [])]
    return (files + (SURROGATE_FILES if surrogates else []),
            [os.fsencode(n) for n in (DIRECTORIES if directories else [])])


def build(root, files, directories):
    os.makedirs(root)
    for name in files:
        with open(os.path.join(os.fsencode(root), name), "wb") as file:
            file.write(b"content of " + name)
    for name in directories:
        os.mkdir(os.path.join(os.fsencode(root), name))
        with open(os.path.join(os.fsencode(root), name, b"inside.txt"), "wb") as file:
            file.write(name)


def sh(*command, **options):
    return subprocess.run(command, check=True, stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE, **options)


class Skip(Exception):
    pass


@contextlib.contextmanager
def mounted(kind, scratch, options=()):
    """Mounts a new volume of `kind` (with the driver's `options`) and
    yields its mount point; unmounts (and frees the loop device) whatever
    happens."""
    image = os.path.join(scratch, kind + ".img")
    point = os.path.join(scratch, kind)
    os.mkdir(point)
    with open(image, "wb") as file:
        file.truncate(IMAGE_SIZE)
    loop = None
    try:
        if kind in ("ext4", "xfs", "btrfs"):
            sh(f"mkfs.{kind}", *(["-q", "-F"] if kind == "ext4" else ["-q", "-f"]), image)
            sh("mount", "-o", "loop", image, point)
        elif kind == "tmpfs":
            sh("mount", "-t", "tmpfs", "-o", "size=64m", "tmpfs", point)
        elif kind == "exfat":
            sh("mkfs.exfat", image)
            # As root, exfat-fuse wants a block device.
            loop = subprocess.run(["losetup", "-f", "--show", image], check=True,
                                  capture_output=True, text=True).stdout.strip()
            sh("mount.exfat-fuse", loop, point)
        elif kind == "ntfs":
            sh("mkntfs", "-q", "-F", "-f", image)
            sh("ntfs-3g", *(["-o", ",".join(options)] if options else []), image, point)
        elif kind == "fat":
            sh("mkfs.vfat", "-F", "32", image)
            sh("fusefat", "-o", "rw+", image, point)
        elif kind == "bindfs":
            source = os.path.join(scratch, "bindfs-source")
            os.mkdir(source)
            sh("bindfs", source, point)
    except (subprocess.CalledProcessError, FileNotFoundError) as error:
        detail = getattr(error, "stderr", b"") or b""
        if loop:
            subprocess.run(["losetup", "-d", loop], check=False)
        raise Skip(f"cannot mount {kind}: {error} {detail.decode(errors='replace').strip()}")
    try:
        yield point
    finally:
        subprocess.run(["umount", point], check=False, stderr=subprocess.DEVNULL)
        if loop:
            subprocess.run(["losetup", "-d", loop], check=False)
        if kind == "fat":
            # What fusefat left on the image must be a sound FAT volume.
            check = subprocess.run(["fsck.fat", "-n", image], capture_output=True, text=True)
            assert check.returncode == 0, f"fsck.fat after the run: {check.stdout}"


def cycle(program, root):
    """Previews, cuts and undoes `root`; returns the run's report after
    checking every promise."""
    before = snapshot(root)
    preview, err, status = program.run(program.native_path(root), LIMIT, tool="snipdir-preview")
    assert (err, status) == (b"", 0), f"preview: {err!r} {status}"
    assert snapshot(root) == before, "the preview changed the directory"
    out, err, status = program.run(program.native_path(root), LIMIT)
    assert (err, status) == (b"", 0), f"run: {err!r} {status}"
    assert out == preview, f"preview and run differ:\n{preview.decode()}\n{out.decode()}"
    check_run(before, snapshot(root), out, int(LIMIT), program.newline)
    report = os.path.join(os.path.dirname(root), "report.txt")
    with open(report, "wb") as file:
        file.write(out)
    undo, err, status = program.run(program.native_path(root), program.native_path(report),
                                    tool="snipdir-undo")
    assert (err, status) == (b"", 0), f"undo: {err!r} {status}"
    assert snapshot(root) == before, "undo did not give every name back"
    return out


def fat_directory_is_refused_cleanly(program, point):
    """fusefat renames a directory, but not onto the empty placeholder that
    holds its new name: the directory gets its error line, and nothing
    else changes."""
    root = os.path.join(point, "directories")
    build(root, [], [b"some.directory.name"])
    before = snapshot(root)
    out, err, status = program.run(root, LIMIT)
    assert (err, status) == (b"", 0), f"run: {err!r} {status}"
    assert out == b'ERROR: "some.directory.name": MoveFile() failed (1).\n', out
    assert snapshot(root) == before, "a placeholder was left behind"


def long_names(program, point, kind):
    """A directory and a file of 255 units cut to each length from 230 to
    254 and undone (back to 255): nothing left beside them, nothing lost. ntfs-3g renames
    onto an existing name through a temporary name 19 units longer, which
    it cannot make for a name of exactly 237 units (code 22); fusefat
    renames no directory onto a placeholder (code 1)."""
    for length in range(230, 255):
        root = os.path.join(point, f"long-{length}")
        build(root, [b"f" * 251 + b".txt"], [b"d" * 255])
        before = snapshot(root)
        out, err, status = program.run(root, str(length))
        refused = {"ntfs": 22 if length == 237 else None, "fat": 1}.get(kind)
        directory = (f'ERROR: "{"d" * 255}": MoveFile() failed ({refused}).' if refused else
                     f'"{"d" * 255}" => "{"d" * length}"')
        expected = f'{directory}\n"{"f" * 251}.txt" => "{"f" * (length - 4)}.txt"\n'
        assert (out.decode(), err, status) == (expected, b"", 0), f"at {length}: {out!r} {err!r}"
        assert len(os.listdir(root)) == 2, f"at {length}: left beside: {os.listdir(root)}"
        report = root + ".report"
        with open(report, "wb") as file:
            file.write(out)
        out, err, status = program.run(root, report, tool="snipdir-undo")
        assert (err, status) == (b"", 0) and b"ERROR" not in out, f"undo at {length}: {out!r}"
        assert snapshot(root) == before, f"undo at {length} did not give every name back"


def measured(point):
    """What the file system does, as the README's table says it: renames
    without replacing, links, and renames onto an existing name by length."""
    libc = ctypes.CDLL(None, use_errno=True)
    place = os.path.join(point, "probe")
    os.mkdir(place)
    directory = os.open(place, os.O_RDONLY)
    try:
        os.mkdir(os.path.join(place, "a"))
        noreplace = libc.renameat2(directory, b"a", directory, b"b", 1) == 0
        error = "" if noreplace else errno.errorcode.get(ctypes.get_errno(), "?")
        facts = ["renameat2 without replacing" if noreplace else f"no renameat2 flag ({error})"]
        open(os.path.join(place, "f"), "w").close()
        try:
            os.link(os.path.join(place, "f"), os.path.join(place, "g"))
            facts.append("links")
        except OSError as failure:
            facts.append(f"no links ({errno.errorcode[failure.errno]})")
        for kind in ("directory", "file"):
            outcomes = []
            for length in range(230, 256):
                for name in os.listdir(place):
                    subprocess.run(["rm", "-rf", os.path.join(place, name)], check=True)
                old, new = (os.path.join(place, c * length) for c in "on")
                for path in (old, new):
                    os.mkdir(path) if kind == "directory" else open(path, "w").close()
                try:
                    os.rename(old, new)
                    outcome = "ok" if os.listdir(place) == ["n" * length] else "leaves one"
                except OSError as failure:
                    outcome = errno.errorcode[failure.errno]
                if not outcomes or outcomes[-1][1] != outcome:
                    outcomes.append([length, outcome, length])
                outcomes[-1][2] = length
            facts.append(f"{kind} onto another: " + ", ".join(
                f"{first}-{last} {outcome}" for first, outcome, last in outcomes))
        return "; ".join(facts)
    finally:
        os.close(directory)
        subprocess.run(["rm", "-rf", place], check=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--windows", help="the Windows program, run under Wine too")
    args = parser.parse_args()
    if os.geteuid() != 0:
        print("skip    every volume: mounting image files needs root")
        print("0 passed, 0 failed, 9 skipped")
        return 0
    native = Program(args.program)
    windows = Program(args.windows) if args.windows else None
    if windows:
        windows.start_wine()
    # A stop signal unmounts too (the context managers run on the way out).
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    signal.signal(signal.SIGHUP, lambda *_: sys.exit(1))

    passed, failed, skipped = 0, [], 0
    with tempfile.TemporaryDirectory(dir="/var/tmp") as scratch:
        # The same trees on the local disk give the lines to compare with.
        reference = {}
        for shape in [(True, True, True), (True, True, False), (False, False, False)]:
            local = os.path.join(scratch, "local-" + "-".join(map(str, shape)), "tree")
            build(local, *tree(*shape))
            reference[shape] = cycle(native, local)
        volumes = [("ext4", (True, True, True)), ("xfs", (True, True, True)),
                   ("btrfs", (True, True, True)), ("tmpfs", (True, True, True)),
                   ("exfat", (True, True, False)), ("ntfs", (True, True, True)),
                   ("bindfs", (True, True, True)), ("fat", (False, False, False))]
        checks = []
        for kind, shape in volumes:
            checks.append((kind, shape, False))
            if windows and kind in ("tmpfs", "ntfs"):
                checks.append((kind, (True, True, False), True))
        if windows:
            checks.append(("local", (True, True, False), True))
        for kind, shape, under_wine in checks:
            what = f"{kind}{', Wine' if under_wine else ''}"
            place = os.path.join(scratch, what.replace(", ", "-"))
            os.makedirs(place)
            try:
                with contextlib.ExitStack() as stack:
                    point = place if kind == "local" else stack.enter_context(mounted(kind, place))
                    root = os.path.join(point, "tree")
                    build(root, *tree(*shape))
                    program = windows if under_wine else native
                    out = cycle(program, root)
                    if under_wine:
                        out = out.replace(b"\r\n", b"\n")
                    assert out == reference[shape], (
                        f"lines differ from the local disk's:\n{out.decode(errors='replace')}\n"
                        f"{reference[shape].decode(errors='replace')}")
                    if kind == "fat":
                        fat_directory_is_refused_cleanly(native, point)
                    if not under_wine:
                        long_names(native, point, kind)
                        print(f"        {kind}: {measured(point)}")
                print(f"ok      {what}")
                passed += 1
            except Skip as reason:
                print(f"skip    {what}: {reason}")
                skipped += 1
            except AssertionError as error:
                print(f"FAILED  {what}: {error}")
                failed.append(what)
    print(f"{passed} passed, {len(failed)} failed, {skipped} skipped")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
