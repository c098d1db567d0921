#!/usr/bin/env bash
# Builds the Debian package pagewash_<version>_<arch>.deb: a release build of the programs and the man
# page in build/package (or BUILD_DIR), then CPack. The package lands in that folder; its path is printed.
# Usage: scripts/package.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

build_dir=${1:-build/package}
for tool in cmake cpack dpkg-deb dpkg-shlibdeps help2man; do
  command -v "$tool" >/dev/null || { echo "package.sh: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
done

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPAGEWASH_SANITIZE=OFF \
      -DPAGEWASH_BUILD_TESTS=OFF -DPAGEWASH_BUILD_BENCH=OFF >/dev/null
cmake --build "$build_dir" -j "$(nproc)"
rm -f "$build_dir"/pagewash_*.deb
(cd "$build_dir" && cpack -G DEB >/dev/null)

deb=$(find "$build_dir" -maxdepth 1 -name 'pagewash_*.deb' -print -quit)
[ -n "$deb" ] || { echo "package.sh: cpack wrote no package" >&2; exit 1; }
echo "$deb"
dpkg-deb --field "$deb" Package Version Architecture Depends
