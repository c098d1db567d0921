#!/usr/bin/env bash
# Writes build/package/pagewash-VERSION-setup-x64.exe, the Windows installer of
# packaging/windows/pagewash.nsi, from the Windows build of scripts/test-windows.sh
# (build/windows/release): pagewash.exe and pagewash-cli.exe without their debugging symbols, and the
# licence texts of scripts/windows-licences.sh.
# Usage: scripts/installer-windows.sh   (after scripts/test-windows.sh, or at least its build)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-packages.sh installer-windows.sh nsis

out=build/windows/release
cmake --build "$out" --target pagewash pagewash-cli >/dev/null
version=$(sed -n 's/^project(Pagewash VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
stage=build/windows/installer
rm -rf "$stage"
mkdir -p "$stage/licenses" build/package
x86_64-w64-mingw32-strip -o "$stage/pagewash.exe" "$out/ui/windows/pagewash.exe"
x86_64-w64-mingw32-strip -o "$stage/pagewash-cli.exe" "$out/cli/pagewash-cli.exe"
cp ui/windows/pagewash.ico "$stage/"
bash scripts/windows-licences.sh "$stage/licenses"

installer="build/package/pagewash-$version-setup-x64.exe"
makensis -V2 -DVERSION="$version" -DSTAGE="$PWD/$stage" -DOUTFILE="$PWD/$installer" packaging/windows/pagewash.nsi
echo "$installer: $(stat -c %s "$installer") bytes"
