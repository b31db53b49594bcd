#!/usr/bin/env python3
"""Runs the built snipdir on real temporary directories and checks standard
output, standard error, the exit status and the directory afterwards.

    cli_test.py path/to/snipdir [--seam path/to/libsnipdir_seam.so]
    cli_test.py path/to/snipdir.exe            (the Windows program, under Wine)
"""
import os
import random
import re
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time

from harness import Program, Suite, check_run, parse, snapshot, upcase

def usage():
    release = program.release
    return [f"-= SNIPDIR - <{release['CONTACT']}> {release['RELEASE_DATE']} =-",
            "Cuts all filenames in a directory to specified length.",
            "Usage:",
            "  snipdir <directory-path> [max-length,default=12]"]


RANGE = "ERROR: Maximum name length must be between 8 and 256."

suite = Suite()
case = suite.case
linux_only = suite.tagged(suite.linux_only)
windows_only = suite.tagged(suite.windows_only)
uses_seam = suite.tagged(suite.uses_seam)
program = None  # the Program under test


def lines(*texts):
    newline = program.newline.decode()
    return "".join(text + newline for text in texts)


def renamed(old, new):
    return f'"{old}" => "{new}"'


def run(*args, **options):
    out, err, status = program.run(*args, **options)
    return out.decode("utf-8", "surrogateescape"), err.decode("utf-8", "surrogateescape"), status


def expect(actual, expected, what):
    assert actual == expected, f"{what}: expected {expected!r}, got {actual!r}"


def expect_run(args, out, err="", status=0, **options):
    expect(run(*args, **options), (out, err, status), f"run {args}")


def make(root, files=(), directories=(), content=None):
    for name in directories:
        os.mkdir(os.path.join(root, name))
    for name in files:
        with open(os.path.join(os.fsencode(root), os.fsencode(name)), "wb") as file:
            file.write(content or os.fsencode(name))
    return root


def listing(root):
    return sorted(os.listdir(root))


def read(path):
    with open(path, "rb") as file:
        return file.read()


# --- Arguments -------------------------------------------------------------

@case
def usage_on_wrong_argument_count(root):
    for args in ([], [program.native_path(root), "12", "extra"]):
        expect_run(args, "", lines(*usage()), 1)


@case
def limit_edges(root):
    make(root, ["a" * 255])
    for limit in ["7", "257", "-1", "abc", "0", "4294967308", ""]:
        expect_run([program.native_path(root), limit], lines(RANGE), "", 1)
    expect(listing(root), ["a" * 255], "untouched")
    for limit, length in [("256", 255), ("20abc", 20), (" +16", 16), ("12", 12), ("8", 8)]:
        before = listing(root)[0]
        expect_run([program.native_path(root), limit],
                   lines(renamed(before, "a" * length)) if len(before) > length else "")
        expect(listing(root), ["a" * length], f"after limit {limit}")


@case
def default_limit_is_twelve(root):
    make(root, ["abcdefghijklmnop.txt"])
    expect_run([program.native_path(root)],
               lines(renamed("abcdefghijklmnop.txt", "abcdefgh.txt")))


@case
def help_and_version_where_no_entry_has_that_name(root):
    for tool in ("snipdir", "snipdir-preview", "snipdir-undo"):
        for option in ["--help", "-h", "-?"] + (["/?"] if program.windows else []):
            out, err, status = run(option, tool=tool, cwd=root)
            expect((err, status), ("", 0), f"{tool} {option}")
            assert out.startswith(f"-= {tool.upper()} - ") and "snipdir-undo <" in out, out
        out, err, status = run("-V", tool=tool, cwd=root)
        expect((out.splitlines()[0], err, status), (f"{tool} {program.release['VERSION']}", "", 0),
               f"{tool} -V")
    # An entry of that name is the directory to cut; "--" goes only where
    # no entry has that name.
    os.mkdir(os.path.join(root, "--help"))
    make(os.path.join(root, "--help"), ["abcdefghijklmnop.txt"])
    expect_run(["--", "--help"], lines(renamed("abcdefghijklmnop.txt", "abcdefgh.txt")), cwd=root)
    expect(listing(os.path.join(root, "--help")), ["abcdefgh.txt"], "names")


@case
def the_report_being_written_is_never_cut(root):
    make(root, ["abcdefghijklmnop.txt"])
    for tool, report in (("snipdir-preview", "preview-of-the-cut-today.txt"),
                         ("snipdir", "report-of-the-cut-today.txt")):
        command, env = program.command(program.native_path(root), tool=tool)
        with open(os.path.join(root, report), "wb") as out:
            expect(subprocess.run(command, stdout=out, env=env).returncode, 0, tool)
        expect(read(os.path.join(root, report)).decode(),
               lines(renamed("abcdefghijklmnop.txt", "abcdefgh.txt")), f"{tool}'s report")
        if tool == "snipdir-preview":
            os.unlink(os.path.join(root, report))
    expect(listing(root), ["abcdefgh.txt", "report-of-the-cut-today.txt"], "names")


@case
def undo_with_its_arguments_swapped_or_no_report_to_read(root):
    make(root, ["abcdefgh.txt"])
    report = os.path.join(os.path.dirname(root), os.path.basename(root) + ".report")
    with open(report, "w") as file:
        file.write('"abcdefghijklmnop.txt" => "abcdefgh.txt"\n')
    expect_run([program.native_path(report), program.native_path(root)], "",
               lines("ERROR: The first argument must be the directory and the second the report."),
               status=1, tool="snipdir-undo")
    expect(listing(root), ["abcdefgh.txt"], "untouched")
    if not program.windows:  # standard input closed
        command, env = program.command(root, "-", tool="snipdir-undo")
        done = subprocess.run(["sh", "-c", 'exec "$@" <&-', "sh", *command], env=env,
                              capture_output=True)
        expect((done.stdout, done.returncode), (b"ERROR: Cannot read the report (9).\n", 1),
               "closed standard input")


@case
@linux_only
def a_stop_ends_a_blocked_read_and_a_second_stop_the_program(root):
    make(root, ["abcdefgh.txt"])
    # Undo reading a report from a pipe that never ends: the first SIGTERM.
    reader, writer = os.pipe()
    command, env = program.command(root, "-", tool="snipdir-undo")
    process = subprocess.Popen(command, stdin=reader, stdout=subprocess.PIPE, env=env)
    time.sleep(0.3)
    process.send_signal(signal.SIGTERM)
    out, _ = process.communicate(timeout=10)
    os.close(reader)
    os.close(writer)
    expect((out, process.returncode), (b"ERROR: Interrupted.\n", -signal.SIGTERM), "undo")
    # A report to a pipe nobody reads: the walk blocks writing. The first
    # SIGTERM is noted while the line keeps being tried; the second ends it.
    many_long_names(root, 5000)
    process = start([root], subprocess.PIPE)
    time.sleep(0.5)
    process.send_signal(signal.SIGTERM)
    time.sleep(0.3)
    expect(process.poll(), None, "still writing the line of a rename made")
    process.send_signal(signal.SIGTERM)
    expect(process.wait(timeout=10), -signal.SIGTERM, "status after the second signal")
    process.stdout.close()


@case
@linux_only
@uses_seam
def memory_running_out_at_start_up(root):
    if b"AddressSanitizer" in read(program.path):
        return  # the sanitizer's allocator is not the one the seam replaces
    make(root, ["abcdefghijklmnop.txt"])
    expect(run(root, seam="nomem"), ("ERROR: Out of memory.\n", "", 1), "run")
    expect(listing(root), ["abcdefghijklmnop.txt"], "untouched")


@case
def c1_and_bidirectional_controls_are_escaped(root):
    names = ["over\u202etxt.exe-long-name", "c1-\u0085-\u009b-control-name"]
    make(root, names)
    out, err, status = run(program.native_path(root))
    expect((err, status), ("", 0), "error and status")
    expect(sorted(out.splitlines()),
           sorted(['"c1-\\u0085-\\u009B-control-name" => "c1-\\u0085-\\u009B-contr"',
                   '"over\\u202Etxt.exe-long-name" => "over\\u202Etxt.exe"']), "lines")
    report = os.path.join(os.path.dirname(root), os.path.basename(root) + ".report")
    with open(report, "wb") as file:
        file.write(out.encode())
    out, err, status = run(program.native_path(root), program.native_path(report),
                           tool="snipdir-undo")
    expect(listing(root), sorted(names), "undone")


# --- Paths -----------------------------------------------------------------

@case
def missing_path(root):
    out, err, status = run(program.native_path(os.path.join(root, "missing")))
    expect((err, status), ("", 1), "error and status")
    code = r"[23]" if program.windows else "2"
    assert re.fullmatch(rf"ERROR: Specified path does not exist \({code}\)\.\r?\n", out), out


@case
def file_as_path(root):
    make(root, ["plain-file-with-long-name.txt"])
    out, err, status = run(program.native_path(os.path.join(root, "plain-file-with-long-name.txt")))
    expect((err, status), ("", 1), "error and status")
    code = r"\d+" if program.windows else "20"  # ENOTDIR
    assert re.fullmatch(rf"ERROR: FindFirstFile\(\) failed \({code}\)\.\r?\n", out), out
    expect(listing(root), ["plain-file-with-long-name.txt"], "untouched")


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
    expect_run(["photos", "16"], lines(renamed("holiday-at-the-lake.jpeg", "holiday-at-t.jpe")),
               cwd=root)


@case
def dot_is_the_current_directory(root):
    make(root, ["abcdefghijklmnop.txt"])
    expect_run([".", "12"], lines(renamed("abcdefghijklmnop.txt", "abcdefgh.txt")), cwd=root)


@case
def trailing_separator(root):
    make(root, ["abcdefghijklmnop.txt"])
    expect_run([program.native_path(root) + ("\\" if program.windows else "/")],
               lines(renamed("abcdefghijklmnop.txt", "abcdefgh.txt")))
    expect(listing(root), ["abcdefgh.txt"], "renamed")


@case
@linux_only
def directory_beyond_path_max(root):
    # Built with relative steps: no single call sees the whole path.
    start = os.open(".", os.O_RDONLY)
    depth = 0
    try:
        os.chdir(root)
        while depth * 201 < 4096 + 400:
            os.mkdir("d" * 200)
            os.chdir("d" * 200)
            depth += 1
        make(".", ["a-long-file-name-deep-down.txt"])
    finally:
        os.fchdir(start)
        os.close(start)
    deep = root + ("/" + "d" * 200) * depth
    assert len(deep) > 4096
    expect_run([deep], lines(renamed("a-long-file-name-deep-down.txt", "a-long-f.txt")))
    # The same directory as the current one, named ".": the runner walks
    # down with relative steps too, then starts the program there.
    runner = ("import os, subprocess, sys\n"
              f"os.chdir({root!r})\n"
              f"for _ in range({depth}): os.chdir('d' * 200)\n"
              "open('second-long-file-name.txt', 'w').close()\n"
              "sys.exit(subprocess.run([sys.argv[1], '.']).returncode)\n")
    done = subprocess.run([sys.executable, "-c", runner, program.path], capture_output=True)
    expect((done.stdout.decode(), done.stderr.decode(), done.returncode),
           (lines(renamed("second-long-file-name.txt", "second-l.txt")), "", 0),
           "run in the deep directory")


@case
@windows_only
def path_longer_than_260(root):
    deep = root
    while len(program.native_path(deep)) <= 300:
        deep = os.path.join(deep, "a-rather-long-directory-name-" + "x" * 20)
        os.mkdir(deep)
    make(deep, ["a-long-file-name-deep-down.txt"])
    expect_run([program.native_path(deep)], lines(renamed("a-long-file-name-deep-down.txt", "a-long-f.txt")))
    make(deep, ["already-prefixed-argument.txt"])
    expect_run(["\\\\?\\" + program.native_path(deep)],
               lines(renamed("already-prefixed-argument.txt", "already-.txt")))


@case
@windows_only
def unc_argument_that_cannot_be_reached(root):
    make(root, ["abcdefghijklmnop.txt"])
    out, err, status = run("\\\\no-such-server\\share\\dir")
    expect(status, 1, "status")
    assert re.fullmatch(r"ERROR: [^\r\n]*\(\d+\)\.\r\n", out), out
    expect(listing(root), ["abcdefghijklmnop.txt"], "untouched")


@case
@windows_only
def short_component_resolves_to_its_long_form(root):
    long_dir = os.path.join(root, "Long directory name")
    os.mkdir(long_dir)
    make(long_dir, ["abcdefghijklmnop.txt"])
    # "dir /x" shows each entry's short name before its long one.
    done = subprocess.run([program.wine, "cmd", "/c", "dir", "/x", program.native_path(root)],
                          capture_output=True, env=dict(os.environ, WINEDEBUG="-all"))
    listed = done.stdout.decode("utf-8", "replace")
    found = re.search(r"(\S+~\S+)\s+Long directory name\r?$", listed, re.M)
    assert found, f"no short name in {listed!r}"
    short = program.native_path(root) + "\\" + found.group(1)
    expect_run([short], lines(renamed("abcdefghijklmnop.txt", "abcdefgh.txt")))


# --- The walk --------------------------------------------------------------

@case
def typical_run_with_a_collision(root):
    photos = os.path.join(root, "photos")
    os.mkdir(photos)
    make(photos, ["holiday-at-the-lake.jpeg"])
    expect_run([program.native_path(photos), "16"],
               lines(renamed("holiday-at-the-lake.jpeg", "holiday-at-t.jpe")))
    make(photos, ["holiday-at-the-sea.jpeg"])
    expect_run([program.native_path(photos), "16"],
               lines(renamed("holiday-at-the-sea.jpeg", "holiday-at-0.jpe")))
    expect(listing(photos), ["holiday-at-0.jpe", "holiday-at-t.jpe"], "names")


@case
def names_at_the_limit_are_left_alone(root):
    make(root, ["exactly12.ab", "abcdefghijkl", "short"], ["twelve-chars"])
    expect_run([program.native_path(root)], "")
    expect(listing(root), ["abcdefghijkl", "exactly12.ab", "short", "twelve-chars"], "untouched")


@case
def directories_keep_no_extension(root):
    make(root, directories=["some.directory.name"])
    make(os.path.join(root, "some.directory.name"), ["inner-file-with-a-long-name.txt"])
    expect_run([program.native_path(root)], lines(renamed("some.directory.name", "some.directo")))
    expect(os.listdir(os.path.join(root, "some.directo")), ["inner-file-with-a-long-name.txt"],
           "contents not visited")


@case
def counter_runs_through_hex_digits(root):
    make(root, [f"same-beginning-{i:02}.txt" for i in range(18)])
    out, err, status = run(program.native_path(root))
    expect((err, status), ("", 0), "error and status")
    new = sorted(line.split(" => ")[1].strip('"\r') for line in out.splitlines())
    expected = sorted(["same-beg.txt"] + [f"same-be{d}.txt" for d in "0123456789ABCDEF"]
                      + ["same-b10.txt"])
    expect(new, expected, "candidates")
    expect(listing(root), expected, "directory")


@case
def non_ascii_names(root):
    expected = {"café-au-lait-recipes.txt": "café-au-.txt",
                "日本語のとても長いファイル名.txt": "日本語のとても長.txt",
                "emoji-\U0001F600-in-the-middle.png": "emoji-\U0001F600.png",
                "emoji-at-\U0001F600-the-cut.png": "emoji-at.png"}
    make(root, list(expected))
    out, err, status = run(program.native_path(root))
    expect((err, status), ("", 0), "error and status")
    expect(sorted(out.splitlines()), sorted(renamed(old, new) for old, new in expected.items()),
           "output")
    for old, new in expected.items():
        expect(read(os.path.join(root, new)), old.encode(), f"content of {new}")


@case
def content_survives_and_nothing_is_replaced(root):
    make(root, ["abcdefgh.txt", "abcdefg0.txt"], content=b"precious")
    make(root, ["abcdefghijklmnop.txt"], content=b"moved")
    expect_run([program.native_path(root)], lines(renamed("abcdefghijklmnop.txt", "abcdefg1.txt")))
    for name, content in [("abcdefgh.txt", b"precious"), ("abcdefg0.txt", b"precious"),
                          ("abcdefg1.txt", b"moved")]:
        expect(read(os.path.join(root, name)), content, name)


# --- Hostile names (Linux: names are any bytes but "/" and NUL) -------------

HOSTILE = {
    # name: its new name at 12, where it is worth stating
    b"stray-\x80-continuation-name.txt": b"stray-\x80-.txt",
    b"truncated-\xe2\x82-sequence": b"truncated-\xe2\x82",
    b"overlong-\xc0\xaf-slash-name.txt": b"overlong.txt",
    b"surrogate-\xed\xa0\x80-name.txt": b"surrogat.txt",
    b"high-\xf5\xfe\xff-bytes-name.txt": b"high-\xf5\xfe\xff.txt",
    b"x" * 251 + b".txt": b"xxxxxxxx.txt",
    "日".encode() * 85: "日".encode() * 12,
    b"new\nline-in-a-long-name.txt": b"new\nline.txt",
    b"tab\tin-a-long-name.txt": b"tab\tin-a.txt",
    b"back\\slash-long-name.txt": b"back\\sla.txt",
    b"colon:star*question?-name.txt": b"colon:st.txt",
    b'"quoted" long name.txt': b'"quoted".txt',
    b"-leading-dash-long-name.txt": b"-leading.txt",
    b"." * 20: b"_" * 12,
    b"sp" + b" " * 18: b"sp" + b"_" * 10,
    b"Trip to the lake": b"Trip to the_",
    "abcdefg\U0001F600-emoji-split-by-the-cut.txt".encode(): b"abcdefg.txt",
    "cafe\u0301-combining-accent-name.txt".encode(): "cafe\u0301-co.txt".encode(),
}


@case
@linux_only
def hostile_names(root):
    raw = os.fsencode(root)
    for name in HOSTILE:
        with open(os.path.join(raw, name), "wb") as file:
            file.write(name)
    # Two names with one first candidate that ends in a pair: the counter
    # takes the whole pair, never half of it.
    emoji = ["abcdef\U0001F600-emoji-at-the-cut.txt".encode(),
             "abcdef\U0001F600-second-emoji-name.txt".encode()]
    for name in emoji:
        with open(os.path.join(raw, name), "wb") as file:
            file.write(name)
    before = snapshot(root)
    out, err, status = program.run(root)
    expect((err, status), (b"", 0), "error and status")
    renamed, failed = check_run(before, snapshot(root), out, 12, program.newline)
    expect(failed, {}, "failures")
    for old, new in HOSTILE.items():
        expect(renamed.get(old), new, f"new name of {old!r}")
    expect({renamed[name] for name in emoji},
           {"abcdef\U0001F600.txt".encode(), b"abcdef00.txt"}, "counter over a pair")


@case
@linux_only
def links_fifos_and_sockets_are_renamed_like_files(root):
    raw = os.fsencode(root)
    make(root, ["target-file-with-long-name.txt"], directories=["target-directory-long-name"])
    os.symlink("target-file-with-long-name.txt", os.path.join(root, "link-to-the-file-name.txt"))
    os.symlink("target-directory-long-name", os.path.join(root, "link.to.the.directory"))
    os.symlink("nothing-there-at-all", os.path.join(root, "dangling-link-long-name.lnk"))
    os.mkfifo(os.path.join(root, "named-pipe-long-name.fifo"))
    os.mknod(os.path.join(raw, b"unix-socket-long-name.sock"), 0o644 | stat.S_IFSOCK)
    before = snapshot(root)
    out, err, status = program.run(root)
    expect((err, status), (b"", 0), "error and status")
    renamed, failed = check_run(before, snapshot(root), out, 12, program.newline)
    expect(renamed, {
        b"target-file-with-long-name.txt": b"target-f.txt",
        b"target-directory-long-name": b"target-direc",
        b"link-to-the-file-name.txt": b"link-to-.txt",
        b"link.to.the.directory": b"link.to..dir",  # a link is not a directory
        b"dangling-link-long-name.lnk": b"dangling.lnk",
        b"named-pipe-long-name.fifo": b"named-pi.fif",
        b"unix-socket-long-name.sock": b"unix-soc.soc",
    }, "renames")
    # Links still point where they did: at the old names.
    expect(os.readlink(os.path.join(root, "link-to-.txt")), "target-file-with-long-name.txt",
           "link target")


# --- A report that can be trusted -------------------------------------------

def many_long_names(root, count):
    for i in range(count):
        os.close(os.open(os.path.join(root, f"{i:06d}-a-rather-long-name.txt"), os.O_CREAT, 0o644))


def start(args, stdout, stderr=subprocess.DEVNULL):
    command, env = program.command(*args)
    return subprocess.Popen(command, stdout=stdout, stderr=stderr, env=env)


def interrupt(root, signal_number, after_bytes=0, after_seconds=0.0):
    """Starts a run whose report goes to a file, sends `signal_number` once
    the report holds `after_bytes` or `after_seconds` have passed, and
    returns the report, the exit status and the snapshot from before."""
    before = snapshot(root)
    report = os.path.join(os.path.dirname(root), os.path.basename(root) + ".report")
    with open(report, "wb") as out:
        process = start([program.native_path(root)], out)
        started = time.monotonic()
        while (os.path.getsize(report) < after_bytes or
               time.monotonic() - started < after_seconds) and process.poll() is None:
            time.sleep(0.005)
        process.send_signal(signal_number)
        status = process.wait(timeout=600)
    with open(report, "rb") as file:
        out = file.read()
    os.unlink(report)
    return before, out, status


def check_interrupted(root, before, out, status, signal_number):
    """Every rename made has its line, and a run that was stopped says so
    last and ends as a stopped program does."""
    renamed, failed, messages = parse(out, program.newline)
    complete = status == 0
    check_run(before, snapshot(root), out, 12, program.newline, complete=complete)
    if not complete:
        expect(messages, ["ERROR: Interrupted."], "messages")
        assert out.endswith(b"ERROR: Interrupted." + program.newline), out[-100:]
        expect(status, 0xC000013A & 0xFF if program.windows else -signal_number, "status")
    return renamed


@case
def interrupt_reports_every_rename_then_says_so(root):
    # Ctrl+C is SIGINT under Wine; SIGTERM and SIGHUP have no Windows meaning.
    signals = [signal.SIGINT] if program.windows else [signal.SIGINT, signal.SIGTERM,
                                                      signal.SIGHUP]
    many_long_names(root, 3000)
    for signal_number in signals:
        before, out, status = interrupt(root, signal_number, after_bytes=1000)
        renamed = check_interrupted(root, before, out, status, signal_number)
        assert 0 < len(renamed) < 3000, f"{len(renamed)} renamed: not stopped mid-walk"


@case
@linux_only
def interrupt_at_random_moments_of_a_large_run(root):
    many_long_names(root, 50_000)
    rng = random.Random(7)
    for _ in range(5):
        signal_number = rng.choice([signal.SIGINT, signal.SIGTERM, signal.SIGHUP])
        before, out, status = interrupt(root, signal_number, after_seconds=rng.uniform(0.05, 0.8))
        renamed = check_interrupted(root, before, out, status, signal_number)
        for old, new in renamed.items():  # back for the next round
            os.rename(os.path.join(os.fsencode(root), new), os.path.join(os.fsencode(root), old))


@case
@windows_only
def termination_under_wine_loses_at_most_the_rename_in_flight(root):
    # Wine ends the process on SIGTERM without telling it, as a kill would:
    # every rename before the one in flight has its line all the same.
    many_long_names(root, 3000)
    before, out, status = interrupt(root, signal.SIGTERM, after_bytes=1000)
    renamed, failed, messages = parse(out, program.newline)
    after = snapshot(root)
    assert 0 < len(renamed) < 3000 and not failed, f"{len(renamed)} renamed"
    assert all(new in after for new in renamed.values()), "a reported rename did not happen"
    unreported = set(before) - set(after) - set(renamed)
    assert len(unreported) <= 1, f"renamed without a line: {unreported}"


def check_unwritable(root, err, status, code):
    """The walk stopped at the first line it could not write, which is on
    standard error."""
    expect(status, 1, "status")
    notice = re.fullmatch(rf"ERROR: Cannot write the report \((?:{code})\): ([^\r\n]*)\r?\n",
                          err.decode("utf-8"))
    assert notice, err
    return parse(notice.group(1).encode() + program.newline, program.newline)[0]


@case
def report_to_a_closed_pipe_stops_the_walk(root):
    many_long_names(root, 5000)
    with tempfile.TemporaryFile() as err:
        process = start([program.native_path(root)], subprocess.PIPE, err)
        process.stdout.readline()
        process.stdout.close()
        status = process.wait(timeout=600)
        err.seek(0)
        # EPIPE; ERROR_NO_DATA or ERROR_PIPE_NOT_CONNECTED under Wine.
        lost = check_unwritable(root, err.read(), status, r"32|232|233" if program.windows else "32")
    renamed_on_disk = [name for name in os.listdir(root) if len(name) <= 12]
    # At most what the pipe held before the reader closed it (64 KiB, some
    # 1,400 lines, on a busy machine).
    assert len(renamed_on_disk) < 2500, f"{len(renamed_on_disk)} renamed: the walk went on"
    assert list(lost.values())[0].decode() in renamed_on_disk


@case
def report_that_cannot_be_written_stops_the_walk(root):
    full = ("112", "28")[not program.windows]
    closed = ("6", "9")[not program.windows]
    for name, redirect, code in [("full disk", "/dev/full", full), ("closed", None, closed)]:
        many_long_names(root, 20)
        command, env = program.command(program.native_path(root))
        with tempfile.TemporaryFile() as err:
            if redirect:
                with open(redirect, "wb") as out:
                    status = subprocess.run(command, stdout=out, stderr=err, env=env).returncode
            else:
                status = subprocess.run(command, stderr=err, env=env,
                                        preexec_fn=lambda: os.close(1)).returncode
            err.seek(0)
            lost = check_unwritable(root, err.read(), status, code)
        expect(sorted(name for name in os.listdir(root) if len(name) <= 12),
               sorted(n.decode() for n in lost.values()), f"{name}: renamed")
        for entry in os.listdir(root):
            os.unlink(os.path.join(root, entry))


@case
def new_names_are_never_windows_devices(root):
    make(root, ["COM1-modem-settings.txt", "COMMENTS-first.txt", "COMMENTS-second.txt",
                "NUL\U0001F600-night-log.log", "abcdefghijklmnop.   x"])
    out, err, status = program.run(program.native_path(root), "8")
    expect((err, status), (b"", 0), "error and status")
    new_names = parse(out, program.newline)[0]
    expect(new_names[b"NUL\xf0\x9f\x98\x80-night-log.log"], b"NU0.log", "device name with a pair cut")
    expect(new_names[b"abcdefghijklmnop.   x"], b"abcd____", "trailing spaces and dot")
    expect(sorted(new_names[name] for name in [b"COM1-modem-settings.txt", b"COMMENTS-first.txt",
                                              b"COMMENTS-second.txt"]),
           [b"COMA.txt", b"COMB.txt", b"COMM.txt"], "COM0 to COM9 are skipped")
    make(root, ["AUX     notes.txt", "notes-for-the-meeting."])
    out, err, status = program.run(program.native_path(root))
    expect(sorted(out.decode().splitlines()),
           [renamed("AUX     notes.txt", "AUX    0.txt"),
            renamed("notes-for-the-meeting.", "notes-for-t_")], "at 12")


@case
def names_that_differ_only_in_case_are_never_made(root):
    names = ["Holiday-Photo-001.jpeg", "holiday-photo-002.jpeg", "\u00c9t\u00e9-en-montagne.txt",
             "\u00e9t\u00e9-en-montagne-2.txt", "SAMESTEM.DAT"]
    make(root, names + [f"samestem-{i:03d}.dat" for i in range(20)])
    before = snapshot(root)
    out, err, status = program.run(program.native_path(root))
    expect((err, status), (b"", 0), "error and status")
    renamed, failed = check_run(before, snapshot(root), out, 12, program.newline)
    # Whichever the listing gives first takes the plain name.
    expect(sorted(upcase(renamed[name.encode()]) for name in names[:4]),
           sorted(upcase(name.encode()) for name in ["HOLIDAY-.JPE", "HOLIDAY0.JPE",
                                                      "\u00c9T\u00c9-EN-M.TXT",
                                                      "\u00c9T\u00c9-EN-0.TXT"]),
           "the same names on every build")


@case
@linux_only
def names_cannot_forge_report_lines(root):
    forged = b'secret-plans-v2.docx" => "secret-p.doc"\n"tail-part-long'
    make(root, [forged, b"control\x01\x7f-and-\xff-byte-name.txt"])
    out, err, status = program.run(root)
    expect((err, status), (b"", 0), "error and status")
    expect(len(out.splitlines()), 2, "one line an entry")
    renamed, failed, messages = parse(out, program.newline)
    expect(set(renamed), {forged, b"control\x01\x7f-and-\xff-byte-name.txt"}, "old names")
    assert b'"secret-plans-v2.docx\\" => \\"secret-p.doc\\"\\n\\"tail-part-long"' in out, out


@case
@windows_only
def name_holding_a_backslash_stays_in_its_directory(root):
    # Only Wine lists such a name: Linux allows a backslash in a name.
    os.mkdir(os.path.join(root, "back"))
    make(root, ["back\\slash-long-name.txt"])
    expect_run([program.native_path(root)],
               lines('ERROR: "back\\\\slash-long-name.txt": MoveFile() failed (123).'))
    expect(listing(root), ["back", "back\\slash-long-name.txt"], "untouched")
    expect(listing(os.path.join(root, "back")), [], "nothing moved in")


# --- snipdir-preview and snipdir-undo ---------------------------------------

def undo(root, report, **options):
    return run(program.native_path(root), report, tool="snipdir-undo", **options)


@case
def undo_restores_every_entry_an_interrupted_report_lists(root):
    many_long_names(root, 3000)
    original = snapshot(root)
    before, out, status = interrupt(root, signal.SIGINT, after_bytes=1000)
    assert status != 0 and out.endswith(b"ERROR: Interrupted." + program.newline), status
    renamed, failed, messages = parse(out, program.newline)
    out, err, status = undo(root, "-", stdin=out)
    expect((err, status), ("", 0), "error and status")
    expect(len(out.splitlines()), len(renamed), "one line a rename")
    expect(snapshot(root), original, "the directory as it was")


@case
def undo_reads_the_encodings_reports_are_saved_in(root):
    names = ["caf\u00e9-au-lait-recipes.txt", "emoji-\U0001F600-in-the-middle.png",
             "holiday-at-the-lake.jpeg"]
    make(root, names)
    original = snapshot(root)
    report = os.path.join(os.path.dirname(root), os.path.basename(root) + ".report")
    for encode in [lambda text: "\ufeff".encode("utf-16-le") + text.encode("utf-16-le"),
                   lambda text: b"\xef\xbb\xbf" + text.replace("\r\n", "\n").replace(
                       "\n", "\r\n").encode()]:
        out, err, status = run(program.native_path(root))
        expect((err, status), ("", 0), "error and status")
        with open(report, "wb") as file:
            file.write(encode(out))
        out, err, status = undo(root, program.native_path(report))
        os.unlink(report)
        expect((err, status), ("", 0), "undo: error and status")
        expect(snapshot(root), original, "the directory as it was")


@case
def undo_replaces_nothing(root):
    make(root, ["first-long-name.txt", "second-long-name.txt", "third-long-name.txt"],
         content=b"moved")
    out, err, status = run(program.native_path(root))
    os.rename(os.path.join(root, "first-lo.txt"), os.path.join(root, "renamed-since.txt"))
    make(root, ["second-long-name.txt"], content=b"taken since")
    out, err, status = undo(root, "-", stdin=out.encode())
    expect(sorted(out.splitlines()), sorted([
        'ERROR: "first-lo.txt": MoveFile() failed (2).',
        f'ERROR: "second-l.txt": MoveFile() failed ({program.target_exists}).',
        '"third-lo.txt" => "third-long-name.txt"']), "report")
    expect(status, 1, "status: renames back failed")
    expect(read(os.path.join(root, "second-long-name.txt")), b"taken since", "not replaced")
    expect(listing(root), ["renamed-since.txt", "second-l.txt", "second-long-name.txt",
                           "third-long-name.txt"], "directory")


@case
def undo_of_a_report_that_cannot_be_read(root):
    out, err, status = undo(root, program.native_path(os.path.join(root, "missing.report")))
    expect((out.rstrip("\r\n"), err, status),
           ("ERROR: Cannot read the report (2).", "", 1), "missing report")


@case
@linux_only
def preview_knows_a_rename_would_be_refused(root):
    make(root, ["first-long-name.txt", "second-long-name.txt"])
    os.chmod(root, 0o755)  # others may list but not rename
    preview = run(root, user=65534, tool="snipdir-preview")
    expect(preview, run(root, user=65534), "preview and run as nobody")
    expect(preview[0].count("MoveFile() failed (13)."), 2, "refused")


@case
@linux_only
def preview_foresees_entries_that_may_not_be_moved(root):
    # An immutable entry refuses even root; in a sticky directory, another
    # user's entries refuse anyone but their owner, the directory's and root.
    make(root, ["immutable-long-name.txt", "ordinary-long-name.txt"])
    immutable = os.path.join(root, "immutable-long-name.txt")
    if subprocess.run(["chattr", "+i", immutable], capture_output=True).returncode != 0:
        return  # the file system keeps no such flag here
    try:
        preview = run(root, tool="snipdir-preview")
        expect(preview, run(root), "preview and run as root")
        assert 'ERROR: "immutable-long-name.txt": MoveFile() failed (1).' in preview[0], preview
    finally:
        subprocess.run(["chattr", "-i", immutable], check=True)
    sticky = os.path.join(root, "sticky")
    os.mkdir(sticky)
    make(sticky, ["first-long-name.txt", "second-long-name.txt"])
    os.chmod(sticky, 0o1777)
    preview = run(sticky, user=65534, tool="snipdir-preview")
    expect(preview, run(sticky, user=65534), "preview and run as nobody")
    expect(preview[0].count("MoveFile() failed (1)."), 2, "refused")


@case
@linux_only
def fit_preview_foresees_directories_that_refuse(root):
    # As nobody: the tree is theirs but for one locked directory inside it.
    locked = os.path.join(root, "a locked directory with a long name")
    os.makedirs(locked)
    make(locked, ["a file with a long name inside the locked directory.txt"])
    make(root, ["a file with a long name at the top of the tree.txt"])
    os.chown(root, 65534, 65534)
    args = ["--as", "/x", root, "40"]
    preview = run("--preview", *args, user=65534, tool="snipdir-fit")
    done = run(*args, user=65534, tool="snipdir-fit")
    expect(preview[::2], done[::2], "preview and run as nobody")
    expect((preview[0].count("MoveFile() failed (13)."), preview[0].count(" => "), preview[2]),
           (1, 2, 1), "refused inside, renamed at the top")


# --- Faults (Linux: root ignores permissions, so run as nobody) -------------

@case
@linux_only
def renames_refused(root):
    make(root, ["first-long-name.txt", "second-long-name.txt"])
    os.chmod(root, 0o755)  # others may list but not rename
    out, err, status = run(root, user=65534)
    expect((err, status), ("", 0), "error and status")
    expect(sorted(out.splitlines()),
           sorted(f'ERROR: "{name}": MoveFile() failed (13).'
                  for name in ["first-long-name.txt", "second-long-name.txt"]),
           "one error line each")
    expect(listing(root), ["first-long-name.txt", "second-long-name.txt"], "untouched")


@case
@linux_only
def directory_that_cannot_be_listed(root):
    make(root, ["first-long-name.txt"])
    os.chmod(root, 0o711)  # others may pass through but not read
    expect(run(root, user=65534), (lines("ERROR: FindFirstFile() failed (13)."), "", 1), "run")
    expect(listing(root), ["first-long-name.txt"], "untouched")


@case
@linux_only
@uses_seam
def entry_vanishing_before_its_rename(root):
    make(root, ["this-will-vanish.txt", "this-one-stays-here.txt"])
    out, err, status = run(root, seam="vanish")
    expect((err, status), ("", 0), "error and status")
    expect(sorted(out.splitlines()),
           ['"this-one-stays-here.txt" => "this-one.txt"',
            'ERROR: "this-will-vanish.txt": MoveFile() failed (2).'], "output")


# --- Races: another process takes the target name first ---------------------

def race(root, seam):
    files = [f"racing-file-number-{i}.txt" for i in range(6)]
    make(root, files)
    make(root, directories=["racing-directory-name"])
    before = snapshot(root)
    out, err, status = program.run(root, seam=seam)
    expect((err, status), (b"", 0), "error and status")
    after = snapshot(root)
    intruders = {name for name, identity in after.items() if identity == ("file", b"intruder")}
    renamed, failed = check_run(before, after, out, 12, program.newline, extra=intruders)
    return renamed, failed, intruders


@case
@linux_only
@uses_seam
def race_on_every_other_rename(root):
    renamed, failed, intruders = race(root, "intrude")
    assert intruders, "the seam took no name"
    expect(failed, {}, "failures")
    expect(len(renamed), 7, "renames")


@case
@linux_only
@uses_seam
def race_without_noreplace(root):
    # Files are linked, so a taken name is seen. A placeholder holds the new
    # name before every rename onto it (directories, and files where links
    # fail too), so the intruder finds it taken.
    for modes, intruded in (("intrude,einval", 6), ("intrude,einval,nolink", 0)):
        shutil.rmtree(root)
        os.mkdir(root)
        renamed, failed, intruders = race(root, modes)
        expect((failed, len(renamed)), ({}, 7), f"failures and renames with {modes}")
        expect(len(intruders), intruded, f"names the intruder took with {modes}")


@case
@linux_only
@uses_seam
def file_system_refusing_noreplace(root):
    # Without the flag, then without links as well: the same names, nothing
    # replaced, no placeholder left behind.
    for modes in ("einval", "einval,nolink"):
        shutil.rmtree(root)
        os.mkdir(root)
        make(root, ["abcdefgh.txt"], content=b"precious")
        make(root, ["abcdefghijklmnop.txt"], content=b"file")
        make(root, directories=["abcdefghijkl", "abcdefghijklmnop"])
        before = snapshot(root)
        out, err, status = program.run(root, seam=modes)
        expect((err, status), (b"", 0), f"error and status with {modes}")
        renamed, failed = check_run(before, snapshot(root), out, 12, program.newline)
        expect(renamed, {b"abcdefghijklmnop.txt": b"abcdefg0.txt",
                         b"abcdefghijklmnop": b"abcdefghijk0"}, f"renames with {modes}")


@case
@linux_only
@uses_seam
def sticky_directory_without_noreplace_changes_nothing_it_cannot_report(root):
    # Another user's files in a sticky directory: a second link could be
    # made but neither name removed. Each entry fails, and nothing changes.
    make(root, ["first-long-name.txt", "second-long-name.txt"])
    for name in os.listdir(root):
        os.chmod(os.path.join(root, name), 0o666)
    os.chmod(root, 0o1777)
    before = snapshot(root)
    out, err, status = program.run(root, user=65534, seam="einval")
    expect((err, status), (b"", 0), "error and status")
    renamed, failed = check_run(before, snapshot(root), out, 12, program.newline)
    expect(failed, {b"first-long-name.txt": 1, b"second-long-name.txt": 1}, "EPERM each")


if __name__ == "__main__":
    sys.exit(suite.main(sys.modules[__name__]))
