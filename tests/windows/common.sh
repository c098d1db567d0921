# Shared by the Windows checks: Wine in the Windows build's prefix, Windows paths, a scratch folder.
# Sourced; the caller has `set -euo pipefail`.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$root/build/windows/wineprefix}" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Wine reads the arguments in the locale's encoding: UTF-8, whatever the caller's locale.
export LC_ALL=C.UTF-8
work=$(mktemp -d /tmp/pagewash-windows.XXXXXX)
trap 'chattr -R -i "$work" 2>/dev/null || true; rm -rf "$work"' EXIT

# windows_path PATH: the name Windows programs under Wine give a Linux path (drive Z: is /).
windows_path() { local path; path=$(readlink -f "$1"); echo "Z:${path//\//\\}"; }
