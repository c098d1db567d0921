#!/usr/bin/env bash
# The man page built from pagewash-cli --help names every option of the help, carries the version,
# renders without warnings, and says nothing about the machine it was built on.
# Usage: man_page_test.sh PAGEWASH_CLI MAN_PAGE
set -euo pipefail
# shellcheck source=tests/packaging/common.sh
source "$(dirname "$0")/common.sh"
cli=$1 page=$2
need_tools man gzip
[ -f "$page" ] || fail "$page was not built"
[ -f "$page.gz" ] || fail "$page.gz was not built"
cmp -s "$page" <(gzip -dc "$page.gz") || fail "$page.gz is not $page compressed"

version=$("$cli" --version)
grep -q "^\.TH PAGEWASH-CLI \"1\" .*\"pagewash-cli $version\"" "$page" ||
  fail "the title line of $page does not carry section 1 and version $version: $(grep '^\.TH' "$page")"

text=$(MANWIDTH=100 LC_ALL=C.UTF-8 man --warnings=all -l "$page" 2>"$scratch/warnings")
[ ! -s "$scratch/warnings" ] || fail "man warns about $page: $(cat "$scratch/warnings")"
options=$("$cli" --help | grep -oE '^ +-[-A-Za-z0-9,]+' | tr -d ' ' | tr , '\n')
[ "$(wc -l <<< "$options")" -ge 10 ] || fail "too few options read from --help: $options"
while IFS= read -r option; do
  grep -qE -- "(^|[ ,])$option( |,|$)" <<< "$text" || fail "the man page does not name $option"
done <<< "$options"
for section in NAME SYNOPSIS DESCRIPTION "EXIT STATUS" EXAMPLES "SEE ALSO"; do
  grep -q "^$section" <<< "$text" || fail "the man page has no $section section"
done
! grep -qE '[0-9]+ here\)' <<< "$text" || fail "the man page names the building machine's thread count"
echo "man page: $(wc -l <<< "$options") options, version $version"
