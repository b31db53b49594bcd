#!/usr/bin/env bash
# Builds the Linux program and runs it. With no arguments it makes a demo
# directory of over-long names and shows it before and after the run;
# otherwise the arguments go to snipdir: <directory-path> [max-length].
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
snipdir_setup run
cmake --preset native >/dev/null
cmake --build --preset native -j"$(nproc)" --target snipdir >/dev/null
program="$PWD/build/native/snipdir"

if [ $# -gt 0 ]; then
  exec "$program" "$@"
fi

demo=$(mktemp -d /tmp/snipdir-demo-XXXXXX)
mkdir "$demo/photos"
cd "$demo/photos"
touch holiday-at-the-lake.jpeg holiday-at-the-lake-sunset.jpeg \
  "Quarterly report (final, really final).docx" café-au-lait-recipes.txt \
  short.txt exactly-16-chars
mkdir "Trip to the mountains 2024"
echo "Before, in $demo/photos:"
ls -1
echo
echo "$ snipdir photos 16"
cd ..
"$program" photos 16
echo
echo "After:"
ls -1 photos
