#!/usr/bin/env bash
# The Windows installer under Wine. A silent install for the current user with pagewash-cli on the PATH
# puts the programs, the licences, the Start-menu entry "Pagewash", the "Apps & features" entry and the
# PATH entry in place, without administrator rights; the installed pagewash-cli.exe bleaches a PDF to
# the bytes the built one writes; the silent uninstall takes all of it away: the prefix's files (its
# temporary folder aside) and the user's PATH are as they were before.
# Usage: tests/windows/installer.sh SETUP.exe BUILT_CLI.exe   (WINEPREFIX set, a Wine server running)
set -euo pipefail
cd "$(dirname "$0")/../.."
setup=$1
built_cli=$2
fail() { echo "installer: $*" >&2; exit 1; }
windows_variable() { winepath -u "$(wine cmd /c "echo %$1%" | tr -d '\r')"; }
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pagewash'
user_path() { wine reg query 'HKCU\Environment' /v Path 2>/dev/null | tr -d '\r' | grep -i ' Path ' || true; }
prefix_files() {
  find "$WINEPREFIX/drive_c" \( -path '*/Temp' -o -path '*/temp' \) -prune -o -print | sort
}

home=$(windows_variable LOCALAPPDATA)
programs="$home/Programs/Pagewash"
shortcut="$(windows_variable APPDATA)/Microsoft/Windows/Start Menu/Programs/Pagewash.lnk"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix_files >"$work/files-before"
path_before=$(user_path)

wine "$setup" /S /AddToPath || fail "the silent install failed ($?)"
for file in pagewash.exe pagewash-cli.exe uninstall.exe licenses/ALL-LICENSES.txt licenses/libjpeg-turbo.txt; do
  [ -f "$programs/$file" ] || fail "not installed: $file"
done
[ -f "$shortcut" ] || fail "no Start-menu entry: $shortcut"
wine reg query "$uninstall_key" /v UninstallString | grep -q 'uninstall.exe' ||
  fail "no uninstaller in Apps & features"
user_path | grep -qi 'Programs\\Pagewash' || fail "pagewash-cli's folder is not on the user's PATH: $(user_path)"

mkdir "$work/installed" "$work/built"
cp tests/data/samplefiles_imagemagick-images.pdf "$work/installed/"
cp tests/data/samplefiles_imagemagick-images.pdf "$work/built/"
wine "$programs/pagewash-cli.exe" "$(winepath -w "$work/installed/samplefiles_imagemagick-images.pdf")" >/dev/null
wine "$built_cli" "$(winepath -w "$work/built/samplefiles_imagemagick-images.pdf")" >/dev/null
cmp "$work/installed/samplefiles_imagemagick-images_edit.pdf" "$work/built/samplefiles_imagemagick-images_edit.pdf" ||
  fail "the installed pagewash-cli.exe writes other bytes than the built one"

# The uninstaller runs from a copy of itself in the temporary folder and returns at once.
wine "$programs/uninstall.exe" /S
for _ in $(seq 100); do
  [ -e "$programs" ] || break
  sleep 0.3
done
[ ! -e "$programs" ] || fail "the uninstall left $programs"
! wine reg query "$uninstall_key" >/dev/null 2>&1 || fail "the uninstall left its Apps & features entry"
[ "$(user_path)" = "$path_before" ] || fail "the user's PATH is not as before: '$(user_path)', was '$path_before'"
prefix_files >"$work/files-after"
diff "$work/files-before" "$work/files-after" >&2 || fail "the uninstall left files behind or took others away"
echo "installer: $(stat -c %s "$setup") bytes; installed, bleached and uninstalled without a trace"
