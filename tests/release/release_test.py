#!/usr/bin/env python3
"""Builds the release twice and checks it as a user would meet it:

- the two builds give the same bytes (SHA256SUMS);
- the .deb is clean for lintian, its manual page lints clean, and it
  installs, works and leaves nothing behind when removed (as root only);
- the tarball and the zip hold exactly the expected files;
- the programs of the zip run under Wine, where Windows reads their version
  (CMake's) and their manifest (type 24).

    release_test.py VERSION_CHECK_EXE
"""
import gzip
import os
import re
import shutil
import subprocess
import sys
import tarfile
import tempfile
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DIST = os.path.join(ROOT, "dist")
PROGRAMS = ["snipdir", "snipdir-preview", "snipdir-undo", "snipdir-fit"]
WINE = dict(os.environ, WINEDEBUG="-all")


def version():
    with open(os.path.join(ROOT, "CMakeLists.txt")) as file:
        return re.search(r"project\(snipdir VERSION ([0-9.]+)", file.read()).group(1)


def run(*command, **options):
    """Runs `command`; its output through files, not pipes, which Wine's
    helper processes would hold open after the program ends."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        done = subprocess.run(command, stdout=out, stderr=err, **options)
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(done.args, done.returncode, out.read().decode(),
                                           err.read().decode())


def release():
    done = subprocess.run(["bash", os.path.join(ROOT, "scripts", "release.sh")],
                          stdout=subprocess.DEVNULL)
    assert done.returncode == 0, "release.sh failed"
    with open(os.path.join(DIST, "SHA256SUMS")) as file:
        return file.read()


def check_deb(deb):
    lint = run("lintian", "--fail-on", "error,warning", deb)
    tags = [line for line in lint.stdout.splitlines() if re.match(r"[EW]: ", line)]
    assert lint.returncode == 0 and not tags, f"lintian: {tags or lint.stderr}"
    with tempfile.TemporaryDirectory() as tree:
        subprocess.run(["dpkg-deb", "-x", deb, tree], check=True)
        for name in ("snipdir", "snipdir-fit"):
            page = os.path.join(tree, f"usr/share/man/man1/{name}.1.gz")
            plain = os.path.join(tree, f"{name}.1")
            with gzip.open(page) as file, open(plain, "wb") as out:
                out.write(file.read())
            warnings = run("man", "--warnings", "-l", plain,
                           env=dict(os.environ, MANWIDTH="80", LC_ALL="C.UTF-8"))
            assert warnings.returncode == 0 and not warnings.stderr, f"man: {warnings.stderr}"
            lint = run("mandoc", "-T", "lint", plain)
            assert lint.returncode == 0 and not lint.stdout, f"mandoc: {lint.stdout}"
    print(f"ok      {os.path.basename(deb)}: lintian and the manual pages lint clean")


def check_installed(deb):
    if os.geteuid() != 0:
        print("skip    installing the .deb (needs root)")
        return
    subprocess.run(["dpkg", "-i", deb], check=True, stdout=subprocess.DEVNULL)
    files = run("dpkg", "-L", "snipdir").stdout.split()
    try:
        assert "Status: install ok installed" in run("dpkg", "-s", "snipdir").stdout
        for program in PROGRAMS:
            assert run("man", "-w", program).returncode == 0, f"no manual for {program}"
        for program in PROGRAMS:
            shown = run(program, "--version", cwd="/")
            assert (shown.stdout.splitlines()[0], shown.returncode) == (
                f"{program} {version()}", 0), shown
    finally:
        subprocess.run(["dpkg", "-r", "snipdir"], check=True, stdout=subprocess.DEVNULL)
    left = [path for path in files if os.path.isfile(path) or os.path.islink(path)]
    assert not left, f"left behind: {left}"
    print("ok      the .deb installs, runs and leaves nothing behind")


def check_tarball(tarball, folder):
    with tarfile.open(tarball) as tar:
        names = sorted(name for name in tar.getnames() if not tar.getmember(name).isdir())
    expected = sorted([f"{folder}/bin/{p}" for p in PROGRAMS] +
                      [f"{folder}/share/man/man1/{p}.1.gz" for p in PROGRAMS] +
                      [f"{folder}/share/doc/snipdir/{name}"
                       for name in ["README.md", "changelog.gz", "copyright"]])
    assert names == expected, f"tarball: {names}"
    print(f"ok      {os.path.basename(tarball)}: the expected files")


def check_zip(archive, folder, version_check, expected_version):
    with zipfile.ZipFile(archive) as packed:
        names = sorted(name for name in packed.namelist() if not name.endswith("/"))
        expected = sorted(f"{folder}/{name}" for name in
                          [f"{p}.exe" for p in PROGRAMS] +
                          ["README.md", "LICENSE", "snipdir.txt", "snipdir-fit.txt",
                           "CHANGELOG.md"])
        assert names == expected, f"zip: {names}"
        with tempfile.TemporaryDirectory() as unpacked:
            packed.extractall(unpacked)
            seen = run("wine", version_check, expected_version,
                       *(os.path.join(unpacked, folder, program + ".exe") for program in PROGRAMS),
                       env=WINE)
            assert seen.returncode == 0, seen.stderr
            for line in seen.stdout.splitlines():
                print(f"ok      {line}")
            demo = os.path.join(unpacked, "demo")
            os.mkdir(demo)
            open(os.path.join(demo, "holiday-at-the-lake.jpeg"), "w").close()
            cut = run("wine", os.path.join(unpacked, folder, "snipdir.exe"),
                      "Z:" + demo.replace("/", "\\"), "16", env=WINE)
            assert cut.stdout.rstrip() == '"holiday-at-the-lake.jpeg" => "holiday-at-t.jpe"', cut
            print(f"ok      {os.path.basename(archive)}: the expected files, and they run")


def main():
    version_check = sys.argv[1]
    first = release()
    second = release()
    assert first == second, f"two builds differ:\n{first}\n{second}"
    print("ok      two release builds are byte for byte the same:")
    print(second, end="")
    v = version()
    check_deb(os.path.join(DIST, f"snipdir_{v}_amd64.deb"))
    check_installed(os.path.join(DIST, f"snipdir_{v}_amd64.deb"))
    linux = f"snipdir-{v}-linux-{os.uname().machine}"
    check_tarball(os.path.join(DIST, linux + ".tar.gz"), linux)
    check_zip(os.path.join(DIST, f"snipdir-{v}-win32.zip"), f"snipdir-{v}-win32", version_check,
              v)
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except AssertionError as error:
        print(f"FAILED  {error}")
        sys.exit(1)
