#!/usr/bin/env bash
# The Windows build under Wine against the Linux build on the files a Windows user has: a Japanese name,
# a name outside the Japanese code page (Chinese, an emoji), a read-only output folder, a link planted at
# the output's name. Both builds run in the input's folder with the same relative names, so their
# messages, exit statuses and outputs must be the same (Windows ends its lines with CR LF).
# Usage: tests/windows/file_behaviour.sh LINUX_CLI WINDOWS_CLI_EXE
set -euo pipefail
linux=$(readlink -f "$1")
windows=$(readlink -f "$2")
source "$(dirname "$0")/common.sh"
source_pdf="$root/tests/data/pikepdf_congress.pdf"
passed=0
failed=0

check() {
  if [ "$2" = "$3" ]; then passed=$((passed + 1)); else
    failed=$((failed + 1))
    printf '   FAILED %s:\n     Linux:   %s\n     Windows: %s\n' "$1" "$2" "$3"
  fi
}

# bleach_both CASE NAME PREPARE: makes a folder per build with NAME, runs PREPARE in each (with the
# folder as its argument), bleaches NAME there and compares the messages, exit statuses and folders.
bleach_both() {
  local case="$1" name="$2" prepare="$3" side status
  for side in linux windows; do
    mkdir -p "$work/$case/$side"
    cp "$source_pdf" "$work/$case/$side/$name"
    "$prepare" "$work/$case/$side" $side
    status=0
    if [ $side = linux ]; then
      (cd "$work/$case/$side" && ${linux_as_user:-} "$linux" "$name" >"../$side.out" 2>"../$side.err") ||
        status=$?
    else
      (cd "$work/$case/$side" && wine "$windows" "$name" >"../$side.out" 2>"../$side.err") || status=$?
    fi
    echo "$status" >"$work/$case/$side.status"
    chattr -R -i "$work/$case/$side" 2>/dev/null || true
  done
  check "$case: exit status" "$(cat "$work/$case/linux.status")" "$(cat "$work/$case/windows.status")"
  check "$case: messages" "$(cat "$work/$case/linux.err")" "$(tr -d '\r' <"$work/$case/windows.err")"
  check "$case: files" "$(cd "$work/$case/linux" && ls -l --time-style=+ | md5sum_names)" \
        "$(cd "$work/$case/windows" && ls -l --time-style=+ | md5sum_names)"
}
# The names, types and bytes of a folder's files (the listing of ls -l on its standard input names them).
md5sum_names() {
  awk 'NR > 1 { print substr($1, 1, 1), $NF }' | while read -r type name; do
    echo "$type $name $([ "$type" = - ] && md5sum <"$name" | cut -c1-32)"
  done
}

nothing() { :; }
# A folder whose permissions refuse new files: on Linux for a user who is not root; under Wine, which runs
# as root here, an immutable folder, which Wine reports as Windows reports a folder whose access list
# refuses writing.
read_only() {
  if [ "$2" = linux ]; then chmod 555 "$1"; else chattr +i "$1"; fi
}
# A link at the output's name to a file of the user's that must stay as it is.
planted_link() {
  echo "the user's file" >"$1/precious.txt"
  ln -s precious.txt "$1/book_edit.pdf"
}

bleach_both japanese '日本語の本.pdf' nothing
bleach_both outside-cp932 '中文书籍🙂.pdf' nothing
if [ "$(id -u)" != 0 ]; then
  echo "   read-only folder: skipped, Wine needs root here to make an immutable folder"
elif ! { chattr +i "$work" 2>/dev/null && chattr -i "$work"; }; then
  echo "   read-only folder: skipped, this file system has no immutable folders (chattr +i)"
else
  chmod 755 "$work"
  linux_as_user="setpriv --reuid=nobody --regid=nogroup --clear-groups" \
    bleach_both read-only-folder 'book.pdf' read_only
fi
bleach_both planted-link 'book.pdf' planted_link
check "planted-link: the linked file" "the user's file" "$(cat "$work/planted-link/windows/precious.txt")"

echo "== File names and folders under Wine: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
