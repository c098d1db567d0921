#!/usr/bin/env bash
# Fails, naming the files, when a C++ source differs from what .clang-format makes of it.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t sources < <(git ls-files -- '*.cpp' '*.h')
[ ${#sources[@]} -eq 0 ] && exit 0
clang-format-14 --dry-run --Werror "${sources[@]}"
