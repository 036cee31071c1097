#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time from
# its seed corpus, which make_corpus.py writes with the built tarnpack. A
# crash, a leak, a sanitizer report or an input slower than 10 s fails the
# run. Usage: fuzz/run_fuzz.sh <tarnpack> [seconds per target]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
tarnpack=$(realpath "$1")
seconds=${2:-30}
build=build-fuzz
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
CC=clang CXX=clang++ cmake -S . -B "$build" -DTARN_FUZZ=ON -DTARN_BUILD_TESTS=OFF -DTARN_BUILD_PROGRAMS=OFF >/dev/null
cmake --build "$build" -j2
fuzz/make_corpus.py --tarnpack "$tarnpack" --out "$work/corpus"
for target in decode encode filters roundtrip; do
  log="$work/$target.log"
  if (cd "$work" && "$root/$build/fuzz_$target" "corpus/$target" -max_total_time="$seconds" \
        -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 >"$log" 2>&1); then
    echo "fuzz_$target: $(grep -E '^#[0-9]+.*DONE' "$log" | tail -1)"
  else
    tail -n 60 "$log"
    echo "fuzz_$target failed"
    exit 1
  fi
done
