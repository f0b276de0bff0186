#!/usr/bin/env bash
# Builds a Release velmora and velmora-run in build-bench/ and times a run in the run window
# (offscreen) against velmora-run on the same tree.
#   bench/window_bench.sh [--files 20000] [--folders 400] [--reps 5] [--seed N]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
build="$root/build-bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_TESTS=OFF >/dev/null
ninja -C "$build" velmora velmora-run
exec python3 "$here/window_bench.py" --velmora "$build/velmora" --runner "$build/velmora-run" "$@"
