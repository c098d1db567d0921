#!/usr/bin/env bash
# The bash completion offers exactly the options that pagewash-cli --help names, the values of each
# option whose values the help lists ({a,b,c} or a range [lo - hi]), values (not files) after every
# option that takes one, and PDF files after the others. Runs the completion function itself.
# Usage: completion_test.sh PAGEWASH_CLI COMPLETION_SCRIPT
set -euo pipefail
# shellcheck source=tests/packaging/common.sh
source "$(dirname "$0")/common.sh"
cli=$1 completion=$2
[ -x "$cli" ] || fail "$cli is not built"
[ -f "$completion" ] || fail "$completion is missing"

help=$("$cli" --help)
# shellcheck source=packaging/pagewash-cli.bash-completion
source "$completion"
declare -F _pagewash_cli >/dev/null || fail "$completion defines no _pagewash_cli"
complete -p pagewash-cli >/dev/null 2>&1 || fail "$completion does not register itself for pagewash-cli"

complete_words() {  # WORD...: the completions of the last word of "pagewash-cli WORD...", one a line
  COMP_WORDS=(pagewash-cli "$@")
  COMP_CWORD=$#
  COMPREPLY=()
  _pagewash_cli
  if [ ${#COMPREPLY[@]} -gt 0 ]; then printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort; fi
}

cd "$scratch"
touch book.pdf notes.txt
mkdir shelf

# The option lines of the help: "  -q,--quiet   ...", "  --quality INT:INT in [0 - 100] [40]   ...".
help_options=()
while IFS= read -r line; do
  [[ "$line" =~ ^\ +(-[-A-Za-z0-9,]+)(\ |$) ]] || continue
  IFS=, read -r -a names <<< "${BASH_REMATCH[1]}"
  help_options+=("${names[@]}")
  takes_value=0
  [[ "$line" =~ ^\ +-[-A-Za-z0-9,]+\ [A-Z][A-Z0-9_]*(:|\ |$) ]] && takes_value=1
  for name in "${names[@]}"; do
    reply=$(complete_words "$name" "")
    case "$name" in
      -h | --help | --version)
        [ -z "$reply" ] || fail "after $name nothing is to be completed, got: $reply"
        continue ;;
    esac
    if [ "$takes_value" -eq 0 ]; then
      grep -qx book.pdf <<< "$reply" || fail "after the flag $name a PDF file is expected, got: $reply"
      continue
    fi
    [ -n "$reply" ] || fail "$name takes a value but the completion offers none"
    ! grep -qx book.pdf <<< "$reply" || fail "$name takes a value but the completion offers files"
    if [[ "$line" =~ \{([^}]*)\} ]]; then
      expected=$(tr , '\n' <<< "${BASH_REMATCH[1]}" | LC_ALL=C sort)
      [ "$reply" = "$expected" ] ||
        fail "the values of $name: the help lists $(echo "$expected" | xargs), the completion offers $(echo "$reply" | xargs)"
      [ "$(complete_words "$name" "=" "")" = "$expected" ] || fail "$name=VALUE is not completed"
    elif [[ "$line" =~ in\ \[([0-9]+)\ -\ ([0-9]+)\] ]]; then
      low=${BASH_REMATCH[1]} high=${BASH_REMATCH[2]}
      if ((high - low <= 100)); then  # the whole range
        expected=$(seq "$low" "$high" | LC_ALL=C sort)
        [ "$reply" = "$expected" ] ||
          fail "the values of $name: the help says [$low - $high], the completion offers $(echo "$reply" | xargs)"
      else  # a wide range: a sensible part of it, starting at its lower end
        grep -qx "$low" <<< "$reply" || fail "the values of $name do not include $low: $(echo "$reply" | xargs)"
        while IFS= read -r value; do
          if ! [[ "$value" =~ ^[0-9]+$ ]] || ((value < low || value > high)); then
            fail "$name offers $value, outside [$low - $high]"
          fi
        done <<< "$reply"
      fi
    fi
  done
done <<< "$help"
[ ${#help_options[@]} -ge 10 ] || fail "only ${#help_options[@]} options read from --help: $help"

# Exactly the options of the help, no stale ones.
expected=$(printf '%s\n' "${help_options[@]}" | LC_ALL=C sort)
offered=$(complete_words "-")
[ "$offered" = "$expected" ] ||
  fail "options: --help names $(echo "$expected" | xargs); the completion offers $(echo "$offered" | xargs)"
[ "$(complete_words "--qu")" = "$(printf '%s\n' --quality --quiet)" ] || fail "--qu does not complete to --quality --quiet"

# Files: PDFs and folders, not other files; after "--" no options.
reply=$(complete_words "")
[ "$reply" = "$(printf '%s\n' book.pdf shelf)" ] || fail "the files offered are: $(echo "$reply" | xargs)"
[ -z "$(complete_words -- "-")" ] || fail "options are offered after --"
echo "completion: ${#help_options[@]} options of --help, each with its values"
