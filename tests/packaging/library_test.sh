#!/usr/bin/env bash
# scripts/bleach-library.sh on a folder of 10 PDFs to bleach, one without JPEG images, one that is not a
# PDF, one bleached before and one encrypted, with two local job slots. A bad option is refused once,
# before any job. The first run is stopped (SIGINT to its process group, as Ctrl-C does) once 5 jobs have
# finished; the second resumes it and is stopped by SIGTERM to the script's own process once one more
# job has finished; the third resumes to the end, and a fourth starts afresh.
# A pagewash-cli placed first on PATH records every job and how it ended, so "run again" is seen, not
# guessed. Checks: each stopped run ends promptly, leaving jobs unstarted; each resumed run runs every
# job that did not succeed before and none that did; in the end every PDF to bleach has exactly one
# output passing qpdf --check; the encrypted PDF is reported as refused with the log's path; the file
# that is not a PDF is counted as such; earlier outputs are never inputs; the fourth run leaves out every
# PDF whose output is newer. An unwritable library folder is named.
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
echo "not a PDF" > "$lib/notes.pdf"                          # passed over as not a PDF
cp "$data/pikepdf_congress.pdf" "$lib/done.pdf"              # bleached before: left out
cp "$data/pikepdf_congress-gray.pdf" "$lib/done_edit.pdf"
touch -d '1 hour ago' "$lib/done.pdf"
qpdf --encrypt user owner 256 -- "$data/pikepdf_congress.pdf" "$lib/locked.pdf"  # refused
done_stamp=$(stat -c '%i %y' "$lib/done_edit.pdf")

mkdir "$scratch/bin"
cat > "$scratch/bin/pagewash-cli" <<'WRAPPER'
#!/usr/bin/env bash
# Records "RUN start FILE" and, unless killed, "RUN STATUS FILE", then ends as pagewash-cli did; a
# signal after the record is ignored, so a recorded status is the job's status. The check of the options
# is not a job.
set -uo pipefail
[ "$1" = --check-options ] && exec "$PAGEWASH_TEST_CLI" "$@"
file=${!#}
printf '%s\tstart\t%s\n' "$PAGEWASH_TEST_RUN" "${file#./}" >> "$PAGEWASH_TEST_RECORD"
sleep "$PAGEWASH_TEST_DELAY"
"$PAGEWASH_TEST_CLI" "$@"
status=$?
trap '' INT TERM
printf '%s\t%s\t%s\n' "$PAGEWASH_TEST_RUN" "$status" "${file#./}" >> "$PAGEWASH_TEST_RECORD"
exit "$status"
WRAPPER
chmod +x "$scratch/bin/pagewash-cli"
record=$scratch/record
export PATH="$scratch/bin:$PATH" PAGEWASH_TEST_RECORD=$record PAGEWASH_TEST_CLI=$cli
: > "$record"
joblog=$lib/pagewash-bleach.joblog
bleach() {  # RUN DELAY [OPTION]: the same command each time
  PAGEWASH_TEST_RUN=$1 PAGEWASH_TEST_DELAY=$2 bash "$script" -S : -j 2 "$lib" --quality "${3:-50}"
}
logged() {  # the jobs the log holds
  if [ -f "$joblog" ]; then tail -n +2 "$joblog" | wc -l; else echo 0; fi
}
ran() {  # RUN: the files started in that run
  awk -F'\t' -v run="$1" '$1 == run && $2 == "start" { print $3 }' "$record" | LC_ALL=C sort
}
succeeded() {  # RUN
  awk -F'\t' -v run="$1" '$1 == run && $2 == "0" { print $3 }' "$record" | LC_ALL=C sort
}

# A bad option: refused once, before any job, with pagewash-cli's own message.
status=0
bleach 0 0 101 >"$scratch/run0.log" 2>&1 || status=$?
[ "$status" -eq 2 ] || fail "a bad option ended with $status: $(cat "$scratch/run0.log")"
if [ "$(wc -l < "$scratch/run0.log")" -ne 1 ] || ! grep -q "^pagewash-cli: --quality" "$scratch/run0.log"; then
  fail "a bad option is not said once: $(cat "$scratch/run0.log")"
fi
if [ -s "$record" ] || [ -e "$joblog" ]; then fail "a job ran with a bad option"; fi

jobs=("${books[@]}" a00-plain.pdf notes.pdf locked.pdf)
# RUN SIGNAL TARGET LOGGED STATUS: a run with a delay in each job, given SIGNAL once the log holds
# LOGGED jobs, sent to its process group (TARGET "group", as Ctrl-C does) or to the script alone
# ("script"); it must end with STATUS and say how to resume. Job control gives it a process group of
# its own.
stop_run() {
  set -m
  (PAGEWASH_TEST_RUN=$1 PAGEWASH_TEST_DELAY=0.4 exec bash "$script" -S : -j 2 "$lib" --quality 50) \
    >"$scratch/run$1.log" 2>&1 &
  pid=$!
  set +m
  for ((i = 0; i < 600; i++)); do
    [ "$(logged)" -ge "$4" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  if [ "$3" = group ]; then kill -s "$2" -- "-$pid"; else kill -s "$2" "$pid"; fi
  status=0
  wait "$pid" || status=$?
  [ "$status" -eq "$5" ] || fail "run $1, stopped by $2, ended with status $status: $(cat "$scratch/run$1.log")"
  grep -q "stopped; the same command again resumes" "$scratch/run$1.log" ||
    fail "run $1 does not say how to resume: $(cat "$scratch/run$1.log")"
}
declare -A stamp_before=()
keep_stamps() {  # RUN: the outputs of the books that succeeded in it
  local book output
  while IFS= read -r book; do
    output=$lib/${book%.*}_edit.pdf
    [[ "$book" = a00-plain.pdf || "$book" = notes.pdf ]] && continue
    [ -f "$output" ] || fail "$book succeeded in run $1 but has no output"
    stamp_before[$book]=$(stat -c '%i %y' "$output")
  done < <(succeeded "$1")
}
check_resumed() {  # RUN: it ran exactly the jobs that had not succeeded in the runs before
  local again expected
  again=$(comm -12 <(echo "$done_before") <(ran "$1"))
  [ -z "$again" ] || fail "run again after succeeding before the stop: $again"
  expected=$(comm -23 <(printf '%s\n' "${jobs[@]}" | LC_ALL=C sort) <(echo "$done_before"))
  [ "$(ran "$1")" = "$expected" ] || [ "$2" = stopped ] ||
    fail "run $1 ran: $(ran "$1" | xargs); expected what had not succeeded: $(echo "$expected" | xargs)"
  grep -q "resuming" "$scratch/run$1.log" || fail "run $1 did not resume: $(cat "$scratch/run$1.log")"
}

# Run 1, stopped by Ctrl-C once 5 jobs have finished.
stop_run 1 INT group 5 130
done_before=$(succeeded 1)
count=$(grep -c . <<< "$done_before" || true)
# Not counting the PDF without images, 5..9 of the 10 books: the stop came half way.
if [ "$count" -lt 5 ] || [ "$count" -gt 11 ]; then fail "$count jobs succeeded before the stop: $done_before"; fi
grep -qx a00-plain.pdf <<< "$done_before" || fail "a00-plain.pdf (the second job) had not succeeded before the stop"
[ -n "$(comm -23 <(printf '%s\n' "${books[@]}" | LC_ALL=C sort) <(echo "$done_before"))" ] ||
  fail "every book was bleached before the stop: stopped too late"
keep_stamps 1

# Run 2 resumes, and SIGTERM to the script alone stops it once one more job has finished: the jobs get
# it too, and no new job starts.
stop_run 2 TERM script $(($(logged) + 1)) 143
check_resumed 2 stopped
[ "$(ran 2 | wc -l)" -lt "$((${#jobs[@]} - count))" ] ||
  fail "SIGTERM did not stop the run: every job ran ($(ran 2 | xargs))"
done_before=$( (succeeded 1; succeeded 2) | LC_ALL=C sort)
keep_stamps 2

# Run 3: the same command resumes to the end.
status=0
bleach 3 0 >"$scratch/run3.log" 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "the third run (one PDF refused) ended with $status: $(cat "$scratch/run3.log")"
check_resumed 3 ended
for book in "${!stamp_before[@]}"; do
  [ "$(stat -c '%i %y' "$lib/${book%.*}_edit.pdf")" = "${stamp_before[$book]}" ] ||
    fail "the output of $book was written again"
done
grep -qF "10 bleached, 3 passed over (1 already bleached, 1 without JPEG images, 1 not PDF), 1 refused" \
  "$scratch/run3.log" || fail "the summary: $(cat "$scratch/run3.log")"
grep -qF "refused: ./locked.pdf" "$scratch/run3.log" || fail "the refused PDF is not named: $(cat "$scratch/run3.log")"
grep -qF "log: $joblog" "$scratch/run3.log" || fail "the log's path is not given: $(cat "$scratch/run3.log")"

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
! grep -q "_edit" <(ran 1; ran 2; ran 3) || fail "an earlier output was bleached: $(grep _edit "$record")"

# Run 4: the run before ended, so this one starts afresh and leaves out every PDF with a newer output.
status=0
bleach 4 0 >"$scratch/run4.log" 2>&1 || status=$?
[ "$(ran 4)" = "$(printf '%s\n' a00-plain.pdf locked.pdf notes.pdf)" ] ||
  fail "the fourth run ran $(ran 4 | xargs); expected only the PDFs without output"
grep -qF "0 bleached, 13 passed over (11 already bleached, 1 without JPEG images, 1 not PDF), 1 refused" \
  "$scratch/run4.log" || fail "the fourth summary: $(cat "$scratch/run4.log")"

# A library folder where nothing can be written (read-only for root, whom permissions do not stop).
if [ "$(id -u)" -eq 0 ]; then
  # shellcheck disable=SC2016  # expanded by sh
  unwritable=(unshare -m sh -c 'mount --bind -o ro "$1" "$1" && shift && exec "$@"' sh "$lib" bash "$script" "$lib")
else
  chmod a-w "$lib"
  unwritable=(bash "$script" "$lib")
fi
status=0
PAGEWASH_TEST_RUN=5 PAGEWASH_TEST_DELAY=0 "${unwritable[@]}" >"$scratch/run5.log" 2>&1 || status=$?
chmod u+w "$lib"
told="bleach-library.sh: cannot write in $lib: the job log and the outputs go there"
if [ "$status" -ne 2 ] || [ "$(cat "$scratch/run5.log")" != "$told" ]; then
  fail "an unwritable library folder ended with $status: $(cat "$scratch/run5.log")"
fi
echo "library: stopped after $count and $(succeeded 2 | wc -l) more jobs, resumed, $(ran 3 | wc -l) run at last; $(wc -l < "$record") records"
