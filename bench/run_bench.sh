#!/usr/bin/env bash
# Builds a Release velmora-run in its own build folder, and the mirror walker of bench/, and times
# them against rsync and cp.
#   bench/run_bench.sh [--scale 1.0] [--reps 5] [--seed N] [--work DIR] [--only small|wide|large]
# VELMORA_RUN=/path/to/velmora-run skips the build and times that binary.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
runner="${VELMORA_RUN:-}"
build="$root/build-bench"
if [[ -z "$runner" ]]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_TESTS=OFF >/dev/null
    ninja -C "$build" -j2 velmora-run
    runner="$build/velmora-run"
fi
mkdir -p "$build"
for tool in mirror_walker peak_memory; do
    if [[ ! -x "$build/$tool" || "$here/$tool.cpp" -nt "$build/$tool" ]]; then
        "${CXX:-g++}" -std=c++17 -O2 -Wall -Wextra -o "$build/$tool" "$here/$tool.cpp"
    fi
done
command -v rsync >/dev/null || { echo "rsync is needed: scripts/install-deps.sh" >&2; exit 1; }
exec python3 "$here/bench.py" --runner "$runner" --walker "$build/mirror_walker" --peak-memory "$build/peak_memory" "$@"
