#!/usr/bin/env python3
"""Measures snipdir against the floor: the same renames, one renameat2 each.

    bench/bench.py [--runs N] [--quick] [--dir PATH]

Builds each test directory on the local disk, runs the tool and the floor
alternately (renaming the entries back after each run), and prints medians: wall time, renames per
second, rename system calls (strace), peak memory (/usr/bin/time) and the
ratio to the floor. With the win32 build present it also times the Windows
program and its floor under Wine on the all-colliding case, at sizes of
--wine-entries: Wine looks a free name up by reading the whole directory, so
every rename there costs time in proportion to the directory's size.
"""
import argparse
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TOOL = os.path.join(ROOT, "build", "native", "snipdir")
FLOOR = os.path.join(ROOT, "build", "native", "snipdir_floor")
WINDOWS_TOOL = os.path.join(ROOT, "build", "win32", "snipdir.exe")
WINDOWS_FLOOR = os.path.join(ROOT, "build", "win32", "snipdir_floor.exe")


def distinct(count):
    # Cut at 12 to "000001-a.txt", "000002-a.txt", ...
    return [f"{i:06d}-a-rather-long-name-for-benchmarking.txt" for i in range(count)], []


def all_colliding(count):
    # Every one cuts to "IMG_2023.jpg".
    return [f"IMG_20230101_{i:06d}_description.jpg" for i in range(count)], []


def hundred_groups_blocked(count):
    # 100 first candidates "grp000xx.txt" ..., each with itself and its next
    # 49 counter candidates already taken by short names.
    names = [f"grp{i % 100:03d}xx-{i:06d}-long-name.txt" for i in range(count)]
    blockers = []
    for group in range(100):
        stem = f"grp{group:03d}xx"
        blockers.append(stem + ".txt")
        blockers += [stem[:8 - len(f"{c:X}")] + f"{c:X}" + ".txt" for c in range(49)]
    return names, blockers


CASES = [
    ("distinct", 1_000, distinct),
    ("distinct", 10_000, distinct),
    ("distinct", 20_000, distinct),
    ("distinct", 100_000, distinct),
    ("distinct", 1_000_000, distinct),
    ("all colliding", 20_000, all_colliding),
    ("100 names, 50 blocked", 20_000, hundred_groups_blocked),
]


def populate(directory, names, blockers):
    shutil.rmtree(directory, ignore_errors=True)
    os.makedirs(directory)
    for name in names + blockers:
        os.close(os.open(os.path.join(directory, name), os.O_CREAT | os.O_WRONLY, 0o644))


class Timed(float):
    """Wall time of a run, with its processor time (user and system) beside."""
    def __new__(cls, wall, processor):
        value = super().__new__(cls, wall)
        value.processor = processor
        return value


def timed(command, output):
    with open(output, "wb") as out:
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.perf_counter()
        subprocess.run(command, stdout=out, check=True)
        wall = time.perf_counter() - start
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        return Timed(wall, after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime)


def processor(times):
    return statistics.median(t.processor for t in times)


def rename_calls(command, scratch):
    trace = os.path.join(scratch, "strace.txt")
    subprocess.run(["strace", "-f", "-c", "-o", trace,
                    "-e", "trace=rename,renameat,renameat2,linkat", *command],
                   stdout=subprocess.DEVNULL, check=True)
    calls = 0
    with open(trace) as file:
        for line in file:
            fields = line.split()
            if fields and fields[-1] in ("rename", "renameat", "renameat2", "linkat"):
                calls += int(fields[3])
    return calls


def peak_memory_kib(command):
    done = subprocess.run(["/usr/bin/time", "-f", "%M", *command],
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                          check=True, text=True)
    return int(done.stderr.strip().splitlines()[-1])


def floor_list(tool_output, list_path):
    """The old and new names of every rename the tool printed."""
    with open(tool_output, "rb") as out, open(list_path, "wb") as pairs:
        for line in out:
            old, new = line.rstrip(b"\n").split(b'" => "')
            pairs.write(old[1:] + b"\0" + new[:-1] + b"\0")


def restore(directory, pairs, expected):
    """Renames every renamed entry back: far cheaper than creating the
    directory again."""
    with open(pairs, "rb") as file:
        names = file.read().split(b"\0")[:-1]
    directory_bytes = os.fsencode(directory)
    for old, new in zip(names[0::2], names[1::2]):
        os.rename(os.path.join(directory_bytes, new), os.path.join(directory_bytes, old))
    if set(os.listdir(directory)) != expected:
        sys.exit(f"{directory} was not restored")


def measure(scratch, label, count, make, runs):
    names, blockers = make(count)
    directory = os.path.join(scratch, "dir")
    output = os.path.join(scratch, "out.txt")
    pairs = os.path.join(scratch, "pairs")
    tool = [TOOL, directory, "12"]
    original = set(names + blockers)

    populate(directory, names, blockers)
    timed(tool, output)
    floor_list(output, pairs)
    restore(directory, pairs, original)
    calls = rename_calls(tool, scratch)
    restore(directory, pairs, original)
    memory = peak_memory_kib(tool)
    restore(directory, pairs, original)

    tool_times, floor_times = [], []
    for _ in range(runs):
        tool_times.append(timed(tool, output))
        restore(directory, pairs, original)
        floor_times.append(timed([FLOOR, directory, pairs], os.devnull))
        restore(directory, pairs, original)
    tool_time = statistics.median(tool_times)
    floor_time = statistics.median(floor_times)
    tool_cpu, floor_cpu = processor(tool_times), processor(floor_times)
    print(f"| {count:>9,} | {label:<21} | {tool_time:7.3f} s | {count / tool_time:>9,.0f} "
          f"| {calls:>9,} ({calls / count:.2f}/entry) | {memory / 1024:6.1f} MiB "
          f"| {memory * 1024 / count:4.0f} B "
          f"| {floor_time:7.3f} s | {tool_time / floor_time:5.2f}x "
          f"| {tool_cpu:7.3f} s | {floor_cpu:7.3f} s | {tool_cpu / floor_cpu:5.2f}x |", flush=True)
    return tool_time


FIT_TOOL = os.path.join(ROOT, "build", "native", "snipdir-fit")
UNDO_TOOL = os.path.join(ROOT, "build", "native", "snipdir-undo")


def fit_tree(directory, tops, files):
    """`tops` project directories, each with a chain of two directories
    holding `files` files: deep paths, one wide directory each, most of them
    over a budget of 160."""
    shutil.rmtree(directory, ignore_errors=True)
    os.makedirs(directory)
    count = 0
    for top in range(tops):
        chain = os.path.join(directory, f"Project {top:05d} with a rather long descriptive name",
                             "Documents and materials of the project",
                             "Final versions for the archive")
        os.makedirs(chain)
        count += 3
        for i in range(files):
            os.close(os.open(os.path.join(chain, f"Document {i:04d} of the project, final version.docx"),
                             os.O_CREAT | os.O_WRONLY, 0o644))
        count += files
    return count


def fit_pairs(report, pairs):
    """The renames of a fit report as the floor's list (paths below the
    directory), and the same turned round, in reverse order, to restore."""
    back = []
    with open(report, "rb") as out, open(pairs, "wb") as forward:
        for line in out:
            old, new = line.rstrip(b"\n").split(b'" => "')
            forward.write(old[1:] + b"\0" + new[:-1] + b"\0")
            back.append((new[:-1], old[1:]))
    return back[::-1]


def measure_fit(scratch, tops, files, runs):
    """snipdir-fit on a large tree: the preview against find, the run against
    the floor of the same renames, and memory."""
    directory = os.path.join(scratch, "tree")
    report = os.path.join(scratch, "fit.report")
    pairs = os.path.join(scratch, "fit.pairs")
    count = fit_tree(directory, tops, files)
    budget = str(len(directory) + 160)
    preview = [FIT_TOOL, "--preview", directory, budget]
    run = [FIT_TOOL, directory, budget]

    def restore(back):
        base = os.fsencode(directory)
        for new, old in back:
            os.rename(os.path.join(base, new), os.path.join(base, old))

    timed(["find", directory], os.devnull)  # the tree in the cache
    find_times = [timed(["find", directory], os.devnull) for _ in range(runs)]
    preview_times = [timed(preview, report) for _ in range(runs)]
    preview_memory = peak_memory_kib(preview)
    # For a destination: every name checked against its rules and limits.
    onedrive = [FIT_TOOL, "--preview", directory, "onedrive"]
    onedrive_times = [timed(onedrive, report) for _ in range(runs)]
    run_times, floor_times = [], []
    for _ in range(runs):
        run_times.append(timed(run, report))
        back = fit_pairs(report, pairs)
        restore(back)
        floor_times.append(timed([FLOOR, directory, pairs], os.devnull))
        restore(back)
    run_memory = peak_memory_kib(run)
    renamed = len(back)
    restore(back)
    find_time, preview_time = statistics.median(find_times), statistics.median(preview_times)
    run_time, floor_time = statistics.median(run_times), statistics.median(floor_times)
    print(f"\nsnipdir-fit, a tree of {count:,} entries ({tops:,} projects, {files:,} files "
          f"each, three directories deep), budget 160 below the tree: {renamed:,} renamed\n")
    print("| what | time | against | ratio | processor | against | ratio | peak memory | per entry |")
    print("|---|--:|--:|--:|--:|--:|--:|--:|--:|")
    print(f"| `snipdir-fit --preview` | {preview_time:.3f} s | find: {find_time:.3f} s "
          f"| {preview_time / find_time:.2f}x | {processor(preview_times):.3f} s "
          f"| {processor(find_times):.3f} s | {processor(preview_times) / processor(find_times):.2f}x "
          f"| {preview_memory / 1024:.1f} MiB | {preview_memory * 1024 / count:.0f} bytes |")
    onedrive_time = statistics.median(onedrive_times)
    print(f"| `snipdir-fit --preview ... onedrive` | {onedrive_time:.3f} s | find: {find_time:.3f} s "
          f"| {onedrive_time / find_time:.2f}x | {processor(onedrive_times):.3f} s "
          f"| {processor(find_times):.3f} s | {processor(onedrive_times) / processor(find_times):.2f}x "
          f"| | |")
    print(f"| `snipdir-fit` | {run_time:.3f} s | floor: {floor_time:.3f} s "
          f"| {run_time / floor_time:.2f}x | {processor(run_times):.3f} s "
          f"| {processor(floor_times):.3f} s | {processor(run_times) / processor(floor_times):.2f}x "
          f"| {run_memory / 1024:.1f} MiB | {run_memory * 1024 / count:.0f} bytes |", flush=True)


def measure_windows(scratch, count, runs):
    """The Windows build and its floor (MoveFileW alone) under Wine, on the
    all-colliding case."""
    names, blockers = all_colliding(count)
    directory = os.path.join(scratch, "dir")
    output = os.path.join(scratch, "out.txt")
    pairs = os.path.join(scratch, "pairs")
    env = dict(os.environ, WINEDEBUG="-all")
    subprocess.run(["wineserver", "-p", "30"], env=env, check=False)
    windows_directory = "Z:" + directory.replace("/", "\\")
    tool = ["wine", WINDOWS_TOOL, windows_directory, "12"]
    floor = ["wine", WINDOWS_FLOOR, windows_directory, "Z:" + pairs.replace("/", "\\")]
    original = set(names + blockers)
    populate(directory, names, blockers)

    def run_tool():
        with open(output, "wb") as out:
            start = time.perf_counter()
            subprocess.run(tool, stdout=out, env=env, check=True)
            elapsed = time.perf_counter() - start
        with open(output, "rb") as file:
            text = file.read().replace(b"\r\n", b"\n")
        with open(output, "wb") as file:
            file.write(text)
        floor_list(output, pairs)
        restore(directory, pairs, original)
        return elapsed

    def run_floor():
        start = time.perf_counter()
        subprocess.run(floor, env=env, check=True)
        elapsed = time.perf_counter() - start
        restore(directory, pairs, original)
        return elapsed

    tool_times, floor_times = [], []
    for _ in range(runs):
        tool_times.append(run_tool())
        floor_times.append(run_floor())
    tool_time = statistics.median(tool_times)
    floor_time = statistics.median(floor_times)
    print(f"| {count:>7,} | {'all colliding, Wine':<22} | {tool_time:8.3f} s "
          f"| {count / tool_time:>9,.0f} | | | {floor_time:8.3f} s | {tool_time / floor_time:5.2f}x |",
          flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=5, help="timed runs of each (median)")
    parser.add_argument("--quick", action="store_true", help="smaller directories, 3 runs")
    parser.add_argument("--dir", default="/var/tmp", help="where to build the directories")
    parser.add_argument("--wine-entries", type=int, nargs="*", default=[1_000, 2_000, 4_000],
                        help="sizes of the all-colliding case for the Windows build under Wine")
    parser.add_argument("--no-wine", action="store_true", help="skip the Windows build")
    parser.add_argument("--only-fit", action="store_true", help="only the snipdir-fit rows")
    parser.add_argument("--entries", type=int, nargs="*",
                        help="only the one-directory rows of these sizes, and no snipdir-fit rows")
    parser.add_argument("--share", action="store_true",
                        help="only the rows on a file system as slow as a share (bench/share.py, "
                             "with its defaults; as root)")
    args = parser.parse_args()
    if args.share:
        sys.argv = sys.argv[:1]
        sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
        import share  # noqa: E402 (its rows only)
        return share.main()
    for program in (TOOL, FLOOR):
        if not os.path.exists(program):
            sys.exit(f"{program} is missing: cmake --build --preset native")
    runs = 3 if args.quick else args.runs
    cases = [(label, count // 10 if args.quick else count, make)
             for label, count, make in CASES
             if args.entries is None or count in args.entries]

    print(f"snipdir against the floor, median of {runs} runs, limit 12, in {args.dir}\n")
    print("| entries | case | snipdir | renames/s | rename calls | peak memory | per entry "
          "| floor | ratio | snipdir, processor | floor, processor | ratio |")
    print("|--:|---|--:|--:|---|--:|--:|--:|--:|--:|--:|--:|")
    with tempfile.TemporaryDirectory(prefix="snipdir-bench-", dir=args.dir) as scratch:
        for label, count, make in [] if args.only_fit else cases:
            measure(scratch, label, count, make, runs)
        if args.entries is None:
            measure_fit(scratch, 200 if args.quick else 2_000, 497, runs)
        if not args.only_fit and not args.no_wine and os.path.exists(WINDOWS_FLOOR) \
                and shutil.which("wine"):
            for count in args.wine_entries:
                measure_windows(scratch, count, min(runs, 3))


if __name__ == "__main__":
    main()
