#!/usr/bin/env bash
# Whether --bilevel keeps text legible: whole A4 pages of the text of tests/data/bilevel_flood.txt (three
# times, 390 words) set in 11-point Times with Ghostscript at 150, 300 and 600 dpi, made gray-lit and
# yellowed, each with a shadow over its left quarter and noise, stored as JPEG (quality 75) by img2pdf at
# the page's resolution. Each PDF is bleached by default and with --bilevel; each output is rendered with
# pdftoppm at the image's own resolution (one pixel for one) and read by Tesseract (eng) at that
# resolution; a word counts when the text holds it (each at most as often as there).
# Prints, per page, the bytes of the input, default and --bilevel PDFs and the correct words of each.
# Takes a few minutes (Tesseract on six A4 pages twice).
#
# Usage: bench/bilevel_legibility.sh [path/to/pagewash-cli]   (default: build/release/cli/pagewash-cli)
set -euo pipefail
cd "$(dirname "$0")/.."
cli="$(realpath "${1:-build/release/cli/pagewash-cli}")"
[ -x "$cli" ] || { echo "pagewash-cli not found; build it first or pass its path" >&2; exit 2; }
for tool in gs convert img2pdf pdftoppm tesseract python3; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done
truth="$(realpath tests/data/bilevel_flood.txt)"
work="$(mktemp -d "${TMPDIR:-/tmp}/pagewash-legibility-XXXXXX")"
trap 'rm -rf "$work"' EXIT
cd "$work"

python3 - "$truth" > a4.ps <<'PY'
import sys
lines = open(sys.argv[1]).read().splitlines()
print("%!PS\n<< /PageSize [595 842] >> setpagedevice\n/Times-Roman findfont 11 scalefont setfont")
y = 780
for copy in range(3):
    for line in lines:
        print("72 %d moveto (%s) show" % (y, line))
        y -= 15
    y -= 20
print("showpage")
PY
correct() {  # correct FILE.txt: the words of FILE that the text holds, three times over
  python3 - "$truth" "$1" <<'PY'
import collections, re, sys
words = lambda text: collections.Counter(re.findall("[a-z]+", text.lower()))
truth = {w: 3 * c for w, c in words(open(sys.argv[1]).read()).items()}
print(sum(min(c, truth.get(w, 0)) for w, c in words(open(sys.argv[2]).read()).items()))
PY
}

printf '%-16s %10s %10s %10s %8s %8s\n' page 'input' 'default' 'bilevel' 'words' 'words'
echo '                     (bytes of the PDFs)                 (read: default, bilevel)'
for dpi in 150 300 600; do
  gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pnggray -dTextAlphaBits=4 -r"$dpi" -o "text$dpi.png" a4.ps
  size=$(identify -format '%wx%h!' "text$dpi.png")
  blur=$(awk "BEGIN { print 0.35 * $dpi / 150 }")
  shadow() {  # shadow DARKEST: a shadow over the left quarter, as large as the page
    echo "( -size 100x100 gradient:$1-white -rotate 90 -flop -size 300x100 xc:white +append -resize $size )"
  }
  # shellcheck disable=SC2046
  convert "text$dpi.png" -blur "0x$blur" +level 10%,88% $(shadow gray55) -compose multiply -composite \
          -attenuate 0.25 +noise Gaussian -density "$dpi" -units PixelsPerInch -quality 75 "gray$dpi.jpg"
  # shellcheck disable=SC2046
  convert "text$dpi.png" -blur "0x$blur" -colorspace sRGB -type TrueColor \
          +level-colors 'rgb(45,35,25)','rgb(238,224,180)' $(shadow gray40) -compose multiply -composite \
          -attenuate 0.25 +noise Gaussian -type TrueColor -density "$dpi" -units PixelsPerInch -quality 75 \
          "yellowed$dpi.jpg"
  for kind in gray yellowed; do
    name="$kind$dpi"
    img2pdf "$name.jpg" -o "$name.pdf"
    "$cli" -q "$name.pdf" && mv "${name}_edit.pdf" "$name.default.pdf"
    "$cli" -q --bilevel "$name.pdf" && mv "${name}_edit.pdf" "$name.bilevel.pdf"
    words=()
    for output in default bilevel; do
      pdftoppm -gray -png -r "$dpi" -singlefile "$name.$output.pdf" "$name.$output"
      OMP_THREAD_LIMIT=1 tesseract "$name.$output.png" "$name.$output" --dpi "$dpi" >/dev/null 2>&1
      words+=("$(correct "$name.$output.txt")")
    done
    printf '%-16s %10d %10d %10d %8s %8s\n' "$kind $dpi dpi" "$(stat -c %s "$name.pdf")" \
           "$(stat -c %s "$name.default.pdf")" "$(stat -c %s "$name.bilevel.pdf")" "${words[0]}" "${words[1]}"
  done
done
