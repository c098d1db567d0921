#!/usr/bin/env bash
# Installs, from Debian's packages, what building, running and testing Pagewash need.
# Idempotent: packages already present are left alone. Run as root (or with sudo).
set -euo pipefail

build=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-qpa-plugins libjpeg-dev libpng-dev zlib1g-dev
       libcli11-dev nlohmann-json3-dev libhwy-dev libtiff-dev libgtest-dev libgmock-dev libbenchmark-dev help2man dpkg-dev)
run=(fonts-ipafont-gothic qt6-translations-l10n)
tests=(qpdf poppler-utils img2pdf ghostscript libjpeg-turbo-progs imagemagick time clang-format-14
       parallel desktop-file-utils appstream tesseract-ocr tesseract-ocr-eng mupdf-tools
       python3-pyqt6.qtpdf)

wanted=("${build[@]}" "${run[@]}")
[ "${1:-}" = "--with-tests" ] && wanted+=("${tests[@]}")

bash "$(dirname "$0")/install-packages.sh" setup "${wanted[@]}"
