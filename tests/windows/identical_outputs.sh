#!/usr/bin/env bash
# Every PDF of tests/data bleached by the Windows build under Wine and by the Linux build, at the defaults
# and three other settings (the last codes text pages in Group 4 with libtiff), must give the same bytes
# and the same exit status: the Windows port changes how files are named, never what is written. Prints
# files x settings and the number of differences.
# Usage: tests/windows/identical_outputs.sh LINUX_CLI WINDOWS_CLI_EXE
set -euo pipefail
linux=$(readlink -f "$1")
windows=$(readlink -f "$2")
source "$(dirname "$0")/common.sh"

settings=(""
          "--blur median --blur-strength 5 --color-mode manual --color-black 10 --color-white 80 --gray-mode manual --gray-black 10 --gray-white 80"
          "--optimize --progressive"
          "--bilevel")
mapfile -t inputs < <(find "$root/tests/data" -maxdepth 1 -name '*.pdf' | sort)
differences=0
compared=0
for setting in "${settings[@]}"; do
  read -ra options <<<"$setting"
  for side in linux windows; do
    rm -rf "${work:?}/$side"
    mkdir "$work/$side"
    cp "${inputs[@]}" "$work/$side/"
  done
  # One run per build and setting, every file named in it, as a user bleaches a folder.
  linux_status=0
  "$linux" -q "${options[@]}" "$work"/linux/*.pdf >/dev/null 2>&1 || linux_status=$?
  windows_files=()
  for input in "$work"/windows/*.pdf; do windows_files+=("$(windows_path "$input")"); done
  windows_status=0
  wine "$windows" -q "${options[@]}" "${windows_files[@]}" >/dev/null 2>"$work/windows.err" || windows_status=$?
  if [ "$linux_status" != "$windows_status" ]; then
    echo "   [${setting:-defaults}]: exit status $windows_status on Windows, $linux_status on Linux:"
    tr -d '\r' <"$work/windows.err" | head -5 | sed 's/^/     /'
    differences=$((differences + 1))
  fi
  for input in "${inputs[@]}"; do
    output="$(basename "${input%.pdf}")_edit.pdf"
    if [ -e "$work/linux/$output" ] || [ -e "$work/windows/$output" ]; then
      compared=$((compared + 1))
      if ! cmp -s "$work/linux/$output" "$work/windows/$output"; then
        echo "   [${setting:-defaults}]: $output differs"
        differences=$((differences + 1))
      fi
    fi
  done
done
echo "== Byte-identical outputs: ${#inputs[@]} files x ${#settings[@]} settings ($compared outputs written)," \
     "$differences differences"
[ "$differences" -eq 0 ] && [ "$compared" -gt 0 ]
