#!/usr/bin/env bash
# Writes the licence texts of everything linked into the Windows programs into DEST, one NAME.txt per
# component with CR LF line ends, and ALL-LICENSES.txt with all of them: the libraries built from
# Debian's source packages (build/windows/src, scripts/windows-deps.sh), the header-only libraries of
# the command line, and the GCC and MinGW-w64 runtimes that static linking puts into every .exe; with
# each the common licence texts (GPL, LGPL, Apache) that Debian's copyright files name by their path.
# Usage: scripts/windows-licences.sh DEST
set -euo pipefail
cd "$(dirname "$0")/.."
dest=$1
mkdir -p "$dest"

texts=()
for copyright in build/windows/src/*/*/debian/copyright; do
  package=$(basename "$(dirname "$(dirname "$copyright")")")
  [ "${package%%-[0-9]*}" = benchmark ] && continue  # linked into pagewash-bench alone, which is not shipped
  texts+=("${package%%-[0-9]*}:$copyright")
done
for doc in libcli11-dev nlohmann-json3-dev gcc-mingw-w64-base mingw-w64-common; do
  texts+=("$doc:/usr/share/doc/$doc/copyright")
done
[ ${#texts[@]} -gt 4 ] || { echo "windows-licences: no library sources in build/windows/src" >&2; exit 1; }

all="$dest/ALL-LICENSES.txt"
: >"$all"
for entry in "${texts[@]}"; do
  name=${entry%%:*}
  file=${entry#*:}
  # Debian's copyright files name the common licences by their path on Debian: the texts go along.
  { cat "$file"
    for common in $(grep -o '/usr/share/common-licenses/[A-Za-z0-9.+-]*' "$file" | sort -u); do
      if [ -f "$common" ]; then printf '\n---- %s ----\n\n' "$(basename "$common")"; cat "$common"; fi
    done
  } | sed 's/$/\r/' >"$dest/$name.txt"
  { printf '==== %s ====\r\n\r\n' "$name"; cat "$dest/$name.txt"; printf '\r\n'; } >>"$all"
done
