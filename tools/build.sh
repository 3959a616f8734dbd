#!/usr/bin/env bash
# Configures and builds one build tree. Usage: tools/build.sh BUILD_DIR [cmake options...]
# LUNORVALE_TARGET=name builds only that target; CC and CXX choose the compiler.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1; shift
jobs=${LUNORVALE_JOBS:-$(nproc)}
# A tree configured with another compiler than $CXX asks for is configured afresh.
if [ -n "${CXX:-}" ] && [ -f "$dir/CMakeCache.txt" ] &&
   ! grep -qx "CMAKE_CXX_COMPILER:[A-Z]*=$(command -v "$CXX")" "$dir/CMakeCache.txt"; then
  rm -rf "$dir"
fi
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
fi
if [ -n "${LUNORVALE_TARGET:-}" ]; then
  cmake --build "$dir" --parallel "$jobs" --target "$LUNORVALE_TARGET"
else
  cmake --build "$dir" --parallel "$jobs"
fi
