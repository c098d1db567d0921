#!/usr/bin/env bash
# Times pagewash-cli on a 20-page PDF of A4 colour pages at 300 dpi (2480 x 3508, the photographed book page
# of tests/data, JFIF quality 85, assembled by img2pdf) against
#   1. the codec floor: pdfimages -j, djpeg | cjpeg -grayscale -quality 40 -baseline per page (two pages
#      at a time), img2pdf;
#   2. the pipeline a user would otherwise script: pdfimages -j, ImageMagick
#      convert -colorspace Gray -level 5%,85% -quality 40 per page (two at a time), img2pdf.
# Prints pages per second for each, the ratios, and pagewash-cli's peak memory against the file size.
# Goals: pagewash-cli <= 1.1 x the floor's time, >= 7 x faster than ImageMagick, peak memory under the
# file size + 200 MB.
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

# Each contender runs `repeat` times (default 3; the best wall time counts, which keeps other load on the
# machine out of the ratios). CPU seconds (user + system, children included) are reported beside it.
repeat="${PAGEWASH_BENCH_REPEAT:-3}"
export work cli
best_wall=""; best_cpu=""; peak_kb=0
measure() {  # measure NAME COMMAND: runs COMMAND (a bash snippet) and keeps its best time
  local name=$1 command=$2 wall cpu rss
  best_wall=""; best_cpu=""; peak_kb=0
  for ((r = 0; r < repeat; r++)); do
    rm -rf "$work/$name" && mkdir "$work/$name"
    /usr/bin/time -f '%e %U %S %M' -o "$work/time.txt" bash -c "$command"
    read -r wall user sys rss < "$work/time.txt"
    cpu=$(calc "$user + $sys")
    if [ -z "$best_wall" ] || awk "BEGIN { exit !($wall < $best_wall) }"; then best_wall=$wall; best_cpu=$cpu; fi
    if [ "$rss" -gt "$peak_kb" ]; then peak_kb=$rss; fi
  done
}

# ---- 1. pagewash-cli, default settings; peak memory of the process from /usr/bin/time
measure cli '"$cli" -q "$work/book.pdf"'
cli_s=$best_wall; cli_cpu=$best_cpu; cli_peak_kb=$peak_kb
[ -s "$work/book_edit.pdf" ] || { echo "pagewash-cli wrote no output" >&2; exit 1; }

# ---- 2. the codec floor
measure floor 'pdfimages -j "$work/book.pdf" "$work/floor/p" &&
  ls "$work/floor"/p-*.jpg | xargs -P 2 -I{} sh -c '"'"'djpeg "$1" | cjpeg -grayscale -quality 40 -baseline > "$1.out.jpg"'"'"' _ {} &&
  img2pdf "$work/floor"/p-*.out.jpg -o "$work/floor/out.pdf"'
floor_s=$best_wall; floor_cpu=$best_cpu

# ---- 3. the ImageMagick pipeline
measure magick 'pdfimages -j "$work/book.pdf" "$work/magick/p" &&
  ls "$work/magick"/p-*.jpg | xargs -P 2 -I{} convert {} -colorspace Gray -level 5%,85% -quality 40 {}.out.jpg &&
  img2pdf "$work/magick"/p-*.out.jpg -o "$work/magick/out.pdf"'
magick_s=$best_wall; magick_cpu=$best_cpu

rate() { awk "BEGIN { printf \"%.2f\", $pages / $1 }"; }
printf 'input: %d pages of 2480 x 3508, %.1f MB; %s hardware threads; best of %d runs\n' "$pages" \
       "$(calc "$size / 1048576")" "$(nproc)" "$repeat"
printf '%-22s %8.2f s wall  %7s pages/s  %8.2f s CPU\n' "pagewash-cli" "$cli_s" "$(rate "$cli_s")" "$cli_cpu"
printf '%-22s %8.2f s wall  %7s pages/s  %8.2f s CPU\n' "codec floor" "$floor_s" "$(rate "$floor_s")" "$floor_cpu"
printf '%-22s %8.2f s wall  %7s pages/s  %8.2f s CPU\n' "ImageMagick pipeline" "$magick_s" "$(rate "$magick_s")" "$magick_cpu"
printf 'pagewash-cli / floor:        %.2f x   (goal <= 1.10)\n' "$(calc "$cli_s / $floor_s")"
printf 'ImageMagick / pagewash-cli:  %.2f x   (goal >= 7)\n' "$(calc "$magick_s / $cli_s")"
printf 'peak memory: %.1f MB; file + 200 MB = %.1f MB\n' "$(calc "$cli_peak_kb / 1024")" \
       "$(calc "$size / 1048576 + 200")"
