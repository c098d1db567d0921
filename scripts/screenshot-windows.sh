#!/usr/bin/env bash
# Writes docs/dialog-windows.png: pagewash.exe of the Windows build (scripts/test-windows.sh) under Wine,
# on a virtual display, in the Japanese font that test-windows.sh makes known to the Wine prefix (IPA P
# Gothic in place of "Yu Gothic UI"). The dialog's client area, as docs/dialog.png shows the Qt one.
# Usage: scripts/screenshot-windows.sh   (after scripts/test-windows.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-packages.sh screenshot-windows.sh xvfb x11-utils imagemagick
program=build/windows/release/ui/windows/pagewash.exe
[ -f "$program" ] || { echo "screenshot-windows: no $program; run scripts/test-windows.sh first" >&2; exit 1; }
export WINEPREFIX="$PWD/build/windows/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

display_file=$(mktemp)
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$display_file" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$display_file" ] && break; sleep 0.1; done
export DISPLAY=":$(head -1 "$display_file")"
rm -f "$display_file"
wine "$program" >/dev/null 2>&1 &
wine_pid=$!
trap 'kill "$wine_pid" 2>/dev/null; wineserver --kill; kill "$xvfb_pid"' EXIT

window=""
for _ in $(seq 100); do
  window=$(xwininfo -root -tree | awk '/"Pagewash": \("pagewash.exe"/ { print $1; exit }')
  [ -n "$window" ] && break
  sleep 0.2
done
[ -n "$window" ] || { echo "screenshot-windows: the dialog did not appear" >&2; exit 1; }
sleep 1  # its first paint
import -window "$window" -strip docs/dialog-windows.png
identify docs/dialog-windows.png
