#!/usr/bin/env python3
"""snipdir-fit and snipdir-undo on a file system as slow as a file share:
the tree on the local disk, mounted through tests/slowfs with every call
--latency milliseconds late, fitted (preview, run) and undone at each
number of --jobs. Prints the median wall time of each and the calls the
file system served it.

    bench/share.py [--latency MS] [--directories N] [--runs N] [--jobs 1 4 8 ...]

Needs root (the mount) and build/native/slowfs (scripts/setup.sh volumes,
then cmake --build --preset native --target slowfs).
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "slowfs"))
from mount import CannotMount, slow_share  # noqa: E402

BUILD = os.path.join(ROOT, "build", "native")


def build(root, directories):
    """Departments of projects of documents, nine documents a project; in
    every other project one document's name is too long for the budget
    (70, the tree going to /srv/share): with 10,000 directories, about
    100,000 entries, 5,000 to rename."""
    departments = max(1, directories // 100)
    for department in range(departments):
        for project in range(directories // departments):
            place = os.path.join(root, f"Department {department:03}", f"Project {project:03}")
            os.makedirs(place)
            for document in range(9):
                long = document == 0 and project % 2 == 0
                name = (f"The minutes of the meeting about project {project:03}, the last one.docx"
                        if long else f"Minutes {document}.docx")
                with open(os.path.join(place, name), "w"):
                    pass


def timed(command):
    started = time.monotonic()
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return time.monotonic() - started, done.stdout


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--latency", type=int, default=1, help="milliseconds a call waits")
    parser.add_argument("--directories", type=int, default=10000)
    parser.add_argument("--runs", type=int, default=3, help="runs of each (median)")
    parser.add_argument("--jobs", type=int, nargs="*", default=[1, 32],
                        help="numbers of jobs (32: the default on a share)")
    args = parser.parse_args()
    fit, undo = os.path.join(BUILD, "snipdir-fit"), os.path.join(BUILD, "snipdir-undo")
    for program in (fit, undo, os.path.join(BUILD, "slowfs")):
        if not os.path.exists(program):
            sys.exit(f"{program} is missing: cmake --build --preset native")
    with tempfile.TemporaryDirectory(prefix="snipdir-share-", dir="/var/tmp") as scratch:
        source, point = os.path.join(scratch, "source"), os.path.join(scratch, "share")
        build(os.path.join(source, "tree"), args.directories)
        entries = sum(len(d) + len(f) for _, d, f in os.walk(os.path.join(source, "tree")))
        print(f"{entries:,} entries in {args.directories:,} directories, every call "
              f"{args.latency} ms late; median of {args.runs} runs\n")
        print("| jobs | preview | calls | run | calls | undo | calls |")
        print("|--:|--:|--:|--:|--:|--:|--:|")
        report = os.path.join(scratch, "fit.report")
        try:
            for jobs in args.jobs:
                times = {"preview": [], "run": [], "undo": []}
                calls = {}
                for _ in range(args.runs):
                    for what in ("preview", "run", "undo"):
                        # Mounted for each, so that each starts with nothing
                        # known and its calls are counted alone.
                        with slow_share(os.path.join(BUILD, "slowfs"), source, point,
                                        args.latency) as served:
                            tree = os.path.join(point, "tree")
                            common = ["--jobs", str(jobs), "--as", "/srv/share", tree, "70"]
                            command = {"preview": [fit, "--preview", *common],
                                       "run": [fit, *common],
                                       "undo": [undo, "--jobs", str(jobs), tree, report]}[what]
                            spent, out = timed(command)
                            times[what].append(spent)
                            if what == "run":
                                with open(report, "wb") as file:
                                    file.write(out)
                        calls[what] = served[0] if served else 0
                print(f"| {jobs} | " + " | ".join(
                    f"{statistics.median(times[what]):.2f} s | {calls[what]:,}"
                    for what in ("preview", "run", "undo")) + " |", flush=True)
        except CannotMount as reason:
            sys.exit(f"cannot mount the slow file system: {reason}")


if __name__ == "__main__":
    main()
