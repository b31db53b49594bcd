#!/usr/bin/env python3
"""snipdir-fit and snipdir-undo on trees built to turn a walk against its
user: directories swapped for links, crafted reports, bind mounts, trees
thousands of levels deep, directories that cannot be read, kills and
neighbours between two steps of a rename, and command lines and reports
that are wrong.

    tree_test.py path/to/snipdir [--seam path/to/libsnipdir_seam.so]
    tree_test.py path/to/snipdir.exe            (the Windows program, under Wine)
"""
import os
import pty
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from harness import Program, Suite, snapshot

suite = Suite()
case = suite.case
linux_only = suite.tagged(suite.linux_only)
uses_seam = suite.tagged(suite.uses_seam)
program = None  # the Program under test
NOBODY = 65534
FILE = "a file whose name is long enough to be cut.txt"


def run(*args, **options):
    out, err, status = program.run(*args, **options)
    return out.decode("utf-8", "surrogateescape"), err.decode("utf-8", "surrogateescape"), status


def fit(*args, **options):
    return run(*args, tool="snipdir-fit", **options)


def expect(actual, expected, what):
    assert actual == expected, f"{what}: expected {expected!r}, got {actual!r}"


def make(directory, names, content=b"content"):
    os.makedirs(directory, exist_ok=True)
    for name in names:
        with open(os.path.join(directory, name), "wb") as file:
            file.write(content)


def read(path):
    with open(path, "rb") as file:
        return file.read()


def limited(limits, *args, tool="snipdir", **options):
    """Runs the program under the shell's `ulimit` settings `limits`."""
    command, env = program.command(*args, tool=tool)
    return subprocess.run(["bash", "-c", f'ulimit {limits} && exec "$@"', "bash", *command],
                          env=env, capture_output=True, timeout=600, **options)


def sanitized():
    return b"AddressSanitizer" in read(program.path)


def line_end(text):
    return text.replace("\r\n", "\n")


# --- Never outside the tree --------------------------------------------------

@case
@linux_only
@uses_seam
def a_directory_swapped_for_a_link_is_never_entered(root):
    # Another user owns one directory of the tree and, once the fit has
    # begun, swaps its subdirectory for a link to a private directory that
    # holds a file of the same name.
    tree = os.path.join(root, "tree")
    owned = os.path.join(tree, "a directory another user owns")
    sub = os.path.join(owned, "a subdirectory with a long name")
    make(sub, [FILE], b"in the tree")
    os.chown(owned, NOBODY, NOBODY)
    make(tree, ["0 a file renamed first, before the swap, with a long name to cut.txt"])
    private = os.path.join(root, "private")
    make(private, [FILE], b"private")
    os.chmod(private, 0o700)
    os.environ.update(SNIPDIR_SWAP=sub, SNIPDIR_SWAP_TO=private)
    try:
        out, err, status = fit("--as", "/x", tree, "60", seam="swap")
    finally:
        del os.environ["SNIPDIR_SWAP"], os.environ["SNIPDIR_SWAP_TO"]
    expect((os.listdir(private), read(os.path.join(private, FILE))), ([FILE], b"private"),
           "the private directory")
    kept = [os.path.join(where, FILE) for where, _, files in os.walk(tree) if FILE in files]
    refused = f'ERROR: "a directory another user owns/a subdirectory with a long name/{FILE}": ' \
              'MoveFile() failed (40).'
    if (program.jobs or 1) == 1:
        expect([read(path) for path in kept], [b"in the tree"], "the file in the moved directory")
        assert refused in out.splitlines(), out
        expect(status, 1, "status")
    else:
        # In flight with the first rename, it met the swap on its way (40,
        # or 2 half way through it), at its check (116), or after it (the
        # file the listing saw renamed in the directory it saw): each has
        # its line.
        expect(kept == [], f'/{FILE}" => ' in out, "renamed, as the line says")
        assert kept == [] or refused.split("(")[0] in out, out


@case
@linux_only
def an_undo_report_never_reaches_through_a_link(root):
    tree = os.path.join(root, "tree")
    private = os.path.join(root, "private")
    make(private, ["y"], b"private")
    os.mkdir(tree)
    os.symlink(private, os.path.join(tree, "link"))
    out = run(tree, "-", tool="snipdir-undo", stdin=b'"link/x" => "link/y"\n')
    expect(out, ('ERROR: "link/y": MoveFile() failed (40).\n',
                 "snipdir-undo: 0 of 1 renames taken back; 1 failed (their lines say which).\n", 1),
           "undo")
    expect(os.listdir(private), ["y"], "the private directory")


@case
@linux_only
def mount_points_are_entries_never_entered(root):
    tree = os.path.join(root, "tree")
    outside = os.path.join(root, "outside")
    make(outside, [FILE], b"outside")
    bound = os.path.join(tree, "a directory bound from outside the tree")
    itself = os.path.join(tree, "the tree bound into itself")
    make(tree, [FILE])
    os.mkdir(bound)
    os.mkdir(itself)
    mounted = []
    try:
        for source, target in ((outside, bound), (tree, itself)):
            done = subprocess.run(["mount", "--bind", source, target], capture_output=True)
            if done.returncode != 0:
                print(f"        (no bind mounts here: {done.stderr.decode().strip()})")
                return
            mounted.append(target)
        out, err, status = fit("--as", "/x", tree, "30")
        paths = [line.split('"')[1] for line in out.splitlines()]
        expect(len(paths), len(set(paths)), "an entry named twice")
        assert not [path for path in paths if "/" in path], out
        expect(read(os.path.join(outside, FILE)), b"outside", "outside the tree")
        # A mount point on the way of a report's line is refused too.
        out = run(tree, "-", tool="snipdir-undo",
                  stdin=f'"{os.path.basename(bound)}/x" => "{os.path.basename(bound)}/{FILE}"\n'
                  .encode())
        expect(out[0], f'ERROR: "{os.path.basename(bound)}/{FILE}": MoveFile() failed (18).\n',
               "undo through a mount point")
    finally:
        for target in reversed(mounted):
            subprocess.run(["umount", "-l", target], check=False)


# --- Any depth ----------------------------------------------------------------

@case
@linux_only
def any_depth_with_a_few_descriptors(root):
    # 5,000 levels, 30,000 characters of path, 64 descriptors: a name cut
    # at the bottom, and undone.
    depth, level = 5000, "level"
    tree = os.path.join(root, "tree")
    start = os.open(".", os.O_RDONLY)
    try:
        os.mkdir(tree)
        os.chdir(tree)
        for _ in range(depth):
            os.mkdir(level)
            os.chdir(level)
        make(".", ["f" * 196 + ".txt"])
        os.fchdir(start)
        budget = str(2 + depth * (len(level) + 1) + 1 + 100)
        args = ["--as", "/x", tree, budget]
        preview = limited("-n 64", "--preview", *args, tool="snipdir-fit")
        done = limited("-n 64", *args, tool="snipdir-fit")
        expect((done.stdout, done.returncode), (preview.stdout, preview.returncode),
               "preview and run")
        deep = "/".join([level] * depth)
        expect(done.stdout.decode(), f'"{deep}/{"f" * 196}.txt" => "{deep}/{"f" * 96}.txt"\n',
               "the report")
        expect(done.returncode, 0, "status")
        undone = limited("-n 64", tree, "-", tool="snipdir-undo", input=done.stdout)
        expect((undone.returncode, undone.stderr), (0, b""), "undo")
        assert b"ERROR" not in undone.stdout, undone.stdout[:200]
    finally:
        os.fchdir(start)
        os.close(start)
        subprocess.run(["rm", "-rf", tree], check=True)


# --- What it cannot see, it says ------------------------------------------------

@case
@linux_only
def what_cannot_be_seen_is_said(root):
    # As nobody: a directory nobody may open, and one that may be read but
    # not searched, so that its subdirectory cannot be reached.
    tree = os.path.join(root, "tree")
    locked = os.path.join(tree, "a locked directory")
    readable = os.path.join(tree, "a directory that may be read, not searched")
    make(os.path.join(locked, "inside"), [FILE])
    make(os.path.join(readable, "a subdirectory"), [FILE])
    subprocess.run(["chown", "-R", f"{NOBODY}:{NOBODY}", tree], check=True)
    os.chmod(locked, 0)
    os.chmod(readable, 0o444)
    args = ["--as", "/x", tree, "60"]
    preview = fit("--preview", *args, user=NOBODY)
    out = fit(*args, user=NOBODY)
    expect(preview[::2], out[::2], "preview and run")
    expect(out, ('ERROR: "a directory that may be read, not searched/a subdirectory": '
                 'FindFirstFile() failed (13).\n'
                 'ERROR: "a locked directory": FindFirstFile() failed (13).\n',
                 "snipdir-fit: 2 directories could not be listed; nothing renamed "
                 "(--partial fits the rest).\n", 1),
           "the run")


# --- Between the two steps of a rename onto a placeholder ------------------------

@case
@linux_only
@uses_seam
def a_kill_between_two_steps_leaves_the_entry_whole(root):
    for modes in ("einval,nolink,killplace", "einval,killlink"):
        for name in os.listdir(root):
            os.unlink(os.path.join(root, name))
        make(root, ["abcdefghijklmnop.txt"], b"whole")
        out, err, status = program.run(root, seam=modes)
        expect((out, status), (b"", -signal.SIGKILL), f"{modes}: killed before its line")
        old, new = (os.path.join(root, name) for name in ("abcdefghijklmnop.txt", "abcdefgh.txt"))
        expect(read(old), b"whole", f"{modes}: the entry under its old name")
        if "killplace" in modes:
            expect(read(new), b"", "an empty placeholder under the new name")
        else:
            expect(os.stat(new).st_ino, os.stat(old).st_ino, "a second name of the entry")


@case
@linux_only
@uses_seam
def a_neighbours_save_under_the_new_name_is_kept(root):
    for is_directory, old, new, taken in ((False, "abcdefghijklmnop.txt", "abcdefg0.txt",
                                           "abcdefgh.txt"),
                                          (True, "abcdefghijklmnop", "abcdefghijk0",
                                           "abcdefghijkl/saved")):
        for name in os.listdir(root):
            subprocess.run(["rm", "-rf", os.path.join(root, name)], check=True)
        if is_directory:
            make(os.path.join(root, old), ["inside"], b"moved")
        else:
            make(root, [old], b"moved")
        out = run(root, seam="einval,nolink,neighbour")
        expect(out, (f'"{old}" => "{new}"\n', "", 0), "the next name is taken")
        expect(read(os.path.join(root, taken)), b"neighbour", "what the neighbour saved")
        expect(read(os.path.join(root, new, "inside") if is_directory else
                    os.path.join(root, new)), b"moved", "the entry")


@case
@linux_only
@uses_seam
def a_save_between_the_two_steps_of_the_link_way_is_kept(root):
    # Renames without replacing refused, as on ntfs-3g, NFS and SMB: the new
    # name is linked, and before the old one goes another program saves the
    # file the usual safe way.
    make(root, ["abcdefghijklmnop.txt"], b"before")
    out = run(root, seam="einval,save")
    expect(out, ('ERROR: "abcdefghijklmnop.txt": MoveFile() failed (116).\n', "", 0), "the run")
    expect((sorted(os.listdir(root)), read(os.path.join(root, "abcdefghijklmnop.txt"))),
           (["abcdefghijklmnop.txt"], b"saved"), "the save, and no second name")


@case
@linux_only
@uses_seam
def a_directory_moved_away_mid_run_is_left_alone(root):
    # Right after the first rename another program moves the directory out
    # of the tree and makes a new one in its place; renames take their time.
    tree, moved = os.path.join(root, "tree"), os.path.join(root, "moved")
    directory = os.path.join(tree, "a directory whose name is long")
    names = [f"{i} {FILE}" for i in range(4)]
    make(directory, names)
    os.environ.update(SNIPDIR_MOVE=directory, SNIPDIR_MOVE_TO=moved)
    try:
        out, err, status = fit("--as", "/x", tree, "40", seam="slow,move")
        expect(status, 1, "fit: status")
        above = "a directory whose name is long/"
        # With renames in flight together, those already checked when the
        # directory moves are made and have their lines: the first few.
        done = out.count(" => ")
        assert 1 <= done <= min(len(names), program.jobs or 1), out
        expect(out.splitlines(), [
            f'"{above}{name}" => "{above}{name[0]} a file whose.txt"' for name in names[:done]] + [
            f'ERROR: "{above}{name}": MoveFile() failed (116).' for name in names[done:]] + [
            'ERROR: "a directory whose name is long": MoveFile() failed (116).'], "fit")
        expect((sorted(os.listdir(moved)), os.listdir(directory)),
               (sorted([f"{i} a file whose.txt" for i in range(done)] + names[done:]), []),
               "fit: the moved directory, the new one")
        # Undo of the same kind of report: the directory goes after the
        # first rename back.
        shutil.rmtree(tree)
        make(directory, [f"{i} a fi.txt" for i in range(4)])
        shutil.rmtree(moved)
        report = "".join(f'"a directory whose name is long/{name}" => '
                         f'"a directory whose name is long/{i} a fi.txt"\n'
                         for i, name in enumerate(names)).encode()
        out, err, status = run(tree, "-", tool="snipdir-undo", stdin=report, seam="slow,move")
    finally:
        del os.environ["SNIPDIR_MOVE"], os.environ["SNIPDIR_MOVE_TO"]
    back = out.count(" => ")  # the last line first, and those in flight with it
    assert 1 <= back <= min(len(names), program.jobs or 1), out
    expect(out.splitlines()[back:], [
        f'ERROR: "a directory whose name is long/{i} a fi.txt": MoveFile() failed (116).'
        for i in range(3 - back, -1, -1)], "undo")
    expect(sorted(os.listdir(moved)), sorted(names[4 - back:] + [f"{i} a fi.txt"
                                                                 for i in range(4 - back)]),
           "undo: the moved directory")


# --- A fitted tree still works ---------------------------------------------------

@case
@linux_only
def what_must_not_change_does_not(root):
    # Version control's objects, what the user keeps, and every name a link
    # points through keep their names; the paths through them still count.
    tree = os.path.join(root, "tree")
    objects = os.path.join(tree, ".git", "objects", "4f")
    make(objects, ["a-loose-object-with-a-long-name-0123456789abcdef"])
    modules = os.path.join(tree, "node_modules", "@aws-sdk", "middleware-sdk-s3")
    make(modules, ["index-of-the-middleware.js"])
    library = os.path.join(tree, "a library directory")
    make(library, ["the implementation with a long name.js"])
    bin_ = os.path.join(tree, "bin")
    os.mkdir(bin_)
    os.symlink("../a library directory/the implementation with a long name.js",
               os.path.join(bin_, "tool"))
    make(tree, ["Main program with a very long name indeed, so long that it must be cut to fit.java"])
    out, err, status = fit("--keep", "node_modules/", "--as", "/x", tree, "70")
    expect(status, 0, f"status: {out}{err}")
    for kept in (os.path.join(objects, "a-loose-object-with-a-long-name-0123456789abcdef"),
                 os.path.join(modules, "index-of-the-middleware.js")):
        assert os.path.exists(kept), f"{kept} was cut: {out}"
    expect(read(os.path.join(bin_, "tool")), b"content", "the link resolves")
    expect(out, '"Main program with a very long name indeed, so long that it must be cut to fit.java"'
                ' => "Main program with a very long name indeed, so long that it mus.java"\n',
           "the one rename")


@case
@linux_only
def every_link_resolves_after_as_before(root):
    # Links whose way goes through another link of the tree, out of the
    # tree by ".." and back in by its name, and by the tree's real path
    # while the tree is named through a link; every name is long enough to
    # be cut.
    real = os.path.join(root, "the real place of the tree")
    os.mkdir(real)
    tree = os.path.join(root, "tree")
    os.symlink(real, tree)
    first, second = "a directory with a rather long name", "another directory, also long"
    make(os.path.join(real, first), ["a file reached through a link of the tree.txt"])
    make(os.path.join(real, second), ["a file reached from outside the tree.txt",
                                      "a file reached by the real path of the tree.txt"])
    links = {
        "d": first,
        "via": "d/a file reached through a link of the tree.txt",
        "back": f"../{os.path.basename(real)}/{second}/a file reached from outside the tree.txt",
        "real": f"{real}/{second}/a file reached by the real path of the tree.txt",
    }
    for name, target in links.items():
        os.symlink(target, os.path.join(real, name))
    out, err, status = fit("--partial", "--as", "/x", tree, "60")
    for name in ("via", "back", "real"):
        expect(read(os.path.join(real, name)), b"content", f"{name} resolves: {out}")
    expect((out.count(" => "), out.count("cannot fit"), status), (0, 3, 1), "kept as they are")


@case
def code_that_renames_break_is_said_first(root):
    tree = os.path.join(root, "tree")
    make(os.path.join(tree, "src", "main", "java", "organisation"),
         ["AutoConfigurationImportSelector.java"])
    make(os.path.join(tree, "node_modules", "a-package-with-a-long-name"), ["index.js"])
    make(os.path.join(tree, "a_python_package_with_a_long_name"), ["__init__.py"])
    args = ["--floor", "8", "--as", "/x", program.native_path(tree), "40"]
    q = '"' if program.windows else "'"  # as each system's shell quotes
    wanted = (f"code: 1 program source (--keep {q}*.java{q}), 1 package below node_modules "
              "(--keep node_modules/), 1 Python package (--keep a_python_package_with_a_long_name/), "
              "1 Java package (--keep java/).")
    for preview, says in ((["--preview"], "would break "), ([], "break ")):
        out, err, status = fit(*preview, *args)
        lines = line_end(err).splitlines()
        expect((lines[0], lines[1].split(" of ")[0], status),
               (f"snipdir-fit: these renames {says}{wanted}", "snipdir-fit: 4", 0), "".join(preview))


@case
def the_companions_help_says_every_option(root):
    out, err, status = fit("--help")
    for said in ["--preview", "--partial", "--as", "--floor", "--headroom", "--keep", "--jobs",
                 "windows", "onedrive", "sharepoint", "dropbox", "linux", "ecryptfs", "joliet",
                 "macos", "snipdir-undo --last"]:
        assert said in out, said
    out, err, status = run("--help", tool="snipdir-undo")
    assert "--last" in out and "snipdir-undo photos photos.report" in out, out


@case
def a_tree_that_cannot_fit_is_left_alone(root):
    tree = os.path.join(root, "tree")
    deep = os.path.join(tree, "a directory with a long name", "another one, just as long")
    make(deep, ["twelve-chars"])  # at the floor: never cut
    make(tree, ["a file that can be cut to fit.txt"])
    args = ["--as", "/x", program.native_path(tree), "40"]
    out, err, status = fit(*args)
    expect((out.count(" => "), out.count("cannot fit"), status), (0, 1, 1), "refused")
    path = "a directory with a long name/another one, just as long/twelve-chars"
    expect(line_end(err).splitlines(), [
        "snipdir-fit: 1 path cannot fit (the worst 2 over 40); nothing renamed (--partial fits "
        "the rest).",
        f'snipdir-fit: the worst path, "{path}", is 2 over 40 even with every name on it cut to '
        'the floor; 2 of its length is the folder it goes to.',
        "snipdir-fit: with --floor 11 every path would fit: snipdir-fit --as /x --floor 11 "
        f"{program.native_path(tree)} 40"], "what would fit")
    out, err, status = fit("--partial", *args)
    expect((out.count(" => "), out.count("cannot fit"), status), (2, 1, 1), f"partial ({err})")
    expect(line_end(err).splitlines()[0], "snipdir-fit: 2 of 4 entries renamed; 1 path still "
           "does not fit (the worst 12 over 40).", "the summary")
    out, err, status = fit(*args)
    assert line_end(err).startswith("snipdir-fit: 1 path cannot fit"), err
    for name in os.listdir(tree):  # the directory, as --partial cut it
        if os.path.isdir(os.path.join(tree, name)):
            shutil.rmtree(os.path.join(tree, name))
    out, err, status = fit(*args[:-1], "200")
    expect((out, line_end(err).splitlines()[0], status),
           ("", "snipdir-fit: every path already fits (1 entry; the longest is 36 of 200).", 0),
           "already fits")
    assert "the report of the last run here is kept in" in err, err  # the --partial run's


@case
@linux_only
@uses_seam
def a_long_run_shows_how_far_it_has_come_on_a_terminal(root):
    make(root, [f"a file with a long name, number {i:03}.txt" for i in range(150)])
    command, env = program.command("--jobs", "1", "--as", "/x", root, "30", tool="snipdir-fit",
                                   seam="slow")
    leader, follower = pty.openpty()
    done = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=follower, env=env, timeout=120)
    os.close(follower)
    shown = b""
    while True:
        try:
            piece = os.read(leader, 65536)
        except OSError:
            break
        if not piece:
            break
        shown += piece
    os.close(leader)
    expect(done.returncode, 0, "status")
    assert re.search(rb"\rsnipdir-fit: 150 entries listed, \d+ renamed", shown), shown[:300]
    assert re.search(rb"\r +\rsnipdir-fit: 150 of 150 entries renamed", shown), shown[-300:]


@case
@linux_only
@uses_seam
def a_stopped_run_keeps_every_line_in_its_journal(root):
    # The journal writes a few lines at a time; a run stopped part way
    # writes those it holds before it ends. With renames in flight
    # together, each one made has its line, in order, the stop's last, and
    # the report takes the run back exactly. Stopped at a moment of its own.
    for jobs in ("1", str(program.jobs or 4)):
        tree = os.path.join(root, jobs)
        count = 150 * int(jobs)  # 1.5 s of renames
        make(tree, [f"a file with a long name, number {i:04}.txt" for i in range(count)])
        before = snapshot(tree)
        command, env = program.command("--jobs", jobs, "--as", "/x", tree, "30",
                                       tool="snipdir-fit", seam="slow")
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            running = subprocess.Popen(command, stdout=out, stderr=err, env=env)
            time.sleep(random.uniform(0.2, 1.2))
            running.send_signal(signal.SIGINT)
            expect(running.wait(timeout=60), -signal.SIGINT, "stopped")
            out.seek(0)
            err.seek(0)
            report, said = out.read().decode(), err.read().decode()
        kept = re.search(r"the report is kept in (.*); snipdir-undo --last", said)
        assert kept is None, said  # stopped: no summary
        folder = os.path.join(program.state_home(), "snipdir")
        runs = [name for name in os.listdir(folder) if name.endswith(".report")]
        with open(os.path.join(folder, max(runs)), encoding="utf-8") as file:
            journal = file.read().split("\n", 1)[1]
        lines = report.splitlines()
        renamed = [line.split(" => ")[0].strip('"') for line in lines[:-1]]
        expect(lines[-1], "ERROR: Interrupted.", f"{jobs} jobs: the last line")
        assert 0 < len(renamed) < count, report
        expect(sorted(set(os.listdir(tree)) & {name for name in renamed}), [],
               f"{jobs} jobs: renamed, as the lines say")
        expect(sum(len(name) > 30 for name in os.listdir(tree)), count - len(renamed),
               f"{jobs} jobs: every rename made has its line")
        expect(journal, report, f"{jobs} jobs: the journal holds the report")
        undone = run(tree, "-", tool="snipdir-undo", stdin=report.encode())
        expect((undone[2], snapshot(tree)), (0, before), f"{jobs} jobs: undone")


# --- Paths as the place they are going takes them --------------------------------

@case
def paths_are_measured_as_the_destination_takes_them(root):
    tree = os.path.join(root, "tree")
    make(tree, ["a" * 20 + ".txt"])  # 24 units
    for place, base in (("D:\\", 2), ("D:", 2), ("\\\\?\\D:\\", 2), ("D:\\x\\..\\", 2),
                        ("C:\\Data\\", 7), ("C:\\Data", 7), ("\\\\?\\UNC\\server\\share\\", 14),
                        ("/srv/share/", 10), ("/srv//share/.", 10)):
        budget = base + 1 + 24
        expect(fit("--as", place, program.native_path(tree), str(budget))[::2], ("", 0),
               f"{place} at {budget}")
        out, err, status = fit("--preview", "--as", place, program.native_path(tree),
                               str(budget - 1))
        expect((out.count(" => "), status), (1, 0), f"{place} at {budget - 1}")
    # A relative directory is measured where it is.
    os.mkdir(os.path.join(root, "elsewhere"))
    budget = len(program.native_path(tree)) + 1 + 24
    expect(fit(os.path.join("..", "tree"), str(budget), cwd=os.path.join(root, "elsewhere"))[::2],
           ("", 0), "../tree")


# --- Command lines and reports that are wrong ------------------------------------

@case
def command_lines_name_what_is_wrong(root):
    odd = os.path.join(root, "-odd-directory-name")
    make(odd, [FILE])
    out, err, status = fit("--as", "/x", "--", "-odd-directory-name", "40", cwd=root)
    expect((out.count(" => "), status), (1, 0), "after --")
    make(root, ["a file.txt"])
    # Each slip on standard error, saying what is wrong or missing; the
    # usage after it where an argument is missing.
    for args, wanted, usage in [
        (["--bogus", root, "30"], "ERROR: Unknown option --bogus.", True),
        (["--as", root, "onedrive"], f"ERROR: The directory is missing (--as took "
                                     f"{program.native_path(root)} as the place the tree is "
                                     "going).", True),
        (["--preview", root], "ERROR: The destination (a number or a name) is missing.", True),
        ([root, "ondrive"], "ERROR: Unknown destination ondrive (did you mean onedrive?).", False),
        ([root, "nowhere"], "ERROR: The budget must be a number from 1 to 32767 or a destination: "
                            "windows, onedrive, sharepoint, dropbox, linux, ecryptfs, joliet, "
                            "macos.", False),
        ([os.path.join(root, "a file.txt"), "onedrive"],
         f"ERROR: {program.native_path(os.path.join(root, 'a file.txt'))} is not a directory.",
         False),
        ([root, "5"], "ERROR: A limit of 5 leaves no room for a name at the floor (12): give a "
                      "larger budget or a lower --floor.", False),
        (["--headroom", "53", root, "joliet"], "ERROR: A limit of 64 leaves no room for a name "
         "at the floor (12) with the headroom (53): give a larger budget, a lower --floor or "
         "less --headroom.", False),
        (["--headroom", "-1", root, "joliet"], "ERROR: The headroom must be a number from 0 to "
                                               "32767.", False),
        (["--keep", "node_modules/*", root, "joliet"], "ERROR: --keep node_modules/*: a pattern "
         "matches one name, not a path; a / at its end keeps a directory and all below it "
         "(--keep node_modules/).", False),
        (["--floor", "7", root, "joliet"], "ERROR: The floor must be a number from 8 to 256.",
         False),
        (["--as"], "ERROR: --as needs a path.", True),
        (["--jobs", "65", root, "joliet"], "ERROR: --jobs must be a number from 1 to 64.", False),
    ]:
        args = [program.native_path(a) if a == root or a.startswith(root) else a for a in args]
        out, err, status = fit(*args)
        expect((out, line_end(err).splitlines()[0], "Usage:" in err, status),
               ("", wanted, usage, 1), " ".join(args))
    # Numbers are read alike for every option.
    for option, number in (("--headroom", "00"), ("--floor", "08"), ("--jobs", "01")):
        expect(fit("--preview", option, number, "--as", "/x", program.native_path(root),
                   "joliet")[2], 0, f"{option} {number}")
    # snipdir's own limit given a destination: one more line says which
    # program does that.
    out, err, status = run(program.native_path(root), "onedrive", tool="snipdir-preview")
    expect((line_end(out), line_end(err), status),
           ("ERROR: Maximum name length must be between 8 and 256.\n",
            f"(To fit a whole tree for onedrive: snipdir-fit --preview "
            f"{program.native_path(root)} onedrive)\n", 1), "snipdir-preview with a destination")


@case
def a_destination_takes_every_name_or_nothing_changes(root):
    tree = os.path.join(root, "tree")
    # A name Windows holds (through a \\?\ path) that its programs refuse.
    make(tree, ["notes draft.", "x" * 250 + ".txt"])
    out, err, status = fit("--keep", "notes*", program.native_path(tree), "windows")
    expect((line_end(out), status), ('ERROR: "notes draft.": kept, but windows does not take '
                                     'its name.\n', 1), "a kept name windows refuses")
    assert "snipdir-fit: 1 name cannot be made one the destination takes; nothing renamed " \
        "(--partial fits the rest).\n" in line_end(err), err
    if not program.windows:
        assert err.startswith("snipdir-fit: paths were measured from "), err
    out, err, status = fit("--headroom", "16", "--as", "D:\\", program.native_path(tree), "windows")
    expect((line_end(out), status), ('"notes draft." => "notes draft_"\n"' + "x" * 250 +
                                     '.txt" => "' + "x" * 235 + '.txt"\n', 0),
           "every name within 255 - 16, the path too")


def deep_chain(tree, names):
    """Makes `tree` one chain of directories named `names`, top first."""
    subprocess.run(["rm", "-rf", tree], check=True)
    start = os.open(".", os.O_RDONLY)
    try:
        os.mkdir(tree)
        os.chdir(tree)
        for name in names:
            os.mkdir(name)
            os.chdir(name)
    finally:
        os.fchdir(start)
        os.close(start)


def chain_of(tree):
    """The names down the one chain of directories of `tree`."""
    found, start = [], os.open(".", os.O_RDONLY)
    try:
        os.chdir(tree)
        while (below := os.listdir(".")):
            found.append(below[0])
            os.chdir(below[0])
    finally:
        os.fchdir(start)
        os.close(start)
    return found


# 700 levels of 52-unit names: lines of two 36,000-unit paths when cut to
# fit 32,767, longer than the room a run sets aside at its start.
DEEP = [f"{level:03} a directory name of some fifty units, more or less" for level in range(700)]


@case
@linux_only
def every_rename_has_its_line_when_memory_runs_out(root):
    if sanitized():
        return  # the sanitizer reserves more address space than any such limit
    tree = os.path.join(root, "tree")
    outcomes = set()
    for limit in range(8000, 11000, 200):  # KiB of address space
        deep_chain(tree, DEEP)
        # (One job: every other thread's stack is address space too.)
        done = limited(f"-v {limit}", "--jobs", "1", "--as", "/x", tree, "32767",
                       tool="snipdir-fit")
        renamed = sum(now != before for now, before in zip(chain_of(tree), DEEP))
        expect(done.stdout.count(b" => "), renamed, f"lines at {limit} KiB")
        outcomes.add((done.returncode, 0 < renamed < len(DEEP)))
    assert {(0, False), (1, True)} <= outcomes, outcomes


@case
@linux_only
@uses_seam
def the_line_of_a_rename_is_ready_before_it(root):
    # From the first rename on, memory is gone: that rename still has its
    # line, and the run stops before the next.
    if sanitized():
        return  # the sanitizer's allocator is not the one the seam replaces
    tree = os.path.join(root, "tree")
    deep_chain(tree, DEEP)
    out, err, status = fit("--as", "/x", tree, "32767", seam="starve")
    expect((out.count(" => "), out.splitlines()[-1], status), (1, "ERROR: Out of memory.", 1),
           "the run")
    expect(sum(now != before for now, before in zip(chain_of(tree), DEEP)), 1, "renamed")
    # The line is longer than the room the journal set aside: the journal
    # says it cannot hold the report, and names no file to take it back.
    expect(line_end(err), "WARNING: The journal cannot be written (memory ran out): keep the "
           "report to undo the run.\n", "the journal's warning")
    # Short lines need no memory of their own: the journal holds them all.
    flat = os.path.join(root, "flat")
    make(flat, [f"a file with a long name, number {i:03}.txt" for i in range(150)])
    out, err, status = fit("--as", "/x", flat, "30", seam="starve")
    folder = os.path.join(program.state_home(), "snipdir")
    with open(os.path.join(folder, max(os.listdir(folder))), encoding="utf-8") as file:
        expect((file.read().split("\n", 1)[1], status), (out, 0), "the journal without memory")


@case
def the_journal_keeps_the_way_back(root):
    # The report redirected over by a second run that renames nothing: the
    # journal still takes the first run back, byte for byte, and the second
    # run says where that report is.
    tree = os.path.join(root, "tree")
    make(os.path.join(tree, "a directory with a long name"), [FILE])
    before = snapshot(tree)
    args = ["--as", "/x", program.native_path(tree), "40"]
    first = fit(*args)
    second = fit(*args)
    expect((second[0], second[2]), ("", 0), "the second run renames nothing")
    kept = re.search(r"the report is kept in (.*); snipdir-undo --last", first[1]).group(1)
    assert f"the report of the last run here is kept in {kept};" in second[1], second[1]
    with open(program.local_path(kept), "rb") as file:
        journal = file.read().decode()
    expect(journal.replace("\r\n", "\n").split("\n", 1)[1], first[0].replace("\r\n", "\n"),
           "the journal holds the report")
    out, err, status = run("--last", program.native_path(tree), tool="snipdir-undo")
    expect((status, snapshot(tree)), (0, before), "undo --last")
    assert err.startswith("snipdir-undo: taking back the run of snipdir-fit in "), err
    out, err, status = run("--last", program.native_path(tree), tool="snipdir-undo")
    expect((out, status), ("", 1), "nothing more to take back")
    assert err.startswith("ERROR: The journal holds no run in "), err
    # The journal keeps the last 100 runs, and the last of every directory
    # that was not taken back; the tree's three runs are older than 100
    # others now.
    folder = os.path.dirname(program.local_path(kept))

    def runs_of(directory):
        found = []
        for name in sorted(os.listdir(folder)):
            if name.endswith(".report"):
                with open(os.path.join(folder, name), "rb") as file:
                    first = file.readline().decode(errors="replace")
                separator = "\\" if program.windows else "/"
                if f'{program.native_path(directory)}{separator}" at ' in \
                        first.replace("\\\\", "\\"):
                    found.append(name)
        return found

    mine = runs_of(tree)
    other = os.path.join(root, "other")
    os.mkdir(other)
    for i in range(101):
        make(other, [f"a run's long name, number {i}, which is cut.txt"])
        fit("--as", "/x", program.native_path(other), "40")
    expect((len(mine), runs_of(tree)), (2, [mine[-1]]), "the tree's runs left: its last one")


@case
def figures_are_the_destinations_own(root):
    # OneDrive below a folder on Windows that takes most of every path: the
    # full path on the PC against its 259 (247 for a directory), never a
    # budget of 0, in every line.
    tree = os.path.join(root, "tree")
    make(os.path.join(tree, "a directory with a long name"), ["a file with a long name, too.txt"])
    folder = "C:\\Users\\ana\\OneDrive - Contoso\\" + "x" * 210
    out, err, status = fit("--preview", "--as", folder, program.native_path(tree), "onedrive")
    expect(re.findall(r"cannot fit in (\d+) \((\d+) over\)", out), [("247", "9"), ("259", "10")],
           "the lines")
    expect((line_end(err).splitlines()[0], status),
           ("snipdir-fit: 2 paths cannot fit (the worst 10 over 259); nothing would be renamed "
            "(--partial fits the rest).", 1), "the summary")
    assert "242 of its length is the folder it goes to" in err, err


@case
@linux_only
def an_endless_report_is_refused_in_bounded_memory(root):
    done = limited("-v unlimited" if sanitized() else "-v 400000", root, "/dev/zero",
                   tool="snipdir-undo")
    expect((done.stdout, done.returncode), (b"ERROR: Line 1 of the report is too long.\n", 1),
           "undo of /dev/zero")


@case
@linux_only
def a_preview_into_a_closed_pipe_ends_quietly(root):
    # As `yes | head -1` leaves `yes`: nothing said, status 141. A run still
    # says that its report could not be written.
    make(root, [f"a-long-name-number-{i:04}.txt" for i in range(300)])
    for tool, args, status, notices in (
            ("snipdir-preview", [root], 141, 0),
            ("snipdir-fit", ["--preview", "--as", "/x", root, "25"], 141, 0),
            ("snipdir", [root], 1, 1)):
        command, env = program.command(*args, tool=tool)
        reader, writer = os.pipe()
        os.close(reader)
        done = subprocess.run(command, stdout=writer, stderr=subprocess.PIPE, env=env)
        os.close(writer)
        said = done.stderr.decode().splitlines()
        expect((len(said), done.returncode), (notices, status), f"{tool}: {said}")


@case
@linux_only
def memory_running_out_at_start_up_is_said(root):
    if sanitized():
        return  # the sanitizer reserves more address space than any such limit
    make(root, ["abcdefghijklmnopqrst.txt"])
    statuses = set()
    for limit in range(2000, 20000, 40):  # KiB of address space
        for tool, args in (("snipdir-preview", [root]),
                           ("snipdir-fit", ["--preview", "--as", "/x", root, "30"])):
            done = limited(f"-v {limit}", *args, tool=tool)
            if b"error while loading shared libraries" in done.stderr or \
                    b"cannot allocate TLS data structures" in done.stderr:
                continue  # the system could not even start the program
            assert done.returncode in (0, 1) and b"terminate" not in done.stderr, (limit, done)
            if done.returncode == 1:
                expect(done.stdout, b"ERROR: Out of memory.\n", f"{tool} at {limit} KiB")
            statuses.add(done.returncode)
    expect(statuses, {0, 1}, "both ends of the range")


if __name__ == "__main__":
    sys.exit(suite.main(sys.modules[__name__]))
