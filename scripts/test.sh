#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test:
#   native   the Linux programs: unit tests, command-line suite, random
#            directories
#   asan     the same under AddressSanitizer and UndefinedBehaviorSanitizer,
#            and bounded fuzz runs
#   win32    the Windows programs: the same suites under Wine, the case
#            table and the version resources
#   volumes  both programs on mounted image files: ext4, xfs, btrfs, tmpfs,
#            exFAT, NTFS, FAT, bindfs (as root; a mount that cannot be made
#            is skipped), exFAT's case table against mkfs.exfat's, and both
#            programs fitting the same trees
#   release  scripts/release.sh twice (the same bytes), and the packages
#            checked as a user meets them
# Name parts to run only those: scripts/test.sh native
set -euo pipefail
cd "$(dirname "$0")/.."
parts=("$@")
[ ${#parts[@]} -gt 0 ] || parts=(native asan win32 volumes release)
source scripts/setup.sh
# Where Debian keeps the tools that make and mount file systems.
export PATH="$PATH:/usr/sbin:/sbin"
snipdir_setup "${parts[@]}"

# Wine: quiet, no Mono or Gecko installers when it sets up its prefix, and a
# home for that prefix even where the environment names none.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
: "${HOME:=$(getent passwd "$(id -u)" | cut -d: -f6)}"
export HOME
for part in "${parts[@]}"; do
  echo "=== $part"
  if [ "$part" = volumes ]; then
    for preset in native win32; do
      cmake --preset $preset >/dev/null
      cmake --build --preset $preset -j"$(nproc)" --target snipdir snipdir-preview snipdir-undo \
        snipdir-fit >/dev/null
    done
    python3 tests/upcase/exfat_fold.py src/naming/fold_table.inc --check
    # Trees fitted for a destination, then handed to it.
    python3 tests/volumes/destinations_test.py build/native/snipdir
    if [ -n "${SNIPDIR_NO_WINE:-}" ]; then
      echo "SKIPPED: the Windows program on volumes and fitting trees beside the Linux one: $SNIPDIR_NO_WINE"
      python3 tests/volumes/volumes_test.py build/native/snipdir
      continue
    fi
    python3 tests/volumes/volumes_test.py build/native/snipdir --windows build/win32/snipdir.exe
    # Both programs fit the same trees with the same lines.
    python3 tests/cli/fit_test.py build/native/snipdir --also build/win32/snipdir.exe --rounds 6
    continue
  fi
  if [ "$part" = release ]; then
    cmake --preset win32 >/dev/null
    cmake --build --preset win32 --target version_check >/dev/null
    python3 tests/release/release_test.py build/win32/version_check.exe
    continue
  fi
  # The Unicode data the name rules are generated from, checked as it stands.
  if [ "$part" = native ]; then
    python3 tests/unicode/grapheme_table.py src/naming/grapheme_table.inc --check
    python3 tests/unicode/nfd_lengths.py src/naming/nfd_table.inc --check
  fi
  cmake --preset "$part" >/dev/null
  cmake --build --preset "$part" -j"$(nproc)"
  if [ "$part" = win32 ] && [ -n "${SNIPDIR_NO_WINE:-}" ]; then
    echo "SKIPPED: the Windows tests, which run under Wine: $SNIPDIR_NO_WINE"
    continue
  fi
  ctest --preset "$part"
done
