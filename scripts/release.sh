#!/usr/bin/env bash
# Builds the release of the last commit from a clean tree, into dist/:
#   snipdir_VERSION_amd64.deb             Debian package (CPack)
#   snipdir-VERSION-linux-x86_64.tar.gz   the same files under one folder
#   snipdir-VERSION-win32.zip             the Windows programs and documents
#   SHA256SUMS
# Reproducible: every timestamp is the last commit's, so two runs of the
# same commit give the same bytes.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
snipdir_setup release

if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "release.sh: note: uncommitted changes are not released; building $(git rev-parse --short HEAD)" >&2
fi
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C.UTF-8
umask 022

work=$PWD/build/release
rm -rf "$work" dist
mkdir -p "$work/src" "$work/stage" dist
git archive HEAD | tar -x -C "$work/src"
version=$(sed -n 's/^project(snipdir VERSION \([0-9.]*\).*/\1/p' "$work/src/CMakeLists.txt")

for preset in native win32; do
  (cd "$work/src" &&
    cmake --preset "$preset" -DSNIPDIR_TESTS=OFF >/dev/null &&
    cmake --build --preset "$preset" -j"$(nproc)" >/dev/null)
done

native=$work/src/build/native
(cd "$native" && cpack -G DEB >/dev/null)
cp "$native"/snipdir_"$version"_*.deb dist/

linux=snipdir-$version-linux-$(uname -m)
cmake --install "$native" --prefix "$work/stage/$linux" --strip >/dev/null
python3 scripts/archive.py "$work/stage/$linux" "dist/$linux.tar.gz"

windows=snipdir-$version-win32
cmake --install "$work/src/build/win32" --prefix "$work/stage/$windows" --strip >/dev/null
python3 scripts/archive.py "$work/stage/$windows" "dist/$windows.zip"

(cd dist && sha256sum -- *.deb *.tar.gz *.zip >SHA256SUMS)
echo "dist/:"
cat dist/SHA256SUMS
