#!/usr/bin/env bash
# Builds the Debian package from this build tree with CPack and checks it: its name and fields, the
# dependencies found by dpkg-shlibdeps and the ones added, the files it installs, stripped programs
# owned by root; then unpacks it into a throwaway root and bleaches a PDF with the unpacked pagewash-cli.
# Usage: deb_test.sh BUILD_DIR VERSION TEST_PDF
set -euo pipefail
# shellcheck source=tests/packaging/common.sh
source "$(dirname "$0")/common.sh"
build=$1 version=$2 pdf=$3
need_tools cpack dpkg dpkg-deb dpkg-shlibdeps qpdf readelf appstreamcli

arch=$(dpkg --print-architecture)
(cd "$scratch" && cpack -G DEB -B "$scratch/out" --config "$build/CPackConfig.cmake" >"$scratch/cpack.log" 2>&1) ||
  fail "cpack failed: $(cat "$scratch/cpack.log")"
deb=$scratch/out/pagewash_${version}_${arch}.deb
[ -f "$deb" ] || fail "cpack wrote no $(basename "$deb"): $(ls "$scratch/out")"

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = pagewash ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
depends=$(field Depends)
# From dpkg-shlibdeps (the programs link them) and from the list of extra dependencies.
for package in libc6 libstdc++6 libjpeg62-turbo zlib1g libqt6core6 libqt6widgets6 \
               qt6-translations-l10n fonts-ipafont-gothic qt6-qpa-plugins; do
  grep -qE "(^|, )${package//+/\\+}( |,|$)" <<< "$depends" || fail "Depends lacks $package: $depends"
done

contents=$(dpkg-deb --contents "$deb")
for file in usr/bin/pagewash usr/bin/pagewash-cli usr/share/applications/pagewash.desktop \
            usr/share/icons/hicolor/16x16/apps/pagewash.png usr/share/icons/hicolor/32x32/apps/pagewash.png \
            usr/share/icons/hicolor/48x48/apps/pagewash.png usr/share/icons/hicolor/256x256/apps/pagewash.png \
            usr/share/man/man1/pagewash-cli.1.gz usr/share/bash-completion/completions/pagewash-cli \
            usr/share/metainfo/io.github.pagewash.Pagewash.metainfo.xml; do
  grep -qE " \./$file\$" <<< "$contents" || fail "the package does not install /$file"
done
not_root=$(awk '$2 != "root/root"' <<< "$contents")
[ -z "$not_root" ] || fail "files not owned by root: $not_root"

root=$scratch/root
dpkg-deb -x "$deb" "$root"
for program in pagewash pagewash-cli; do
  [ -x "$root/usr/bin/$program" ] || fail "/usr/bin/$program is not executable"
  ! readelf -S "$root/usr/bin/$program" | grep -q '\.debug_info' || fail "/usr/bin/$program is not stripped"
done
[ "$("$root/usr/bin/pagewash-cli" --version)" = "$version" ] ||
  fail "the unpacked pagewash-cli --version says $("$root/usr/bin/pagewash-cli" --version)"
# The installed metainfo, desktop entry and icons together, as a software centre reads them.
report=$(appstreamcli validate-tree --no-net "$root" 2>&1) || fail "appstreamcli validate-tree: $report"
! grep -E '^[EWI]: ' <<< "$report" || fail "appstreamcli validate-tree of the package is not clean"
gzip -dc "$root/usr/share/man/man1/pagewash-cli.1.gz" | grep -q '^\.TH PAGEWASH-CLI' || fail "the man page is not one"

mkdir "$scratch/work"
cp "$pdf" "$scratch/work/book.pdf"
"$root/usr/bin/pagewash-cli" -q "$scratch/work/book.pdf" || fail "the unpacked pagewash-cli failed on book.pdf"
[ -f "$scratch/work/book_edit.pdf" ] || fail "the unpacked pagewash-cli wrote no book_edit.pdf"
qpdf --check "$scratch/work/book_edit.pdf" >"$scratch/qpdf.log" 2>&1 ||
  fail "qpdf --check book_edit.pdf: $(cat "$scratch/qpdf.log")"
cmp -s "$pdf" "$scratch/work/book_edit.pdf" && fail "book_edit.pdf is the input unchanged"
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes; Depends: $depends"
