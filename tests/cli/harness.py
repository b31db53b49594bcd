"""Runs snipdir (natively, or the Windows build under Wine) and checks that a
run kept its promise: nothing lost, nothing replaced, everything reported."""
import os
import re
import stat
import subprocess
import tempfile

WINE_NOISE = re.compile(rb"^[0-9a-f]{4}:(err|fixme|warn|trace):.*$\n?", re.M)


class Program:
    def __init__(self, path, seam=None):
        self.path = os.path.abspath(path)
        self.windows = self.path.endswith(".exe")
        self.seam = seam and os.path.abspath(seam)
        self.newline = b"\r\n" if self.windows else b"\n"
        self.target_exists = 183 if self.windows else 17

    def native_path(self, path):
        """The path as the program expects it (bytes or str)."""
        if not self.windows:
            return path
        return "Z:" + os.fsdecode(path).replace("/", "\\")

    def start_wine(self):
        """One Wine server for all the runs, set up before the first."""
        if self.windows:
            subprocess.run(["wineserver", "-p", "10"], check=False)
            self.run()

    def run(self, *args, cwd=None, user=None, seam=None):
        """Runs the program; returns standard output and error (bytes) and
        the exit status."""
        command = [self.path, *args]
        env = dict(os.environ, WINEDEBUG="-all")
        if self.windows:
            command = ["wine", *command]
        elif user is not None:
            command = ["setpriv", f"--reuid={user}", f"--regid={user}",
                       "--clear-groups", *command]
        if seam is not None:
            env["LD_PRELOAD"] = self.seam
            env["SNIPDIR_SEAM"] = seam
            env["ASAN_OPTIONS"] = "verify_asan_link_order=0"
        # Files, not pipes: Wine's helper processes inherit the output handles
        # and outlive the program, so a pipe would not reach its end in time.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            done = subprocess.run(command, cwd=cwd, stdout=out, stderr=err,
                                  env=env, timeout=600)
            out.seek(0)
            err.seek(0)
            return out.read(), WINE_NOISE.sub(b"", err.read()), done.returncode


def units(name):
    """Length of a byte-string name in UTF-16 code units, counting each byte
    that is not well-formed UTF-8 as one unit."""
    text = name.decode("utf-8", "surrogateescape")
    return sum(2 if ord(c) > 0xFFFF else 1 for c in text)


def snapshot(directory):
    """Every entry (bytes name) with what identifies its content."""
    entries = {}
    for name in os.listdir(os.fsencode(directory)):
        path = os.path.join(os.fsencode(directory), name)
        mode = os.lstat(path).st_mode
        if stat.S_ISLNK(mode):
            entries[name] = ("link", os.readlink(path))
        elif stat.S_ISDIR(mode):
            entries[name] = ("dir", tuple(sorted(os.listdir(path))))
        elif stat.S_ISREG(mode):
            with open(path, "rb") as file:
                entries[name] = ("file", file.read())
        else:
            entries[name] = ("special", stat.S_IFMT(mode))
    return entries


def parse(out, old_names, newline):
    """Splits the output into renames {old: new} and failures {old: code}.
    Names may hold quotes and line breaks, so each line is matched against
    the names that can appear in it."""
    renamed, failed = {}, {}
    position = 0
    while position < len(out):
        for old in sorted(old_names, key=len, reverse=True):
            success = b'"' + old + b'" => "'
            failure = b'ERROR: "' + old + b'": MoveFile() failed ('
            if out.startswith(success, position) and old not in renamed:
                start = position + len(success)
                end = out.index(b'"' + newline, start)
                renamed[old] = out[start:end]
                position = end + 1 + len(newline)
                break
            if out.startswith(failure, position) and old not in failed:
                start = position + len(failure)
                end = out.index(b")." + newline, start)
                failed[old] = int(out[start:end])
                position = end + 2 + len(newline)
                break
        else:
            raise AssertionError(f"unexpected output at {out[position:position + 80]!r}")
    return renamed, failed


def check_run(before, after, out, limit, newline, extra=()):
    """Checks a finished run against the snapshot taken before it. `extra`
    names entries that appeared from outside during the run. Returns the
    renames and failures."""
    over_long = [name for name in before if units(name) > limit]
    renamed, failed = parse(out, over_long, newline)
    reported = list(renamed) + list(failed)
    assert sorted(reported) == sorted(set(reported)), "an entry reported twice"
    assert set(reported) == set(over_long), (
        f"over-long entries not reported: {set(over_long) - set(reported)}; "
        f"reported but not over-long: {set(reported) - set(over_long)}")
    assert len(after) == len(before) + len(extra), "entry count changed"
    for name, identity in before.items():
        where = renamed.get(name, name)
        assert where in after, f"{name!r} is not under {where!r}"
        assert after[where] == identity, f"{name!r} changed on its way to {where!r}"
    for old, new in renamed.items():
        assert units(new) <= limit, f"{new!r} is longer than {limit}"
        assert new not in before, f"{old!r} took the name of {new!r}"
    return renamed, failed
