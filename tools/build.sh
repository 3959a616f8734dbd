#!/usr/bin/env bash
# Configures and builds one build tree. Usage: tools/build.sh BUILD_DIR [cmake options...]
# LUNORVALE_TARGET=name builds only that target.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1; shift
jobs=${LUNORVALE_JOBS:-$(nproc)}
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
fi
if [ -n "${LUNORVALE_TARGET:-}" ]; then
  cmake --build "$dir" --parallel "$jobs" --target "$LUNORVALE_TARGET"
else
  cmake --build "$dir" --parallel "$jobs"
fi
