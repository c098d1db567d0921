#!/usr/bin/env bash
# Writes build/package/pagewash-VERSION-windows-x64.zip from the Windows build of
# scripts/test-windows.sh (build/windows/release): the programs below without their debugging symbols,
# packaging/windows/README-windows.txt (Japanese and English) and the licence texts of everything linked
# into them (scripts/windows-licences.sh), all in one folder pagewash-VERSION with CR LF text files.
# Usage: scripts/package-windows.sh   (after scripts/test-windows.sh, or at least its build)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-packages.sh package-windows.sh zip

out=build/windows/release
# The programs of the zip: build target, then its .exe in the build folder.
programs=(pagewash-cli cli/pagewash-cli.exe
          pagewash ui/windows/pagewash.exe)
targets=()
for ((i = 0; i < ${#programs[@]}; i += 2)); do targets+=("${programs[i]}"); done
cmake --build "$out" --target "${targets[@]}" >/dev/null

version=$(sed -n 's/^project(Pagewash VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
stage=build/windows/zip
folder="$stage/pagewash-$version"
rm -rf "$stage"
mkdir -p "$folder" build/package
for ((i = 1; i < ${#programs[@]}; i += 2)); do
  x86_64-w64-mingw32-strip -o "$folder/$(basename "${programs[i]}")" "$out/${programs[i]}"
done
sed "s/@VERSION@/$version/; s/\$/\r/" packaging/windows/README-windows.txt >"$folder/README.txt"
bash scripts/windows-licences.sh "$folder/licenses"

zip_file="$PWD/build/package/pagewash-$version-windows-x64.zip"
rm -f "$zip_file"
# Fixed times, so that the same build gives the same zip.
find "$folder" -exec touch -d "@$(git log -1 --format=%ct 2>/dev/null || echo 0)" {} +
(cd "$stage" && zip -qrX "$zip_file" "pagewash-$version")
echo "${zip_file#"$PWD"/}: $(stat -c %s "$zip_file") bytes"
for ((i = 1; i < ${#programs[@]}; i += 2)); do
  name=$(basename "${programs[i]}")
  echo "   $name: $(stat -c %s "$folder/$name") bytes"
done
