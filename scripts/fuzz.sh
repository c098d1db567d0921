#!/usr/bin/env bash
# Builds the libFuzzer targets with clang-14 (AddressSanitizer + UndefinedBehaviorSanitizer) into
# build/fuzz, makes their seeds from the repository's files, and runs each target for SECONDS
# (default 60). Exits non-zero, naming the saved input, when a target crashes. MAX_LEN caps the input
# size (libFuzzer's -max_len; by default the largest seed): a few kilobytes run several times as many
# inputs a second, for long runs that are after volume.
# Usage: scripts/fuzz.sh [SECONDS] [MAX_LEN]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
max_len="${2:-}"

# What the engine and the command line build with, then clang and libFuzzer from Debian; only what is
# missing is installed.
./scripts/setup.sh
bash scripts/install-packages.sh fuzz clang-14 libclang-rt-14-dev

out=build/fuzz
targets=(fuzz_file_job fuzz_image_worker fuzz_xref)
echo "== fuzz build (clang-14, ASan + UBSan + libFuzzer)"
cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
      -DPAGEWASH_BUILD_FUZZ=ON -DPAGEWASH_BUILD_UI=OFF -DPAGEWASH_BUILD_TESTS=OFF \
      -DPAGEWASH_BUILD_BENCH=OFF >/dev/null
cmake --build "$out" -j "$(nproc)" --target "${targets[@]}" make_seeds

# Seeds: the sample and the test data of the repository (earlier crashes among them).
seed_files=(samples/*.pdf)
while IFS= read -r -d '' file; do seed_files+=("$file"); done \
  < <(find tests/data -type f \( -iname '*.pdf' -o -iname '*.jpg' -o -iname '*.jpeg' \) -print0)
rm -rf "$out/seeds"
"$out/fuzz/make_seeds" "$out/seeds" "${seed_files[@]}"
# Saved inputs of earlier crashes go back in as they are, each to its own target.
for target in "${targets[@]}"; do
  name="${target#fuzz_}"
  if [ -d "tests/data/fuzz/$name" ]; then cp tests/data/fuzz/"$name"/* "$out/seeds/$name/" 2>/dev/null || true; fi
done

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
failed=0
for target in "${targets[@]}"; do
  name="${target#fuzz_}"
  corpus="$out/corpus/$name"
  crashes="$out/crashes/$name"
  log="$out/logs/$name.log"
  rm -rf "$crashes"  # only this run's crashes are reported
  mkdir -p "$corpus" "$crashes" "$out/logs"
  extra=()
  # libjpeg prints a warning for most damaged images; the sanitizers still report through a copy.
  [ "$name" = image_worker ] && extra+=(-close_fd_mask=2)
  [ -n "$max_len" ] && extra+=(-max_len="$max_len")
  echo "== $target for ${seconds}s"
  status=0
  "$out/fuzz/$target" -max_total_time="$seconds" -dict=fuzz/pdf.dict -rss_limit_mb=2048 -timeout=25 \
    -print_final_stats=1 -artifact_prefix="$crashes/" "${extra[@]}" "$corpus" "$out/seeds/$name" \
    >"$log" 2>&1 || status=$?
  grep -E '^#[0-9]+.*(DONE|cov:)' "$log" | tail -n 1 || true
  grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$log" || true
  if [ "$status" -ne 0 ]; then
    failed=1
    echo "fuzz: $target failed (exit $status); log: $log"
    grep -E 'ERROR|SUMMARY|Test unit written to' "$log" | head -n 20 || true
    for artifact in "$crashes"/*; do [ -e "$artifact" ] && echo "fuzz: crashing input: $artifact"; done
  fi
done
exit $failed
