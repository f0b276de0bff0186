#!/usr/bin/env bash
# Fails when a source file includes a header of a layer above its own. The layers, lowest first:
#   platform < util < core < engine < widgets < {runwindow, editor, dialogs} < {app, runner}
# Folders of one rank may not include each other either: each stands on the layers below it.
set -euo pipefail
cd "$(dirname "$0")/../src"

rank_of() {
    case "$1" in
        platform/*) echo 0 ;;
        util/*) echo 1 ;;
        core/*) echo 2 ;;
        engine/*) echo 3 ;;
        widgets/*) echo 4 ;;
        runwindow/* | editor/* | dialogs/*) echo 5 ;;
        app/* | runner/*) echo 6 ;;
        *) echo 7 ;;
    esac
}

folder_of() {
    echo "${1%%/*}"
}

status=0
while IFS= read -r file; do
    own_rank=$(rank_of "$file")
    own_folder=$(folder_of "$file")
    while IFS= read -r header; do
        [ -e "$header" ] || continue # a system or library header
        rank=$(rank_of "$header")
        folder=$(folder_of "$header")
        if [ "$rank" -gt "$own_rank" ] || { [ "$rank" -eq "$own_rank" ] && [ "$folder" != "$own_folder" ]; }; then
            echo "layer violation: $file includes $header" >&2
            status=1
        fi
    done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
done < <(find . -name '*.cpp' -o -name '*.h' | sed 's|^\./||' | sort)

if [ "$status" -eq 0 ]; then
    echo "layers: every include points down"
fi
exit "$status"
