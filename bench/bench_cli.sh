#!/usr/bin/env bash
# Times pagewash-cli on a 20-page PDF of A4 colour pages at 300 dpi (2480 x 3508, the photographed book page
# of tests/data, JFIF quality 85, assembled by img2pdf) against
#   1. the codec limit: the work no bleach can avoid, each page decoded once and its gray image encoded
#      once, on both cores: two lanes of 10 pages, each page `djpeg` of the page then
#      `cjpeg -quality 40` of its gray image (made once by `djpeg -grayscale`), outputs to /dev/null;
#   2. the codec floor of a script: pdfimages -j, djpeg | cjpeg -grayscale -quality 40 -baseline per page
#      (two pages at a time), img2pdf;
#   3. the pipeline a user would otherwise script: pdfimages -j, ImageMagick
#      convert -colorspace Gray -level 5%,85% -quality 40 per page (two at a time), img2pdf.
# pagewash-cli and the codec limit run in turn, 5 rounds (PAGEWASH_BENCH_ROUNDS), and the fastest wall time
# of each counts; the others run 3 times (PAGEWASH_BENCH_REPEAT). The load average is printed beside them:
# on a busy machine the ratios wander. Prints pages per second, the ratios, and pagewash-cli's peak memory
# against the file size.
# Goals: pagewash-cli <= 1.10 x the codec limit, >= 7 x faster than ImageMagick, peak memory about the
# file size + 40 MB. pagewash-cli --bilevel runs in the same rounds: its output at most a third of the
# default output's size, in at most 1.2 x the default run's time. pagewash-cli --mrc too: its size beside
# the default's, in at most 2 x the default run's time.
#
# Usage: bench/bench_cli.sh [path/to/pagewash-cli]   (default: build/release/cli/pagewash-cli, then build/cli/)
set -euo pipefail
cd "$(dirname "$0")/.."

cli="${1:-}"
if [ -z "$cli" ]; then
  for candidate in build/release/cli/pagewash-cli build/cli/pagewash-cli; do
    [ -x "$candidate" ] && cli="$candidate" && break
  done
fi
[ -n "$cli" ] && [ -x "$cli" ] || { echo "pagewash-cli not found; build it first or pass its path" >&2; exit 2; }
cli="$(realpath "$cli")"
for tool in img2pdf pdfimages djpeg cjpeg convert /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done

pages=20
work="$(mktemp -d "${TMPDIR:-/tmp}/pagewash-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT

# ---- the input: one photographed book page scaled to A4 at 300 dpi, 20 times
convert tests/data/pagedewarp_linguistics_thesis_a_900.jpg -resize '2480x3508!' -strip \
        -quality 85 "jpeg:$work/page.jpg"
args=()
for ((i = 0; i < pages; i++)); do args+=("$work/page.jpg"); done
img2pdf "${args[@]}" -o "$work/book.pdf"
size=$(stat -c %s "$work/book.pdf")
cat "$work/book.pdf" > /dev/null  # in the page cache for every contender

calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }
load() { cut -d ' ' -f 1 /proc/loadavg; }
load_before=$(load)

# The best wall time of each contender counts, which keeps other load on the machine out of the ratios.
# CPU seconds (user + system, children included) are reported beside it. PAGEWASH_BENCH_REPEAT=0 leaves
# out the script floor and ImageMagick.
repeat="${PAGEWASH_BENCH_REPEAT:-3}"
export work cli
declare -A best_wall best_cpu peak_kb
run_once() {  # run_once NAME COMMAND: runs COMMAND (a bash snippet) once and keeps its best time under NAME
  local name=$1 command=$2 start end wall user sys rss
  rm -rf "${work:?}/$name" && mkdir "$work/$name"
  start=$(date +%s.%N)
  /usr/bin/time -f '%U %S %M' -o "$work/time.txt" bash -c "$command"
  end=$(date +%s.%N)
  read -r user sys rss < "$work/time.txt"
  wall=$(calc "$end - $start")
  if [ -z "${best_wall[$name]:-}" ] || awk "BEGIN { exit !($wall < ${best_wall[$name]}) }"; then
    best_wall[$name]=$wall; best_cpu[$name]=$(calc "$user + $sys")
  fi
  if [ "$rss" -gt "${peak_kb[$name]:-0}" ]; then peak_kb[$name]=$rss; fi
}
measure() {  # measure NAME COMMAND: `repeat` runs of COMMAND
  for ((r = 0; r < repeat; r++)); do run_once "$@"; done
}

# ---- 1. pagewash-cli, default settings (peak memory of the process from /usr/bin/time), and the codec
# limit, in turn
djpeg -grayscale "$work/page.jpg" > "$work/gray.pgm"
export lane_pages=$((pages / 2))
lanes() {  # lanes JPEG PGM: the limit's two lanes over the given page and gray image
  echo 'for lane in 1 2; do
    (for ((i = 0; i < lane_pages; i++)); do
       djpeg -outfile /dev/null "$work/'"$1"'" && cjpeg -quality 40 -outfile /dev/null "$work/'"$2"'"
     done) &
  done
  wait'
}
# The same lanes over an 8 x 8 image: what starting the 40 processes costs, which the limit includes.
convert -size 8x8 xc:white -quality 85 "jpeg:$work/tiny.jpg"
djpeg -grayscale "$work/tiny.jpg" > "$work/tiny.pgm"
rounds="${PAGEWASH_BENCH_ROUNDS:-5}"
for ((round = 0; round < rounds; round++)); do
  run_once cli '"$cli" -q "$work/book.pdf"'
  run_once limit "$(lanes page.jpg gray.pgm)"
  run_once starts "$(lanes tiny.jpg tiny.pgm)"
  # --bilevel on a link to the book, so that its output goes beside it in its own folder
  run_once bilevel 'ln "$work/book.pdf" "$work/bilevel/book.pdf" && "$cli" -q --bilevel "$work/bilevel/book.pdf"'
  run_once mrc 'ln "$work/book.pdf" "$work/mrc/book.pdf" && "$cli" -q --mrc "$work/mrc/book.pdf"'
done
[ -s "$work/book_edit.pdf" ] || { echo "pagewash-cli wrote no output" >&2; exit 1; }
load_after_limit=$(load)

# ---- 2. the codec floor
measure floor 'pdfimages -j "$work/book.pdf" "$work/floor/p" &&
  ls "$work/floor"/p-*.jpg | xargs -P 2 -I{} sh -c '"'"'djpeg "$1" | cjpeg -grayscale -quality 40 -baseline > "$1.out.jpg"'"'"' _ {} &&
  img2pdf "$work/floor"/p-*.out.jpg -o "$work/floor/out.pdf"'


# ---- 3. the ImageMagick pipeline
measure magick 'pdfimages -j "$work/book.pdf" "$work/magick/p" &&
  ls "$work/magick"/p-*.jpg | xargs -P 2 -I{} convert {} -colorspace Gray -level 5%,85% -quality 40 {}.out.jpg &&
  img2pdf "$work/magick"/p-*.out.jpg -o "$work/magick/out.pdf"'


rate() { awk "BEGIN { printf \"%.2f\", $pages / $1 }"; }
line() {  # line LABEL NAME
  printf '%-22s %8.3f s wall  %7s pages/s  %8.2f s CPU\n' "$1" "${best_wall[$2]}" "$(rate "${best_wall[$2]}")" \
         "${best_cpu[$2]}"
}
printf 'input: %d pages of 2480 x 3508, %.1f MB; %s hardware threads; load average %s before, %s after the limit, %s at the end\n' \
       "$pages" "$(calc "$size / 1048576")" "$(nproc)" "$load_before" "$load_after_limit" "$(load)"
printf 'fastest of %d interleaved runs (pagewash-cli, codec limit); best of %d (the others)\n' "$rounds" "$repeat"
line "pagewash-cli" cli
line "codec limit" limit
line "  of it process starts" starts
if [ "$repeat" -gt 0 ]; then
  line "codec floor (script)" floor
  line "ImageMagick pipeline" magick
fi
printf 'pagewash-cli / limit:        %.3f x   (goal <= 1.10)\n' "$(calc "${best_wall[cli]} / ${best_wall[limit]}")"
printf 'pagewash-cli / (limit - process starts): %.3f x\n' \
       "$(calc "${best_wall[cli]} / (${best_wall[limit]} - ${best_wall[starts]})")"
if [ "$repeat" -gt 0 ]; then
  printf 'pagewash-cli / floor:        %.3f x\n' "$(calc "${best_wall[cli]} / ${best_wall[floor]}")"
  printf 'ImageMagick / pagewash-cli:  %.2f x   (goal >= 7)\n' "$(calc "${best_wall[magick]} / ${best_wall[cli]}")"
fi
default_size=$(stat -c %s "$work/book_edit.pdf")
bilevel_size=$(stat -c %s "$work/bilevel/book_edit.pdf")
line "pagewash-cli --bilevel" bilevel
printf -- '--bilevel / default time: %.3f x   (goal <= 1.20)\n' "$(calc "${best_wall[bilevel]} / ${best_wall[cli]}")"
printf -- '--bilevel / default size: %.3f     (goal <= 0.333): %d against %d bytes\n' \
       "$(calc "$bilevel_size / $default_size")" "$bilevel_size" "$default_size"
mrc_size=$(stat -c %s "$work/mrc/book_edit.pdf")
line "pagewash-cli --mrc" mrc
printf -- '--mrc / default time: %.3f x   (goal <= 2)\n' "$(calc "${best_wall[mrc]} / ${best_wall[cli]}")"
printf -- '--mrc / default size: %.3f: %d against %d bytes\n' "$(calc "$mrc_size / $default_size")" "$mrc_size" \
       "$default_size"
printf 'peak memory: %.1f MB; file + 40 MB = %.1f MB\n' "$(calc "${peak_kb[cli]} / 1024")" \
       "$(calc "$size / 1048576 + 40")"
