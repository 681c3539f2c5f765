#!/usr/bin/env bash
# Installs the build into a scratch prefix and builds a host program outside
# the tree against it twice: through find_package and through pkg-config.
set -euo pipefail
build_dir=$1
source_dir=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null
test -f "$work/prefix/include/tessaly/tessaly.h"
cmake -S "$source_dir" -B "$work/cmake-build" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
"$work/cmake-build/consumer"
export PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig"
libdir=$(pkg-config --variable=libdir tessaly)
test -d "$libdir"
c++ -o "$work/pc-consumer" "$source_dir/consumer.cpp" $(pkg-config --cflags tessaly) \
    $(pkg-config --libs --static tessaly)
"$work/pc-consumer"
echo "install check passed"
