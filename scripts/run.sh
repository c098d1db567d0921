#!/usr/bin/env bash
# Builds Pagewash (installing what is missing) and runs it.
#   scripts/run.sh              opens the dialog; without a display, bleaches the bundled sample
#   scripts/run.sh FILE.pdf...  bleaches the given files with pagewash-cli (FILE_edit.pdf beside each)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release --target pagewash pagewash-cli

if [ $# -gt 0 ]; then
  exec build/release/cli/pagewash-cli "$@"
fi
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build/release/ui/pagewash
fi
echo "No display: bleaching the bundled sample with pagewash-cli instead of opening the dialog."
mkdir -p build/sample
cp samples/scanned-sample.pdf build/sample/
build/release/cli/pagewash-cli build/sample/scanned-sample.pdf
echo "Written: build/sample/scanned-sample_edit.pdf"
