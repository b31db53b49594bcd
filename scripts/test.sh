#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test:
#   native  the Linux program: unit tests, command-line suite, random directories
#   asan    the same under AddressSanitizer and UndefinedBehaviorSanitizer,
#           and a one-minute fuzz run of the name rule
#   win32   the Windows program: the same suites under Wine
# Name presets to run only those: scripts/test.sh native
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
snipdir_setup

# Wine: quiet, no Mono or Gecko installers when it sets up its prefix, and a
# home for that prefix even where the environment names none.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
: "${HOME:=$(getent passwd "$(id -u)" | cut -d: -f6)}"
export HOME
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(native asan win32)
for preset in "${presets[@]}"; do
  echo "=== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)"
  ctest --preset "$preset"
done
