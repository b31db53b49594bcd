#!/usr/bin/env python3
"""Runs the built snipdir on real temporary directories and checks standard
output, standard error, the exit status and the directory afterwards.

    cli_test.py path/to/snipdir          the Linux program
    cli_test.py path/to/snipdir.exe      the Windows program, under Wine
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

PROGRAM = os.path.abspath(sys.argv[1])
WINDOWS = PROGRAM.endswith(".exe")
NEWLINE = "\r\n" if WINDOWS else "\n"
EXISTS = 183 if WINDOWS else 17  # the "target exists" code
USAGE = [
    "-= SNIPDIR - <snipdir@users.noreply.example> 2026/12/08 =-",
    "Cuts all filenames in a directory to specified length.",
    "Usage:",
    "  snipdir <directory-path> [max-length,default=12]",
]
RANGE = "ERROR: Maximum name length must be between 8 and 256."
# Wine's own diagnostics on standard error ("0050:err:winediag:...").
WINE_NOISE = re.compile(r"^[0-9a-f]{4}:(err|fixme|warn|trace):.*$\n?", re.M)


def native_path(path):
    """The path as the program under test expects it."""
    return "Z:" + path.replace("/", "\\") if WINDOWS else path


def run(*args, cwd=None, user=None):
    command = [PROGRAM, *args]
    if WINDOWS:
        command = ["wine", *command]
    elif user is not None:
        command = ["setpriv", f"--reuid={user}", f"--regid={user}",
                   "--clear-groups", *command]
    env = dict(os.environ, WINEDEBUG="-all")
    # Files, not pipes: Wine's helper processes inherit the output handles
    # and outlive the program, so a pipe would not reach its end in time.
    with tempfile.TemporaryFile() as out_file, tempfile.TemporaryFile() as err_file:
        done = subprocess.run(command, cwd=cwd, stdout=out_file, stderr=err_file,
                              env=env, timeout=300)
        out_file.seek(0)
        err_file.seek(0)
        out = out_file.read().decode("utf-8", "surrogateescape")
        err = WINE_NOISE.sub("", err_file.read().decode("utf-8", "surrogateescape"))
    return out, err, done.returncode


def lines(*texts):
    return "".join(text + NEWLINE for text in texts)


def renamed(old, new):
    return f'"{old}" => "{new}"'


class Check:
    def __init__(self):
        self.passed = 0
        self.skipped = 0
        self.failed = []

    def case(self, function):
        if WINDOWS and function in LINUX_ONLY:
            self.skipped += 1
            print(f"skip    {function.__name__} (Linux only)")
            return
        try:
            with tempfile.TemporaryDirectory(prefix="snipdir-cli-") as root:
                function(root)
            self.passed += 1
            print(f"ok      {function.__name__}")
        except Exception as error:  # a failed check, or a broken test setup
            self.failed.append(function.__name__)
            print(f"FAILED  {function.__name__}: {error}")


def expect(actual, expected, what):
    assert actual == expected, f"{what}: expected {expected!r}, got {actual!r}"


def make(root, files=(), directories=(), content=None):
    for name in directories:
        os.mkdir(os.path.join(root, name))
    for name in files:
        with open(os.path.join(root, name), "w", encoding="utf-8",
                  errors="surrogateescape") as file:
            file.write(content or name)
    return root


def listing(root):
    return sorted(os.listdir(root))


def expect_run(args, out, err="", status=0, cwd=None):
    actual = run(*args, cwd=cwd)
    expect(actual, (out, err, status), f"run {args}")


CASES = []
LINUX_ONLY = set()


def case(function):
    CASES.append(function)
    return function


def linux_only(function):
    LINUX_ONLY.add(function)
    return function


# --- Arguments -------------------------------------------------------------

@case
def usage_on_wrong_argument_count(root):
    for args in ([], [native_path(root), "12", "extra"]):
        expect_run(args, "", lines(*USAGE), 1)


@case
def limit_edges(root):
    make(root, ["a" * 255])
    for limit in ["7", "257", "-1", "abc", "0", "4294967308", ""]:
        expect_run([native_path(root), limit], lines(RANGE), "", 1)
    expect(listing(root), ["a" * 255], "untouched")
    for limit, length in [("256", 255), ("20abc", 20), (" +16", 16),
                          ("12", 12), ("8", 8)]:
        expect_run([native_path(root), limit],
                   lines(renamed(listing(root)[0], "a" * length))
                   if len(listing(root)[0]) > length else "")
        expect(listing(root), ["a" * length], f"after limit {limit}")


@case
def default_limit_is_twelve(root):
    make(root, ["abcdefghijklmnop.txt"])
    expect_run([native_path(root)],
               lines(renamed("abcdefghijklmnop.txt", "abcdefgh.txt")))


# --- Paths -----------------------------------------------------------------

@case
def missing_path(root):
    out, err, status = run(native_path(os.path.join(root, "missing")))
    expect((err, status), ("", 1), "error and status")
    code = 2 if not WINDOWS else r"[23]"
    assert re.fullmatch(rf"ERROR: Specified path does not exist \({code}\)\.{NEWLINE}",
                        out), out


@case
def file_as_path(root):
    make(root, ["plain-file-with-long-name.txt"])
    out, err, status = run(native_path(os.path.join(root, "plain-file-with-long-name.txt")))
    expect((err, status), ("", 1), "error and status")
    assert re.fullmatch(rf"ERROR: FindFirstFile\(\) failed \(\d+\)\.{NEWLINE}", out), out
    if not WINDOWS:
        expect(out, lines("ERROR: FindFirstFile() failed (20)."), "ENOTDIR")


@case
def empty_path_is_not_the_current_directory(root):
    make(root, ["abcdefghijklmnop.txt"])
    out, err, status = run("", cwd=root)
    expect(status, 1, "status")
    expect(listing(root), ["abcdefghijklmnop.txt"], "untouched")


@case
def relative_path(root):
    os.mkdir(os.path.join(root, "photos"))
    make(os.path.join(root, "photos"), ["holiday-at-the-lake.jpeg"])
    expect_run(["photos", "16"],
               lines(renamed("holiday-at-the-lake.jpeg", "holiday-at-t.jpe")),
               cwd=root)


@case
def dot_is_the_current_directory(root):
    make(root, ["abcdefghijklmnop.txt"])
    expect_run([".", "12"], lines(renamed("abcdefghijklmnop.txt", "abcdefgh.txt")),
               cwd=root)


@case
def trailing_separator(root):
    make(root, ["abcdefghijklmnop.txt"])
    expect_run([native_path(root) + ("\\" if WINDOWS else "/")],
               lines(renamed("abcdefghijklmnop.txt", "abcdefgh.txt")))
    expect(listing(root), ["abcdefgh.txt"], "renamed")


# --- The walk --------------------------------------------------------------

@case
def typical_run_with_a_collision(root):
    photos = os.path.join(root, "photos")
    os.mkdir(photos)
    make(photos, ["holiday-at-the-lake.jpeg"])
    expect_run([native_path(photos), "16"],
               lines(renamed("holiday-at-the-lake.jpeg", "holiday-at-t.jpe")))
    make(photos, ["holiday-at-the-sea.jpeg"])
    expect_run([native_path(photos), "16"],
               lines(renamed("holiday-at-the-sea.jpeg", "holiday-at-0.jpe")))
    expect(listing(photos), ["holiday-at-0.jpe", "holiday-at-t.jpe"], "names")


@case
def names_at_the_limit_are_left_alone(root):
    make(root, ["exactly12.ab", "abcdefghijkl", "short"], ["twelve-chars"])
    expect_run([native_path(root)], "")
    expect(listing(root), ["abcdefghijkl", "exactly12.ab", "short", "twelve-chars"],
           "untouched")


@case
def directories_keep_no_extension(root):
    make(root, directories=["some.directory.name"])
    make(os.path.join(root, "some.directory.name"), ["inner-file-with-a-long-name.txt"])
    expect_run([native_path(root)],
               lines(renamed("some.directory.name", "some.directo")))
    expect(os.listdir(os.path.join(root, "some.directo")),
           ["inner-file-with-a-long-name.txt"], "contents not visited")


@case
def counter_runs_through_hex_digits(root):
    names = [f"same-beginning-{i:02}.txt" for i in range(18)]
    make(root, names, content="x")
    out, err, status = run(native_path(root))
    expect((err, status), ("", 0), "error and status")
    new = sorted(line.split(" => ")[1].strip('"\r')
                 for line in out.splitlines())
    expected = sorted(["same-beg.txt"] + [f"same-be{d}.txt" for d in "0123456789ABCDEF"]
                      + ["same-b10.txt"])
    expect(new, expected, "candidates")
    expect(listing(root), expected, "directory")


@case
def non_ascii_names(root):
    names = ["café-au-lait-recipes.txt", "日本語のとても長いファイル名.txt",
             "emoji-\U0001F600-in-the-middle.png"]
    make(root, names)
    out, err, status = run(native_path(root))
    expect((err, status), ("", 0), "error and status")
    expected = {"café-au-lait-recipes.txt": "café-au-.txt",
                "日本語のとても長いファイル名.txt": "日本語のとても長.txt",
                "emoji-\U0001F600-in-the-middle.png": "emoji-\U0001F600.png"}
    expect(sorted(out.splitlines()),
           sorted(renamed(old, new) for old, new in expected.items()), "output")
    for old, new in expected.items():
        with open(os.path.join(root, new), encoding="utf-8") as file:
            expect(file.read(), old, f"content of {new}")


@case
def content_survives_and_nothing_is_replaced(root):
    make(root, ["abcdefgh.txt", "abcdefg0.txt"], content="precious")
    make(root, ["abcdefghijklmnop.txt"], content="moved")
    expect_run([native_path(root)],
               lines(renamed("abcdefghijklmnop.txt", "abcdefg1.txt")))
    for name, content in [("abcdefgh.txt", "precious"), ("abcdefg0.txt", "precious"),
                          ("abcdefg1.txt", "moved")]:
        with open(os.path.join(root, name)) as file:
            expect(file.read(), content, name)


@case
@linux_only  # Wine running as root does not enforce permissions
def failed_rename_is_reported_and_the_walk_goes_on(root):
    make(root, ["first-long-name.txt", "second-long-name.txt"])
    os.chmod(root, 0o755)  # others may list but not rename
    out, err, status = run_as_nobody(root)
    expect((err, status), ("", 0), "error and status")
    expect(sorted(out.splitlines()),
           sorted(f'ERROR: "{name}": MoveFile() failed (13).'
                  for name in ["first-long-name.txt", "second-long-name.txt"]),
           "one error line each")
    expect(listing(root), ["first-long-name.txt", "second-long-name.txt"], "untouched")


def run_as_nobody(root):
    # The temporary directory's parents must be searchable by nobody.
    return run(root, user=65534)


@case
@linux_only  # Windows names are UTF-16 already
def invalid_utf8_names_survive(root):
    raw = os.fsencode(root)
    for name in [b"bad-\xff-byte-in-a-long-name.txt", b"truncated-\xe2\x82-sequence-name"]:
        with open(raw + b"/" + name, "wb") as file:
            file.write(name)
    out, err, status = run(root)
    expect((err, status), ("", 0), "error and status")
    expected = {b"bad-\xff-by.txt": b"bad-\xff-byte-in-a-long-name.txt",
                b"truncated-\xe2\x82": b"truncated-\xe2\x82-sequence-name"}
    expect(sorted(os.listdir(raw)), sorted(expected), "names")
    for new, old in expected.items():
        with open(raw + b"/" + new, "rb") as file:
            expect(file.read(), old, "content")
    expect(sorted(out.encode("utf-8", "surrogateescape").splitlines()),
           sorted(b'"' + old + b'" => "' + new + b'"' for new, old in expected.items()),
           "output bytes")


def main():
    if WINDOWS:
        # One Wine server for all the runs, and Wine set up before the first.
        subprocess.run(["wineserver", "-p", "10"], check=False)
        run()
    check = Check()
    for function in CASES:
        check.case(function)
    print(f"{check.passed} passed, {len(check.failed)} failed, {check.skipped} skipped")
    return 1 if check.failed else 0


if __name__ == "__main__":
    sys.exit(main())
