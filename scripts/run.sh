#!/usr/bin/env bash
# Builds the Linux programs and runs snipdir. With no arguments it makes a demo
# directory of over-long names and shows a preview, the run, and its undo,
# then fits a small tree with snipdir-fit; otherwise the arguments go to
# snipdir: <directory-path> [max-length].
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
snipdir_setup run
cmake --preset run >/dev/null
cmake --build --preset run -j"$(nproc)" --target snipdir snipdir-preview snipdir-undo \
  snipdir-fit >/dev/null
bin="$PWD/build/run"
program="$bin/snipdir"

if [ $# -gt 0 ]; then
  exec "$program" "$@"
fi

demo=$(mktemp -d /tmp/snipdir-demo-XXXXXX)
mkdir "$demo/photos"
cd "$demo/photos"
touch holiday-at-the-lake.jpeg holiday-at-the-lakeside.jpeg \
  "Quarterly report (final, really final).docx" café-au-lait-recipes.txt \
  short.txt exactly-16-chars
mkdir "Trip to the mountains 2024"
echo "Before, in $demo/photos:"
ls -1
echo
cd ..
echo "$ snipdir-preview photos 16"
"$bin/snipdir-preview" photos 16
echo
echo "$ snipdir photos 16 > photos.report"
"$program" photos 16 >photos.report
echo
echo "After:"
ls -1 photos
echo
echo "$ snipdir-undo photos photos.report"
"$bin/snipdir-undo" photos photos.report

echo
mkdir -p "project/Reports 2023/Quarterly board meeting materials"
touch "project/Reports 2023/Board minutes, final version.docx" \
  "project/Reports 2023/Quarterly board meeting materials/Presentation for the board, revised.pptx"
place='C:\Users\ana\OneDrive - Contoso\Projects'
echo "$ snipdir-fit --preview --as '$place' project 120"
"$bin/snipdir-fit" --preview --as "$place" project 120
