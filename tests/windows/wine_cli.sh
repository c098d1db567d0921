#!/usr/bin/env bash
# pagewash-cli.exe under Wine, run as the command-line tests run pagewash-cli (PAGEWASH_CLI_UNDER_TEST):
# the same arguments, the test's temporary folder (TMPDIR) as Windows' TMP and TEMP, standard output and
# error written to files as the tests give them, with Windows' CR LF line ends made LF.
# PAGEWASH_WINDOWS_CLI names the .exe.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$root/build/windows/wineprefix}" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8
# Wine takes TEMP and TMP from WINETEMP and WINETMP (scripts/test-windows.sh removes the prefix's own
# values); left in TMPDIR, Wine would keep its server's socket there and start a server per folder.
if [ -n "${TMPDIR:-}" ]; then
  WINETEMP="Z:$(readlink -f "$TMPDIR" | tr / '\\')"
  export WINETEMP WINETMP="$WINETEMP"
  unset TMPDIR
fi
captured=$(mktemp -d /tmp/pagewash-wine-cli.XXXXXX)
trap 'rm -rf "$captured"' EXIT
wine "${PAGEWASH_WINDOWS_CLI:?}" "$@" >"$captured/out" 2>"$captured/err"
status=$?
tr -d '\r' <"$captured/out"
tr -d '\r' <"$captured/err" >&2
exit $status
