#!/usr/bin/env bash
# Installs the Debian packages named that are not installed yet; does nothing when all are there.
# Usage: scripts/install-packages.sh WHO PACKAGE...   (WHO names the caller in the one line it prints)
# Run as root, or as a user with sudo.
set -euo pipefail
who=$1
shift
missing=()
for pkg in "$@"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "$who: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
