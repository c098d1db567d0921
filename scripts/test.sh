#!/usr/bin/env bash
# Builds and runs every test: once in a normal build, once under AddressSanitizer and
# UndefinedBehaviorSanitizer. Installs what is missing first (Debian packages).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --with-tests

echo "== formatting"
bash scripts/check-format.sh

werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
parallel=$(nproc)

echo "== normal build"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPAGEWASH_WERROR=$werror >/dev/null
cmake --build build/release -j "$parallel"
ctest --test-dir build/release --output-on-failure -j "$parallel"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPAGEWASH_WERROR=$werror \
      -DPAGEWASH_SANITIZE=ON -DPAGEWASH_BUILD_BENCH=OFF >/dev/null
cmake --build build/asan -j "$parallel"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan --output-on-failure -j "$parallel"
