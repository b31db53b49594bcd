#!/usr/bin/env bash
# Builds the Linux programs and shows them. With no arguments it makes a
# demo directory of over-long names and shows a preview, the run, and its
# undo, then fits a small tree with snipdir-fit. With a directory it
# changes nothing: it previews what snipdir would do there (with a
# max-length, or a destination such as onedrive for snipdir-fit) and prints
# the command that does it.
#   scripts/run.sh                          the demo
#   scripts/run.sh DIRECTORY [MAX-LENGTH]   a preview of snipdir on it
#   scripts/run.sh DIRECTORY DESTINATION    a preview of snipdir-fit on it
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
snipdir_setup run
cmake --preset run >/dev/null
cmake --build --preset run -j"$(nproc)" --target snipdir snipdir-preview snipdir-undo \
  snipdir-fit >/dev/null
bin="$PWD/build/run"
program="$bin/snipdir"
where() {
  echo
  echo "The programs are in $bin (put it on PATH to type their names alone)."
  echo "The manual: man -l $bin/doc/snipdir.1 and man -l $bin/doc/snipdir-fit.1"
}

if [ $# -gt 0 ]; then
  quoted=$(printf '%q' "$1")
  destinations=" windows onedrive sharepoint dropbox linux ecryptfs joliet macos "
  if [ $# -ge 2 ] && [[ "$destinations" == *" $2 "* ]]; then
    echo "$ snipdir-fit --preview $quoted $2"
    status=0
    "$bin/snipdir-fit" --preview "$1" "$2" || status=$?
    echo
    echo "Nothing was renamed. To do it, keeping the report to undo it:"
    echo "  $bin/snipdir-fit $quoted $2 > fit.report"
    echo "  (undo: $bin/snipdir-undo $quoted fit.report, or $bin/snipdir-undo --last $quoted)"
  else
    echo "$ snipdir-preview $*"
    status=0
    "$bin/snipdir-preview" "$@" || status=$?
    echo
    echo "Nothing was renamed. To do it, keeping the report to undo it:"
    echo "  $bin/snipdir $quoted${2:+ $2} > snipdir.report"
    echo "  (undo: $bin/snipdir-undo $quoted snipdir.report)"
    echo "A whole tree for where it is going: scripts/run.sh $quoted onedrive (or windows, linux, ...)"
  fi
  where
  exit "$status"
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
where
