#!/usr/bin/env bash
# The desktop entry and the AppStream metainfo validate cleanly and agree with each other and with
# the project's version.
# Usage: desktop_test.sh DESKTOP_ENTRY METAINFO VERSION
set -euo pipefail
# shellcheck source=tests/packaging/common.sh
source "$(dirname "$0")/common.sh"
desktop=$1 metainfo=$2 version=$3
need_tools desktop-file-validate appstreamcli

report=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate $desktop: $report"
[ -z "$report" ] || fail "desktop-file-validate $desktop is not clean: $report"

report=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli validate $metainfo: $report"
# Clean: no error, warning or info, only pedantic remarks.
if grep -E '^[EWI]: ' <<< "$report"; then
  fail "appstreamcli validate $metainfo is not clean"
fi

launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo")
[ "$launchable" = "$(basename "$desktop")" ] ||
  fail "the metainfo launches '$launchable', the desktop entry is $(basename "$desktop")"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"
first_release=$(sed -n 's:.*<release version="\([^"]*\)".*:\1:p' "$metainfo" | head -n 1)
[ "$first_release" = "$version" ] || fail "the newest release of the metainfo is $first_release, not $version"
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
grep -q "<binary>$exec_name</binary>" "$metainfo" || fail "the metainfo does not provide $exec_name"
grep -q "<binary>pagewash-cli</binary>" "$metainfo" || fail "the metainfo does not provide pagewash-cli"
echo "desktop entry and metainfo: clean"
