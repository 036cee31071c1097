#!/usr/bin/env bash
# Installs the build tree into a fresh prefix, checks the tree, and builds
# and runs example.c against it twice: through find_package(tarn) and
# through pkg-config. Then does the same for the shared library, built
# anew from the sources, and checks its SONAME; last, builds example.c in a
# project that takes the library in with add_subdirectory.
# Usage: run_install_test.sh <source dir> <build dir> [sanitized: 0 or 1]
set -euo pipefail
source_dir=$1
build_dir=$2
if [[ "${3:-0}" == 1 ]]; then
  echo "skipped: the sanitized build's library needs the sanitizer runtimes to link"
  exit 77
fi
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

check_prefix() {  # prefix, library file
  local prefix=$1
  for f in bin/tarnpack bin/tarnunpack bin/tarnfilter bin/psnr include/tarn/tarn.h "lib/$2" \
           lib/cmake/tarn/tarnConfig.cmake lib/cmake/tarn/tarnConfigVersion.cmake \
           lib/pkgconfig/tarn.pc share/man/man1/tarnpack.1 share/man/man1/tarnunpack.1 \
           share/man/man1/tarnfilter.1 share/tarn/designed.dat; do
    [[ -e "$prefix/$f" ]] || { echo "missing $f"; exit 1; }
  done
  for page in tarnpack tarnunpack tarnfilter; do
    [[ -z "$(groff -ww -man -z "$prefix/share/man/man1/$page.1" 2>&1)" ]] || { echo "groff warns on $page.1"; exit 1; }
  done
}

build_examples() {  # prefix, name
  local prefix=$1
  cmake -S "$here" -B "$work/$2-cmake" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
  cmake --build "$work/$2-cmake" >/dev/null
  LD_LIBRARY_PATH="$prefix/lib" "$work/$2-cmake/example"
  local flags
  flags=$(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs tarn)
  echo "pkg-config --cflags --libs tarn: $flags"
  # shellcheck disable=SC2086
  cc -std=c99 -Wall -Wextra -pedantic -Werror "$here/example.c" -o "$work/$2-pc" $flags -lm
  LD_LIBRARY_PATH="$prefix/lib" "$work/$2-pc"
}

cmake --install "$build_dir" --prefix "$work/static" >/dev/null
check_prefix "$work/static" libtarn.a
build_examples "$work/static" static

cmake -S "$source_dir" -B "$work/shared-build" -DBUILD_SHARED_LIBS=ON -DTARN_BUILD_TESTS=OFF -DTARN_PYTHON=OFF >/dev/null
cmake --build "$work/shared-build" -j2 >/dev/null
cmake --install "$work/shared-build" --prefix "$work/shared" >/dev/null
check_prefix "$work/shared" libtarn.so
readelf -d "$work/shared/lib/libtarn.so" | grep -q 'SONAME.*\[libtarn.so.0\]' || { echo "no SONAME libtarn.so.0"; exit 1; }
if nm -D --defined-only "$work/shared/lib/libtarn.so" | awk '{print $3}' | grep -v '^tarn_' | grep -q .; then
  echo "the shared library exports more than tarn_*"; exit 1
fi
build_examples "$work/shared" shared

cmake -S "$here/subproject" -B "$work/sub" -DTARN_SOURCE_DIR="$source_dir" >/dev/null
cmake --build "$work/sub" -j2 >/dev/null
"$work/sub/example"
echo "install test passed"
