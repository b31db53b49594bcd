"""Runs snipdir (natively, or the Windows build under Wine) and checks that a
run kept its promise: nothing lost, nothing replaced, everything reported."""
import argparse
import atexit
import os
import re
import shutil
import stat
import subprocess
import tempfile

WINE_NOISE = re.compile(rb"^[0-9a-f]{4}:(err|fixme|warn|trace):.*$\n?", re.M)


def wine_for(program):
    """The Wine that starts the Windows program `program`: wine64 for a
    64-bit one (Debian keeps it off PATH), wine for the 32-bit ones, which
    would otherwise hand a 64-bit program on to wine64 at the cost of a
    32-bit start of its own."""
    with open(program, "rb") as file:
        header = file.read(4096)
    at = int.from_bytes(header[0x3C:0x40], "little")
    if header[at:at + 6] != b"PE\0\0\x64\x86":
        return "wine"
    return shutil.which("wine64") or "/usr/lib/wine/wine64"


def release_of(program):
    """The version, release date and contact the build beside `program` was
    made with."""
    header = os.path.join(os.path.dirname(program), "generated", "app", "version.h")
    with open(header) as file:
        return dict(re.findall(r'#define SNIPDIR_(\w+) "([^"]*)"', file.read()))


class Program:
    def __init__(self, path, seam=None, jobs=None):
        self.path = os.path.abspath(path)
        # Given, every run of snipdir-fit and snipdir-undo makes that many
        # calls at once (but one asking for help or the version).
        self.jobs = jobs
        self.windows = self.path.endswith(".exe")
        self.wine = wine_for(self.path) if self.windows else None
        self.seam = seam and os.path.abspath(seam)
        self.newline = b"\r\n" if self.windows else b"\n"
        self.target_exists = 183 if self.windows else 17
        self.release = release_of(self.path)
        self._shared = None

    def shared(self):
        """A copy of the programs (and the seam) that every user may run:
        the checkout may sit below a directory others cannot enter."""
        if self._shared is None:
            place = tempfile.mkdtemp(prefix="snipdir-programs-")
            atexit.register(shutil.rmtree, place, True)
            os.chmod(place, 0o755)
            directory = os.path.dirname(self.path)
            for name in os.listdir(directory):
                if name.startswith("snipdir") and os.access(os.path.join(directory, name), os.X_OK) \
                        and os.path.isfile(os.path.join(directory, name)):
                    shutil.copy2(os.path.join(directory, name), place)
            seam = self.seam and shutil.copy2(self.seam, place)
            self._shared = (os.path.join(place, os.path.basename(self.path)), seam)
        return self._shared

    def local_path(self, path):
        """A path the program printed, as a path of this system."""
        if not self.windows:
            return path
        done = subprocess.run(["winepath", "-u", path], capture_output=True, text=True,
                              env=dict(os.environ, WINEDEBUG="-all"))
        return done.stdout.strip()

    def native_path(self, path):
        """The path as the program expects it (bytes or str)."""
        if not self.windows:
            return path
        return "Z:" + os.fsdecode(path).replace("/", "\\")

    def start_wine(self):
        """One Wine server for all the runs, set up before the first."""
        if self.windows:
            # Nothing of this test's own output handed on: the server and the
            # services it starts outlive the program, and would keep a pipe
            # that reads this test's output from ever reaching its end.
            subprocess.run(["wineserver", "-p", "10"], check=False, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.run()

    _state = None

    @classmethod
    def state_home(cls, user=None):
        """Where the runs of the tests keep their journal: a folder of each
        user's own, below one that is removed when the tests end."""
        if cls._state is None:
            cls._state = tempfile.mkdtemp(prefix="snipdir-state-")
            atexit.register(shutil.rmtree, cls._state, True)
            os.chmod(cls._state, 0o755)
        home = os.path.join(cls._state, str(os.getuid() if user is None else user))
        if not os.path.isdir(home):
            os.mkdir(home)
            if user is not None:
                os.chown(home, user, user)
        return home

    def command(self, *args, user=None, seam=None, tool="snipdir"):
        """The command line and environment that run the program (or its
        companion `tool`) with `args`."""
        path, seam_library = self.path, self.seam
        if user is not None and not self.windows:
            path, seam_library = self.shared()
        if tool != "snipdir":
            directory, name = os.path.split(path)
            path = os.path.join(directory, name.replace("snipdir", tool, 1))
        if self.jobs and tool in ("snipdir-fit", "snipdir-undo") and args and \
                args[0] not in ("--help", "-h", "-?", "/?", "--version", "-V"):
            args = ("--jobs", str(self.jobs), *args)
        command = [path, *args]
        env = dict(os.environ, WINEDEBUG="-all", XDG_STATE_HOME=self.state_home(user))
        if seam is not None:
            # Set for the program alone, not for setpriv before it.
            command = ["env", f"LD_PRELOAD={seam_library}", f"SNIPDIR_SEAM={seam}",
                       "ASAN_OPTIONS=verify_asan_link_order=0", *command]
        if self.windows:
            command = [self.wine, *command]
        elif user is not None:
            command = ["setpriv", f"--reuid={user}", f"--regid={user}",
                       "--clear-groups", *command]
        return command, env

    def run(self, *args, cwd=None, user=None, seam=None, tool="snipdir", stdin=None):
        """Runs the program; returns standard output and error (bytes) and
        the exit status."""
        command, env = self.command(*args, user=user, seam=seam, tool=tool)
        # Files, not pipes: Wine's helper processes inherit the output handles
        # and outlive the program, so a pipe would not reach its end in time.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            done = subprocess.run(command, cwd=cwd, stdout=out, stderr=err, env=env,
                                  input=stdin, timeout=600)
            out.seek(0)
            err.seek(0)
            return out.read(), WINE_NOISE.sub(b"", err.read()), done.returncode


def _sequence_length(name, at):
    """Length of the well-formed UTF-8 sequence at `at`, 0 if none."""
    for length in (1, 2, 3, 4):
        try:
            if len(name[at:at + length].decode("utf-8")) == 1:
                return length
        except UnicodeDecodeError:
            pass
    return 0


def _encoded_surrogate(name, at):
    """The lone surrogate encoded in three bytes at `at`, or 0; never one
    that stands for a single byte (U+DC80 to U+DCFF)."""
    piece = name[at:at + 3]
    if len(piece) < 3 or piece[0] != 0xED or not 0xA0 <= piece[1] <= 0xBF or \
            not 0x80 <= piece[2] <= 0xBF:
        return 0
    unit = 0xD000 | (piece[1] & 0x3F) << 6 | (piece[2] & 0x3F)
    return 0 if 0xDC80 <= unit <= 0xDCFF else unit


def name_units(name):
    """The UTF-16 units a byte-string name counts as: well-formed UTF-8 as
    UTF-16, an encoded lone surrogate as one unit (unless it would pair with
    the unit after it), every other byte as U+DC00 + byte."""
    out, at = [], 0
    while at < len(name):
        length = _sequence_length(name, at)
        if length:
            text = name[at:at + length].decode("utf-8").encode("utf-16-le")
            out += [int.from_bytes(text[i:i + 2], "little") for i in range(0, len(text), 2)]
            at += length
            continue
        unit = _encoded_surrogate(name, at)
        if unit >= 0xDC00:
            out.append(unit)
            at += 3
        elif unit:
            end = at + 3
            while 0xD800 <= _encoded_surrogate(name, end) <= 0xDBFF:
                end += 3
            if end < len(name) and name[end] >= 0x80 and not _sequence_length(name, end):
                out += [0xDC00 + byte for byte in name[at:end]]
            else:
                out += [_encoded_surrogate(name, i) for i in range(at, end, 3)]
            at = end
        else:
            out.append(0xDC00 + name[at])
            at += 1
    return out


def units_to_bytes(units):
    """The byte form of UTF-16 units, as the program writes a name."""
    out, i = b"", 0
    while i < len(units):
        unit = units[i]
        if 0xD800 <= unit <= 0xDBFF and i + 1 < len(units) and 0xDC00 <= units[i + 1] <= 0xDFFF:
            out += (chr(unit) + chr(units[i + 1])).encode("utf-16-le", "surrogatepass") \
                .decode("utf-16-le").encode("utf-8")
            i += 2
            continue
        out += bytes([unit - 0xDC00]) if 0xDC80 <= unit <= 0xDCFF else \
            chr(unit).encode("utf-8", "surrogatepass")
        i += 1
    return out


def units(name):
    """Length of a byte-string name in UTF-16 code units."""
    return len(name_units(name))


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


QUOTED = r'"((?:[^"\\]|\\.)*)"'
RENAME_LINE = re.compile(rf"{QUOTED} => {QUOTED}")
FAILURE_LINE = re.compile(rf"ERROR: {QUOTED}: MoveFile\(\) failed \((-?\d+)\)\.")
ESCAPE = re.compile(r"\\(?:x([0-9A-Fa-f]{2})|u([0-9A-Fa-f]{4})|(.))", re.S)
SIMPLE_ESCAPES = {"\\": "\\", '"': '"', "t": "\t", "n": "\n", "r": "\r"}


def unquote(text):
    """The name a quoted report string stands for, as bytes (a byte that is
    not UTF-8 is written \\xNN, so it becomes that byte again)."""
    def one(match):
        byte, unit, simple = match.groups()
        if byte is not None:
            value = int(byte, 16)
            return chr(value if value < 0x80 else 0xDC00 + value)
        if unit is not None:
            return chr(int(unit, 16))
        return SIMPLE_ESCAPES[simple]
    text = ESCAPE.sub(one, text).encode("utf-16-le", "surrogatepass")
    return units_to_bytes([int.from_bytes(text[i:i + 2], "little")
                           for i in range(0, len(text), 2)])


def report_lines(out, newline):
    """The lines of a report, each checked to be valid UTF-8."""
    assert out == b"" or out.endswith(newline), f"unfinished last line: {out[-80:]!r}"
    lines = out.split(newline)[:-1]
    for line in lines:
        assert b"\n" not in line and b"\r" not in line, f"a line break inside {line!r}"
        line.decode("utf-8")  # raises on anything that is not UTF-8
    return [line.decode("utf-8") for line in lines]


def parse(out, newline):
    """Splits a report into renames {old: new} and failures {old: code}
    (names as bytes), and the other messages, in order. Every line must be
    one of them, and every old name must appear once."""
    renamed, failed, messages = {}, {}, []
    for line in report_lines(out, newline):
        rename = RENAME_LINE.fullmatch(line)
        failure = FAILURE_LINE.fullmatch(line)
        if rename:
            old, new = unquote(rename.group(1)), unquote(rename.group(2))
            assert old not in renamed and old not in failed, f"{old!r} reported twice"
            renamed[old] = new
        elif failure:
            old = unquote(failure.group(1))
            assert old not in renamed and old not in failed, f"{old!r} reported twice"
            failed[old] = int(failure.group(2))
        else:
            assert line.startswith("ERROR: "), f"not a report line: {line!r}"
            messages.append(line)
    return renamed, failed, messages


def fold_table():
    """How Windows volumes compare names ignoring case, from the tables the
    program is built with: NTFS's uppercase, then what exFAT adds."""
    naming = os.path.join(os.path.dirname(__file__), "..", "..", "src", "naming")
    table = {}
    with open(os.path.join(naming, "upcase_table.inc")) as file:
        for line in file:
            if line.startswith("{"):
                first, last, step, delta = (int(x, 0) for x in line.strip("{},\n").split(","))
                for unit in range(first, last + 1, step):
                    table[unit] = (unit + delta) & 0xFFFF
    with open(os.path.join(naming, "fold_table.inc")) as file:
        for line in file:
            if line.startswith("{"):
                unit, key = (int(x, 0) for x in line.strip("{},\n").split(","))
                table[unit] = key
    return table


FOLD = fold_table()
DEVICES = {"CON", "PRN", "AUX", "NUL"} | {f"{d}{n}" for d in ("COM", "LPT")
                                          for n in "0123456789\u00b9\u00b2\u00b3"}


def upcase(name):
    """`name` (bytes) as some Windows volume compares it ignoring case."""
    return tuple(FOLD.get(u, u) for u in name_units(name))


def works_on_windows(name):
    """False for a device name or a name ending in a space or a dot."""
    text = name.decode("utf-8", "surrogateescape")
    base = text.split(".")[0].rstrip(" ").upper()
    return base not in DEVICES and not text.endswith((" ", "."))


def check_run(before, after, out, limit, newline, extra=(), complete=True):
    """Checks a finished run against the snapshot taken before it. `extra`
    names entries that appeared from outside during the run; a run that is
    not `complete` (it was stopped) need not report every over-long entry.
    Returns the renames and failures."""
    over_long = [name for name in before if units(name) > limit]
    renamed, failed, messages = parse(out, newline)
    reported = set(renamed) | set(failed)
    if complete:
        assert not messages, f"messages of a run that did not finish: {messages}"
        assert reported == set(over_long), (
            f"over-long entries not reported: {set(over_long) - reported}; "
            f"reported but not over-long: {reported - set(over_long)}")
    else:
        assert reported <= set(over_long), f"not over-long: {reported - set(over_long)}"
    assert len(after) == len(before) + len(extra), "entry count changed"
    for name, identity in before.items():
        where = renamed.get(name, name)
        assert where in after, f"{name!r} is not under {where!r}"
        assert after[where] == identity, f"{name!r} changed on its way to {where!r}"
    folded = {}
    for name in after:
        folded.setdefault(upcase(name), []).append(name)
    for old, new in renamed.items():
        assert units(new) <= limit, f"{new!r} is longer than {limit}"
        assert new not in before, f"{old!r} took the name of {new!r}"
        assert works_on_windows(new), f"{old!r} became {new!r}, which Windows cannot use"
        same = folded[upcase(new)]
        assert same == [new], f"{old!r} became {new!r}, the same as {same} ignoring case"
    return renamed, failed


class Suite:
    """Cases that each run in a fresh temporary directory, some only where
    their program or tools allow."""

    def __init__(self):
        self.cases = []
        self.linux_only, self.windows_only, self.uses_seam = set(), set(), set()

    def case(self, function):
        self.cases.append(function)
        return function

    def tagged(self, group):
        """A decorator that puts a case in `group`."""
        def tag(function):
            group.add(function)
            return function
        return tag

    def main(self, module):
        """Reads the command line (the program, and --seam), sets
        `module.program` and runs the cases; returns the exit status."""
        parser = argparse.ArgumentParser()
        parser.add_argument("program")
        parser.add_argument("--seam", help="the preload library that injects races and faults")
        parser.add_argument("--jobs", type=int, help="calls at once for snipdir-fit and -undo")
        args = parser.parse_args()
        module.program = Program(args.program, args.seam, args.jobs)
        return self.run(module.program)

    def run(self, program):
        """Runs every case that applies to `program`; returns the exit
        status."""
        program.start_wine()
        passed, failed, skipped = 0, [], 0
        for function in self.cases:
            if (program.windows and function in self.linux_only) or (
                    not program.windows and function in self.windows_only) or (
                    function in self.uses_seam and program.seam is None):
                skipped += 1
                print(f"skip    {function.__name__}")
                continue
            try:
                # The case's directory inside one of its own, so that what a
                # case keeps beside it (a report) goes with it.
                with tempfile.TemporaryDirectory(prefix="snipdir-cli-") as scratch:
                    root = os.path.join(scratch, "case")
                    os.mkdir(root)
                    os.chmod(scratch, 0o755)
                    os.chmod(root, 0o755)
                    function(root)
                passed += 1
                print(f"ok      {function.__name__}")
            except Exception as error:  # a failed check, or a broken test setup
                failed.append(function.__name__)
                print(f"FAILED  {function.__name__}: {error!r}")
        print(f"{passed} passed, {len(failed)} failed, {skipped} skipped")
        return 1 if failed else 0
