#!/usr/bin/env bash
# scripts/bleach-library.sh on a folder of 10 PDFs to bleach, one without JPEG images, one bleached
# before and one encrypted, with two local job slots: the first run is stopped (SIGINT to its process
# group, as Ctrl-C does) once 5 jobs have finished, the same command is run again and once more.
# A pagewash-cli placed first on PATH records every job and how it ended, so "run again" is seen, not
# guessed. Checks: the second run resumes, running every job that did not succeed before the stop and
# none that did; in the end every PDF to bleach has exactly one output passing qpdf --check; the
# encrypted PDF is reported as refused with the log's path; earlier outputs are never inputs; a third
# run leaves out every PDF whose output is newer.
# Usage: library_test.sh BLEACH_LIBRARY_SCRIPT PAGEWASH_CLI TEST_DATA_DIR
set -euo pipefail
# shellcheck source=tests/packaging/common.sh
source "$(dirname "$0")/common.sh"
script=$1 cli=$2 data=$3
need_tools parallel qpdf
[ -x "$cli" ] || fail "$cli is not built"

lib=$scratch/library
mkdir -p "$lib/shelf one/deeper" "$lib/b"
books=("a 01.pdf" a02.pdf a03.pdf "shelf one/b 04.pdf" "shelf one/b05.pdf" "shelf one/deeper/c06.pdf"
       b/d07.pdf b/d08.pdf b/D09.PDF z10.pdf)
for book in "${books[@]}"; do cp "$data/pikepdf_congress.pdf" "$lib/$book"; done
cp "$data/opf_veraPDFHiRes.pdf" "$lib/a00-plain.pdf"         # no JFIF image: passed over
cp "$data/pikepdf_congress.pdf" "$lib/done.pdf"              # bleached before: left out
cp "$data/pikepdf_congress-gray.pdf" "$lib/done_edit.pdf"
touch -d '1 hour ago' "$lib/done.pdf"
qpdf --encrypt user owner 256 -- "$data/pikepdf_congress.pdf" "$lib/locked.pdf"  # refused
done_stamp=$(stat -c '%i %y' "$lib/done_edit.pdf")

mkdir "$scratch/bin"
cat > "$scratch/bin/pagewash-cli" <<'WRAPPER'
#!/usr/bin/env bash
# Records "RUN start FILE" and, unless killed, "RUN STATUS FILE", then ends as pagewash-cli did.
set -uo pipefail
file=${!#}
printf '%s\tstart\t%s\n' "$PAGEWASH_TEST_RUN" "${file#./}" >> "$PAGEWASH_TEST_RECORD"
sleep "$PAGEWASH_TEST_DELAY"
"$PAGEWASH_TEST_CLI" "$@"
status=$?
printf '%s\t%s\t%s\n' "$PAGEWASH_TEST_RUN" "$status" "${file#./}" >> "$PAGEWASH_TEST_RECORD"
exit "$status"
WRAPPER
chmod +x "$scratch/bin/pagewash-cli"
record=$scratch/record
export PATH="$scratch/bin:$PATH" PAGEWASH_TEST_RECORD=$record PAGEWASH_TEST_CLI=$cli
: > "$record"
joblog=$lib/pagewash-bleach.joblog
bleach() {  # RUN DELAY: the same command each time
  PAGEWASH_TEST_RUN=$1 PAGEWASH_TEST_DELAY=$2 bash "$script" -S : -j 2 "$lib" --quality 50
}
ran() {  # RUN: the files started in that run
  awk -F'\t' -v run="$1" '$1 == run && $2 == "start" { print $3 }' "$record" | LC_ALL=C sort
}
succeeded() {  # RUN
  awk -F'\t' -v run="$1" '$1 == run && $2 == "0" { print $3 }' "$record" | LC_ALL=C sort
}

# Run 1, stopped once 5 jobs have finished. Job control gives it its own process group that takes
# SIGINT like a terminal's foreground job.
set -m
bleach 1 0.4 >"$scratch/run1.log" 2>&1 &
pid=$!
set +m
for ((i = 0; i < 600; i++)); do
  [ -f "$joblog" ] && [ "$(tail -n +2 "$joblog" | wc -l)" -ge 5 ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.05
done
kill -INT -- "-$pid" 2>/dev/null || true
status=0
wait "$pid" || status=$?
[ "$status" -ne 0 ] || fail "the stopped run ended with status 0: $(cat "$scratch/run1.log")"
grep -q "stopped; the same command again resumes" "$scratch/run1.log" ||
  fail "the stopped run does not say how to resume: $(cat "$scratch/run1.log")"
done_before=$(succeeded 1)
count=$(grep -c . <<< "$done_before" || true)
# Not counting the PDF without images, 5..9 of the 10 books: the stop came half way.
if [ "$count" -lt 5 ] || [ "$count" -gt 10 ]; then fail "$count jobs succeeded before the stop: $done_before"; fi
grep -qx a00-plain.pdf <<< "$done_before" || fail "a00-plain.pdf (the second job) had not succeeded before the stop"
[ -n "$(comm -23 <(printf '%s\n' "${books[@]}" | LC_ALL=C sort) <(echo "$done_before"))" ] ||
  fail "every book was bleached before the stop: stopped too late"
declare -A stamp_before=()
while IFS= read -r book; do
  output=$lib/${book%.*}_edit.pdf
  [ "$book" = a00-plain.pdf ] && continue
  [ -f "$output" ] || fail "$book succeeded before the stop but has no output"
  stamp_before[$book]=$(stat -c '%i %y' "$output")
done <<< "$done_before"

# Run 2: the same command resumes.
status=0
bleach 2 0 >"$scratch/run2.log" 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "the second run (one PDF refused) ended with $status: $(cat "$scratch/run2.log")"
grep -q "resuming" "$scratch/run2.log" || fail "the second run did not resume: $(cat "$scratch/run2.log")"
again=$(comm -12 <(echo "$done_before") <(ran 2))
[ -z "$again" ] || fail "run again after succeeding before the stop: $again"
expected=$(comm -23 <(printf '%s\n' "${books[@]}" locked.pdf | LC_ALL=C sort) <(echo "$done_before"))
[ "$(ran 2)" = "$expected" ] ||
  fail "the second run ran: $(ran 2 | xargs); expected what had not succeeded: $(echo "$expected" | xargs)"
for book in "${!stamp_before[@]}"; do
  [ "$(stat -c '%i %y' "$lib/${book%.*}_edit.pdf")" = "${stamp_before[$book]}" ] ||
    fail "the output of $book was written again"
done
grep -qF "10 bleached, 2 passed over (1 already bleached, 1 without JPEG images), 1 refused" "$scratch/run2.log" ||
  fail "the summary: $(cat "$scratch/run2.log")"
grep -qF "refused: ./locked.pdf" "$scratch/run2.log" || fail "the refused PDF is not named: $(cat "$scratch/run2.log")"
grep -qF "log: $joblog" "$scratch/run2.log" || fail "the log's path is not given: $(cat "$scratch/run2.log")"

# Every book has exactly one output, which passes qpdf --check; nothing else was written.
for book in "${books[@]}"; do
  output=$lib/${book%.*}_edit.pdf
  [ -f "$output" ] || fail "$book has no output"
  qpdf --check "$output" >"$scratch/qpdf.log" 2>&1 || fail "qpdf --check ${output#"$lib/"}: $(cat "$scratch/qpdf.log")"
done
outputs=$(cd "$lib" && find . -iname '*_edit*' | LC_ALL=C sort)
expected=$( (printf './%s\n' "${books[@]%.*}" | sed 's/$/_edit.pdf/'; echo ./done_edit.pdf) | LC_ALL=C sort)
[ "$outputs" = "$expected" ] || fail "the outputs are: $(echo "$outputs" | xargs)"
[ "$(stat -c '%i %y' "$lib/done_edit.pdf")" = "$done_stamp" ] || fail "done.pdf, bleached before, was bleached again"
! grep -q "_edit" <(ran 1; ran 2) || fail "an earlier output was bleached: $(grep _edit "$record")"

# Run 3: the run before ended, so this one starts afresh and leaves out every PDF with a newer output.
status=0
bleach 3 0 >"$scratch/run3.log" 2>&1 || status=$?
[ "$(ran 3)" = "$(printf '%s\n' a00-plain.pdf locked.pdf)" ] ||
  fail "the third run ran $(ran 3 | xargs); expected only the PDFs without output"
grep -qF "0 bleached, 12 passed over (11 already bleached, 1 without JPEG images), 1 refused" "$scratch/run3.log" ||
  fail "the third summary: $(cat "$scratch/run3.log")"
echo "library: stopped after $count jobs, resumed, $(ran 2 | wc -l) run again; $(wc -l < "$record") records"
