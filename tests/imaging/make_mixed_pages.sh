#!/usr/bin/env bash
# make_mixed_pages.sh DIR [DPI [PAGE...]]: A4 pages (at 300 dpi unless DPI says otherwise) that are
# neither plain text nor photographs, as scanned (a slight blur, noise, JPEG quality 75), each also as a
# one-page PDF made by img2pdf (all of them, or the PAGEs named):
#   stamp.jpg    body text with a red rubber stamp pressed over it
#   bluepen.jpg  body text with notes, underlines and a circle in blue pen
#   tinted.jpg   body text on tinted paper with a darker tinted panel holding a coloured heading
#   figure.jpg   body text beside a line figure (axes, a curve, labels)
# and, for the photo measure, text.jpg (plain text), halftone.jpg (a screened photo beside text) and
# photo.jpg (a continuous-tone picture filling the page). Needs Ghostscript, ImageMagick and img2pdf.
# The elements' places, in points from the page's top left corner (595 x 842), for the tests:
# the stamp's square 348..492 x 210..354, the blue notes 430..560 x 50..340, the heading 80..300 x 52..75.
set -euo pipefail
out=${1:?usage: make_mixed_pages.sh DIR [DPI [PAGE...]]}
dpi=${2:-300}
shift $(($# < 2 ? $# : 2))
pages=("$@")
[ ${#pages[@]} -gt 0 ] || pages=(text stamp bluepen tinted figure halftone photo)
here=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p "$out"
cd "$out"

# The page's text: the flood prose of tests/data, repeated down the left column or the whole width.
body() {  # body X0 Y0 LINES
    local x=$1 y=$2 n=$3 i=0
    echo "/Times-Roman findfont 11 scalefont setfont 0 setgray"
    while [ $i -lt "$n" ]; do
        while IFS= read -r line && [ $i -lt "$n" ]; do
            echo "$x $y moveto ($line) show"
            y=$((y - 14)); i=$((i + 1))
        done < "$here/tests/data/bilevel_flood.txt"
    done
}
wanted() { [[ " ${pages[*]} " == *" $1 "* ]]; }
page() {  # page NAME EXTRA_POSTSCRIPT...
    local name=$1; shift
    wanted "$name" || return 0
    { echo "%!PS"; echo "<< /PageSize [595 842] >> setpagedevice"; printf '%s\n' "$@"; echo showpage; } > "$name.ps"
    gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=png16m -dTextAlphaBits=4 -dGraphicsAlphaBits=4 -r"$dpi" \
        -o "$name.png" "$name.ps"
}
scan() {  # scan NAME [PAPER]: blur, paper tint, noise, JPEG
    local paper=${2:-rgb(246,244,238)}
    wanted "$1" || return 0
    convert "$1.png" -blur "0x$(echo "0.7 * $dpi / 300" | bc -l)" +level-colors "rgb(25,22,20),$paper" -seed 3 -attenuate 0.3 +noise Gaussian \
        -density "$dpi" -units PixelsPerInch -quality 75 "$1.jpg"
    rm -f "$1.png" "$1.ps"
}

page text "$(body 72 780 52)"
scan text

page stamp "$(body 72 780 52)" \
    "gsave 420 560 translate 18 rotate 0.82 0.1 0.12 setrgbcolor 4 setlinewidth newpath 0 0 62 0 360 arc stroke" \
    "2 setlinewidth newpath 0 0 54 0 360 arc stroke /Helvetica-Bold findfont 17 scalefont setfont" \
    "-47 -6 moveto (RECEIVED) show /Helvetica-Bold findfont 9 scalefont setfont -30 -24 moveto (12 MAR 1998) show grestore"
scan stamp

page bluepen "$(body 72 780 52)" \
    "0.1 0.2 0.75 setrgbcolor 1.6 setlinewidth 1 setlinecap" \
    "72 763 moveto 300 761 lineto stroke 90 608 moveto 330 606 lineto stroke" \
    "gsave 470 700 translate 1 0.6 scale newpath 0 0 48 0 360 arc stroke grestore" \
    "/Times-Italic findfont 15 scalefont setfont" \
    "gsave 440 760 translate 8 rotate 0 0 moveto (check this!) show grestore" \
    "gsave 445 520 translate -6 rotate 0 0 moveto (see p. 14) show 0 -18 moveto (- ask John) show grestore"
scan bluepen

page tinted "$(body 72 560 36)" \
    "0.80 0.86 0.93 setrgbcolor 60 600 475 200 rectfill" \
    "0.05 0.25 0.55 setrgbcolor /Helvetica-Bold findfont 20 scalefont setfont 80 770 moveto (Notice to residents) show" \
    "0 setgray /Times-Roman findfont 11 scalefont setfont" \
    "80 740 moveto (The lower fields flooded overnight; the mill road is closed until further notice.) show" \
    "80 724 moveto (Cattle are to be moved to the hill pastures by Thursday evening at the latest.) show" \
    "80 708 moveto (Sandbags are handed out at the town hall from eight in the morning.) show"
scan tinted "rgb(240,232,205)"

page figure "$(body 72 780 52 | sed 's/^72 /72 /')" \
    "gsave 1 1 1 setrgbcolor 330 380 235 260 rectfill grestore" \
    "0 setgray 1.2 setlinewidth 350 420 moveto 550 420 lineto stroke 350 420 moveto 350 620 lineto stroke" \
    "0.6 setlinewidth 350 420 moveto 370 470 390 500 410 520 curveto 450 560 500 590 550 600 curveto stroke" \
    "0 1 9 { 20 mul 350 add dup 420 moveto 416 lineto stroke } for" \
    "newpath 450 520 25 0 360 arc stroke 400 450 moveto 500 560 lineto stroke" \
    "/Helvetica findfont 9 scalefont setfont 430 400 moveto (Fig. 3: water level) show 340 625 moveto (m) show"
scan figure

page halftone "$(body 72 780 26)" "$(body 72 380 26)"
if wanted halftone; then
    # A screened photo over the middle of the page (as printed books hold them).
    convert -seed 11 -size $((1500 * dpi / 300))x$((1100 * dpi / 300)) plasma:gray30-white -blur 0x6 \
        -colorspace Gray -ordered-dither h6x6a -colorspace sRGB halftone_plate.png
    convert halftone.png halftone_plate.png -geometry +$((800 * dpi / 300))+$((1150 * dpi / 300)) -composite \
        halftone.png
    rm halftone_plate.png
fi
scan halftone

if wanted photo; then
    convert -seed 5 -size $((2480 * dpi / 300))x$((3508 * dpi / 300)) plasma:tan-steelblue -blur 0x4 photo.png
fi
scan photo

for f in "${pages[@]}"; do img2pdf -o "$f.pdf" "$f.jpg"; done
