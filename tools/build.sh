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
# Line tables only (-g1, which clang reads as -gline-tables-only): every stack a failed test or a
# sanitizer prints still names its functions, files and lines, and a two-core build takes a fifth less
# CPU in the GCC tree. A tree of one's own for a debugger is configured with -g.
# The project's own trees treat warnings as errors (a tree configured before that was an option is
# configured again to take it); a plain CMake build, a packager's, does not.
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" \
    -DLUNORVALE_WERROR=ON "$@" >/dev/null
elif ! grep -qx 'LUNORVALE_WERROR:BOOL=ON' "$dir/CMakeCache.txt"; then
  cmake -S "$root" -B "$dir" -DLUNORVALE_WERROR=ON "$@" >/dev/null
fi
if [ -n "${LUNORVALE_TARGET:-}" ]; then
  cmake --build "$dir" --parallel "$jobs" --target "$LUNORVALE_TARGET"
else
  cmake --build "$dir" --parallel "$jobs"
fi
