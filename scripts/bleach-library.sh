#!/usr/bin/env bash
# Bleaches every PDF under a folder with pagewash-cli over GNU parallel, one job per PDF, on this
# machine or on several.
#
#   scripts/bleach-library.sh [-S HOSTS] [-j JOBS] DIR [pagewash-cli options]
#
#   -S HOSTS  machines for GNU parallel's --sshlogin, e.g. ":,8/alice@server1,server2" (":" is this
#             machine, "8/" eight job slots there). A remote machine gets each PDF copied over and the
#             output copied back, so it needs only Pagewash installed (pagewash-cli on its PATH).
#   -j JOBS   job slots on each machine (default: one per CPU thread)
#
# Left out: NAME_edit.pdf files (earlier outputs) and PDFs whose NAME_edit.pdf is already newer than
# them. Each pagewash-cli gets "--jobs 1 -q" unless the options say otherwise. The job log is
# DIR/pagewash-bleach.joblog; when a run was stopped before every PDF had its turn, the same command
# again resumes it: only the PDFs that failed or never ran are bleached (GNU parallel --resume-failed
# over the saved list of the stopped run, DIR/.pagewash-bleach.files). A run that ended starts afresh.
#
# The pagewash-cli options are checked once (pagewash-cli --check-options) before any job. SIGINT and
# SIGTERM stop the run promptly: no job is started any more, the running ones get the signal, and GNU
# parallel logs how each ended, so that the next run resumes exactly the jobs that did not succeed.
#
# Runs the pagewash-cli on PATH (the installed one), else build/release/cli/pagewash-cli.
# Exit status: 0 when every PDF was bleached or passed over, 1 when some were refused or did not run,
# 2 for a usage error, 128 + the signal when stopped.
set -euo pipefail

me=bleach-library.sh
usage() {
  echo "usage: $me [-S HOSTS] [-j JOBS] DIR [pagewash-cli options]"
}
fail() {
  echo "$me: $*" >&2
  exit 2
}

hosts=""
slots=""
while getopts ":S:j:h" opt; do
  case "$opt" in
    S) hosts=$OPTARG ;;
    j) slots=$OPTARG ;;
    h) usage; exit 0 ;;
    :) usage >&2; fail "-$OPTARG needs a value" ;;
    *) usage >&2; fail "unknown option -$OPTARG" ;;
  esac
done
shift $((OPTIND - 1))
[ $# -ge 1 ] || { usage >&2; exit 2; }
dir=$1
shift
[ -d "$dir" ] || fail "$dir is not a folder"
if [ -n "$slots" ] && ! [[ "$slots" =~ ^[1-9][0-9]*$ ]]; then
  fail "-j wants a number of job slots, not $slots"
fi

command -v parallel >/dev/null || fail "GNU parallel is missing (Debian package parallel)"
parallel --version 2>/dev/null | grep -q "GNU parallel" ||
  fail "the parallel on PATH is not GNU parallel (Debian package parallel, not moreutils)"

root=$(cd "$(dirname "$0")/.." && pwd)
remote=0  # 1 when HOSTS names a machine other than this one (":", "N/:")
IFS=, read -r -a host_list <<< "$hosts"
for host in "${host_list[@]}"; do
  [ "${host#*/}" = ":" ] || remote=1
done
if [ "$remote" -eq 1 ]; then
  command -v rsync >/dev/null || fail "rsync is missing: GNU parallel copies the PDFs with it (Debian package rsync, here and on each machine)"
fi
if command -v pagewash-cli >/dev/null; then
  cli=pagewash-cli  # resolved on each machine: the installed one
elif [ -x "$root/build/release/cli/pagewash-cli" ]; then
  cli=$root/build/release/cli/pagewash-cli
  [ "$remote" -eq 0 ] ||
    fail "pagewash-cli is not installed here; remote machines need the installed pagewash-cli"
else
  fail "pagewash-cli is neither on PATH nor built in $root/build/release (install the package)"
fi

options=("$@")
# A bad option fails here once, with pagewash-cli's own message, rather than in every job.
"$cli" --check-options "${options[@]}" || exit 2
has_option() {
  local option
  for option in "${options[@]}"; do
    [[ "$option" == "$1" || "$option" == "$1="* ]] && return 0
  done
  return 1
}
has_option --jobs || options=(--jobs 1 "${options[@]}")
has_option -q || has_option --quiet || options=(-q "${options[@]}")

cd "$dir"
dir=$(pwd)
# The job log and the list of the run are kept in DIR, and the outputs are written beside the PDFs.
probe=$(mktemp "$dir/.pagewash-bleach.XXXXXX" 2>/dev/null) ||
  fail "cannot write in $dir: the job log and the outputs go there"
rm -f "$probe"
joblog=$dir/pagewash-bleach.joblog
list=$dir/.pagewash-bleach.files
stamp=$dir/.pagewash-bleach.command
command_text=$(printf '%q ' "$cli" "${options[@]}")

output_of() {  # what pagewash-cli writes for a PDF: NAME_edit.pdf
  printf '%s_edit.pdf' "${1%.*}"
}

# The PDFs of the library, earlier outputs left out, in a stable order.
all=()
while IFS= read -r -d '' pdf; do
  all+=("$pdf")
done < <(find . -type f -iname '*.pdf' ! -iname '*_edit.pdf' -print0 | LC_ALL=C sort -z)

# Final status of each job of the log: "seq exit signal", the last line of a job counting.
job_statuses() {
  [ -f "$joblog" ] || return 0
  awk -F'\t' 'NR > 1 && $1 ~ /^[0-9]+$/ { exitval[$1] = $7; sig[$1] = $8 }
              END { for (s in exitval) print s, exitval[s], sig[s] }' "$joblog"
}

# Resume when the saved run is of the same command and some of its PDFs never had their turn (or
# were killed); parallel --resume-failed identifies the jobs by their numbers, so the saved list is
# used unchanged.
resume=0
if [ -f "$list" ] && [ -f "$joblog" ] && [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$command_text" ]; then
  jobs_listed=$(tr -cd '\0' < "$list" | wc -c)
  jobs_done=$(job_statuses | awk '$3 == 0 && $2 >= 0' | wc -l)
  [ "$jobs_done" -lt "$jobs_listed" ] && resume=1
fi
if [ "$resume" -eq 0 ]; then
  todo=()
  for pdf in "${all[@]}"; do
    output=$(output_of "$pdf")
    [ -f "$output" ] && [ "$output" -nt "$pdf" ] && continue
    todo+=("$pdf")
  done
  if [ ${#todo[@]} -gt 0 ]; then printf '%s\0' "${todo[@]}"; fi > "$list.new"
  mv "$list.new" "$list"
  printf '%s' "$command_text" > "$stamp"
  rm -f "$joblog"
  echo "$me: ${#todo[@]} of ${#all[@]} PDFs to bleach in $dir" >&2
else
  echo "$me: resuming the stopped run in $dir ($jobs_done of $jobs_listed done)" >&2
fi

listed=()
while IFS= read -r -d '' pdf; do
  listed+=("$pdf")
done < "$list"

parallel_pid=""
# SIGNAL NUMBER: GNU parallel, on SIGINT or SIGTERM, kills its jobs and exits without logging the jobs
# that had ended but were not yet reaped, so a job that succeeded would run again on resuming. Instead
# it gets SIGHUP (no new job; it waits for the running ones and logs each), and the running jobs get
# the signal themselves, as often as parallel starts one after the SIGHUP.
stopped() {
  trap '' INT TERM
  if [ -n "$parallel_pid" ]; then
    kill -HUP "$parallel_pid" 2>/dev/null || true
    declare -A signalled=()
    while kill -0 "$parallel_pid" 2>/dev/null; do
      for job in $(pgrep -P "$parallel_pid" || true); do
        [ -z "${signalled[$job]:-}" ] || continue
        signalled[$job]=1
        # Each job is a process group of its own (parallel makes it so).
        kill -s "$1" -- "-$job" 2>/dev/null || kill -s "$1" "$job" 2>/dev/null || true
      done
      sleep 0.05
    done
    wait "$parallel_pid" 2>/dev/null || true
  fi
  echo "$me: stopped; the same command again resumes the run (log: $joblog)" >&2
  exit $((128 + $2))
}
trap 'stopped INT 2' INT
trap 'stopped TERM 15' TERM

if [ ${#listed[@]} -gt 0 ]; then
  run=(parallel --quote -0 --arg-file "$list" --joblog "$joblog")
  [ "$resume" -eq 1 ] && run+=(--resume-failed)
  [ -n "$slots" ] && run+=(--jobs "$slots")
  [ -n "$hosts" ] && run+=(--sshlogin "$hosts")
  # Job control puts parallel in a process group of its own: a Ctrl-C reaches this script only, which
  # stops the jobs as above. Not in the terminal's foreground, no job may read it (parallel hands its
  # input to the first job), so the input is /dev/null. The job log says what failed.
  set -m
  if [ "$remote" -eq 0 ]; then
    "${run[@]}" "$cli" "${options[@]}" {} </dev/null &
  else
    # A remote job runs in a fresh folder there (--workdir ...) with the PDF copied in and its output
    # copied back; a job on this machine (":") runs in such a folder too but finds nothing copied
    # there, so it bleaches the PDF in DIR where it is.
    run+=(--workdir ... --transferfile {} --return '{.}_edit.pdf' --cleanup)
    # shellcheck disable=SC2016  # expanded by the shell of each job
    "${run[@]}" sh -c 'pdf=$1; [ -f "$pdf" ] || pdf=$2/$1; shift 2; exec "$@" "$pdf"' sh {} "$dir" \
      "$cli" "${options[@]}" </dev/null &
  fi
  parallel_pid=$!
  set +m
  wait "$parallel_pid" || true
fi
trap - INT TERM

# The summary, over the whole library.
declare -A status=()
while read -r seq exitval signal; do
  status[$seq]="$exitval $signal"
done < <(job_statuses)
declare -A in_list=()
bleached=0 passed=0 not_pdf=0 up_to_date=0 refused=() not_run=()
for i in "${!listed[@]}"; do
  pdf=${listed[$i]}
  in_list[$pdf]=1
  result=${status[$((i + 1))]:-}
  if [ -z "$result" ]; then
    not_run+=("$pdf")
  elif [ "$result" = "0 0" ]; then
    output=$(output_of "$pdf")
    if [ -f "$output" ] && [ "$output" -nt "$pdf" ]; then
      bleached=$((bleached + 1))
    elif [ "$(head -c 4 "$pdf" 2>/dev/null)" != "%PDF" ]; then
      not_pdf=$((not_pdf + 1))  # pagewash-cli's own test: the first four bytes
    else
      passed=$((passed + 1))  # no JFIF JPEG image in it
    fi
  else
    refused+=("$pdf")
  fi
done
for pdf in "${all[@]}"; do
  [ -n "${in_list[$pdf]:-}" ] || up_to_date=$((up_to_date + 1))
done

not_pdf_text=""
[ "$not_pdf" -eq 0 ] || not_pdf_text=", $not_pdf not PDF"
echo "$me: $bleached bleached, $((passed + not_pdf + up_to_date)) passed over ($up_to_date already bleached," \
     "$passed without JPEG images$not_pdf_text), ${#refused[@]} refused" >&2
if [ ${#refused[@]} -gt 0 ]; then
  printf '  refused: %s\n' "${refused[@]}" >&2
  echo "  log: $joblog" >&2
fi
if [ ${#not_run[@]} -gt 0 ]; then
  echo "  ${#not_run[@]} not run; the same command again resumes (log: $joblog)" >&2
fi
[ ${#refused[@]} -eq 0 ] && [ ${#not_run[@]} -eq 0 ]
