#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test:
#   native   the Linux programs: unit tests, command-line suite, random
#            directories
#   asan     the same under AddressSanitizer and UndefinedBehaviorSanitizer,
#            and bounded fuzz runs
#   win64    the 64-bit twin of the Windows programs under wine64: every
#            Windows suite, the case table and the version resources
#   win32    the shipped 32-bit Windows programs under 32-bit Wine (through
#            qemu-user where the kernel runs no 32-bit code): their unit
#            tests, version resources, and a set of runs in one process
#            whose lines are compared with the twin's and the Linux ones
#   volumes  both programs on mounted image files: ext4, xfs, btrfs, tmpfs,
#            exFAT, NTFS, FAT, bindfs (as root; a mount that cannot be made
#            is skipped), exFAT's case table against mkfs.exfat's, both
#            programs fitting the same trees, and snipdir-fit on a file
#            system as slow as a file share
#   release  scripts/release.sh twice (the same bytes), and the packages
#            checked as a user meets them
# Name parts to run only those: scripts/test.sh native
set -euo pipefail
cd "$(dirname "$0")/.."
parts=("$@")
[ ${#parts[@]} -gt 0 ] || parts=(native asan win64 win32 volumes release)
source scripts/setup.sh
# Where Debian keeps the tools that make and mount file systems.
export PATH="$PATH:/usr/sbin:/sbin"
snipdir_setup "${parts[@]}"

# Wine: quiet, no Mono or Gecko installers when it sets up its prefix, and a
# home for that prefix even where the environment names none.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
: "${HOME:=$(getent passwd "$(id -u)" | cut -d: -f6)}"
export HOME
# The prefix is made by the 64-bit Wine, in seconds (a 32-bit Wine under
# qemu takes minutes), and one server stays up for every program.
# Their output goes nowhere: the server and the services the first program
# starts outlive every program, and would hold a pipe open.
# The server that stays up is started once the prefix is there (it cannot
# start without one); the one that made the prefix has ended by then. A
# server that ends between two runs refuses the second one's connection.
wine_ready() {
  if [ ! -f "${WINEPREFIX:-$HOME/.wine}/system.reg" ]; then
    "$(snipdir_wine64)" wineboot --init </dev/null >/dev/null 2>&1
    wineserver -w </dev/null >/dev/null 2>&1
  fi
  local status=0
  wineserver -p </dev/null >/dev/null 2>&1 || status=$?
  case $status in
    0) trap 'wineserver -k 2>/dev/null || true' EXIT ;;
    2) ;;  # a server was running already: not ours to end
    *)
      echo "ERROR: the Wine server cannot be started (wineserver -p says $status)." >&2
      return 1 ;;
  esac
  "$(snipdir_wine64)" cmd /c exit </dev/null >/dev/null 2>&1
}
build() {
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j"$(nproc)" "${@:2}"
}
programs=(--target snipdir snipdir-preview snipdir-undo snipdir-fit)
for part in "${parts[@]}"; do
  echo "=== $part"
  started=$SECONDS
  case $part in
    volumes)
      build native "${programs[@]}" slowfs >/dev/null
      build win64 "${programs[@]}" >/dev/null
      wine_ready
      python3 tools/upcase/exfat_fold.py src/naming/fold_table.inc --check
      # Trees fitted for a destination, then handed to it.
      python3 tests/volumes/destinations_test.py build/native/snipdir
      python3 tests/volumes/volumes_test.py build/native/snipdir --windows build/win64/snipdir.exe
      # Both programs fit the same trees with the same lines.
      python3 tests/cli/fit_test.py build/native/snipdir --also build/win64/snipdir.exe --rounds 6
      # The same lines whatever number of directories is listed at once.
      python3 tests/volumes/share_test.py build/native/snipdir build/native/slowfs \
        --windows build/win64/snipdir.exe
      ;;
    release)
      build win32 --target version_check >/dev/null
      wine_ready
      python3 tests/release/release_test.py build/win32/version_check.exe
      ;;
    win32)
      build win32
      build win64 --target in_process >/dev/null
      build native "${programs[@]}" >/dev/null
      wine_ready
      ctest --preset win32
      python3 tests/cli/builds_test.py build/win32/in_process.exe build/win64/in_process.exe \
        build/native/snipdir
      ;;
    *)
      # The Unicode data the name rules are generated from, checked as it stands.
      if [ "$part" = native ]; then
        python3 tools/unicode/grapheme_table.py src/naming/grapheme_table.inc --check
        python3 tools/unicode/decompositions.py src/naming/nfd_table.inc --check
      fi
      build "$part"
      [ "$part" = win64 ] && wine_ready
      ctest --preset "$part"
      ;;
  esac
  echo "=== $part: $((SECONDS - started)) s"
done
