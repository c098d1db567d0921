# shellcheck shell=bash
# Shared by the packaging tests (sourced): failing with a message, the tools a test needs, a
# throwaway folder.

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

need_tools() {  # TOOL...: fails naming the first one missing
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup.sh --with-tests installs it)"
  done
}

scratch=$(mktemp -d "${TMPDIR:-/tmp}/pagewash-test.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
