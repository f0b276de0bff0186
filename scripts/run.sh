#!/usr/bin/env bash
# Starts what the build in folder $1 holds: the program when it exists, otherwise it says
# plainly which parts can be run so far.
set -euo pipefail
build=${1:-build}
if [ -x "$build/velmora" ]; then
    exec "$build/velmora" "${@:2}"
fi
echo "Velmora is built in $build/."
if [ -x "$build/velmora-run" ]; then
    echo "The main window is not built yet. What can be run so far:"
    echo "  $build/velmora-run PROJECT.vlm     runs one project without a window"
else
    echo "The main window and the headless runner are not built yet."
    echo "What can be run so far are the tests: make test"
fi
