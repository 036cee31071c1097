#!/usr/bin/env bash
# The whole suite built with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer (float-to-integer overflow included), stopping
# at the first report. Tests that cannot run there skip themselves and say
# why. Usage: tests/run_sanitized.sh [build dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-sanitized}
rm -rf "$build"
CC=clang CXX=clang++ cmake -S . -B "$build" -DTARN_SANITIZE=ON >/dev/null
cmake --build "$build" -j2
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir "$build" --output-on-failure -j2
