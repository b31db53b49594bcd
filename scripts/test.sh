#!/usr/bin/env bash
# Installs what is missing, builds the Linux and the Windows program, and runs
# every test: unit tests and the command-line suite, natively and under Wine.
# SNIPDIR_NATIVE_ONLY=1 skips the Windows build.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
snipdir_setup

export WINEDEBUG=-all
presets=(native)
[ "${SNIPDIR_NATIVE_ONLY:-0}" = 1 ] || presets+=(win32)
for preset in "${presets[@]}"; do
  echo "=== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)"
  ctest --preset "$preset"
done
