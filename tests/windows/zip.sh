#!/usr/bin/env bash
# The Windows zip as a user gets it: unpacked, it holds the README in both languages with Windows line
# ends, the licence of every library linked in, and programs that run from its folder alone and write
# the built pagewash-cli.exe's bytes.
# Usage: tests/windows/zip.sh ZIP BUILT_PAGEWASH_CLI_EXE
set -euo pipefail
zip_file=$(readlink -f "$1")
built=$(readlink -f "$2")
source "$(dirname "$0")/common.sh"
failed=0
fail() { echo "   FAILED zip: $*"; failed=$((failed + 1)); }

(cd "$work" && unzip -q "$zip_file")
folder=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'pagewash-*')
[ -n "$folder" ] || { echo "   FAILED zip: no pagewash-VERSION folder"; exit 1; }
grep -q 'コマンドプロンプト' "$folder/README.txt" || fail "README.txt has no Japanese part"
grep -q 'In PowerShell' "$folder/README.txt" || fail "README.txt has no English part"
[ "$(grep -c $'\r$' "$folder/README.txt")" = "$(wc -l <"$folder/README.txt")" ] || fail "README.txt is not CR LF"
for licence in zlib libpng1.6 libjpeg-turbo highway tiff libcli11-dev nlohmann-json3-dev gcc-mingw-w64-base \
               mingw-w64-common; do
  [ -s "$folder/licenses/$licence.txt" ] || fail "no licence text of $licence"
done

cp "$root/tests/data/pikepdf_congress.pdf" "$work/shipped.pdf"
cp "$root/tests/data/pikepdf_congress.pdf" "$work/built.pdf"
(cd "$work" && wine "$folder/pagewash-cli.exe" -q shipped.pdf && wine "$built" -q built.pdf) ||
  fail "the shipped pagewash-cli.exe did not run"
cmp -s "$work/shipped_edit.pdf" "$work/built_edit.pdf" || fail "the shipped pagewash-cli.exe writes other bytes"
echo "== Zip $(basename "$zip_file"): $(stat -c %s "$zip_file") bytes, $failed failures"
[ "$failed" -eq 0 ]
