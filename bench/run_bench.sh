#!/usr/bin/env bash
# Builds a Release velmora-run in its own build folder and times it against rsync and cp.
#   bench/run_bench.sh [--scale 1.0] [--reps 3] [--seed N] [--work DIR]
# VELMORA_RUN=/path/to/velmora-run skips the build and times that binary.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
runner="${VELMORA_RUN:-}"
if [[ -z "$runner" ]]; then
    build="$root/build-bench"
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_TESTS=OFF >/dev/null
    ninja -C "$build" velmora-run
    runner="$build/velmora-run"
fi
command -v rsync >/dev/null || { echo "rsync is needed: scripts/install-deps.sh" >&2; exit 1; }
exec python3 "$here/bench.py" --runner "$runner" "$@"
