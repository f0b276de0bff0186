#!/usr/bin/env bash
# Validates the installed desktop entry or AppStream file as desktops and software centres read
# them. Exits 77 (skipped) when the validator is not installed, 1 on any complaint.
set -uo pipefail
kind=$1
file=$2
case "$kind" in
    desktop) tool=desktop-file-validate; args=("$file") ;;
    metainfo) tool=appstreamcli; args=(validate --no-net --pedantic "$file") ;;
    *) echo "usage: $0 desktop|metainfo FILE" >&2; exit 2 ;;
esac
if ! command -v "$tool" >/dev/null; then
    echo "$tool is not installed: skipped"
    exit 77
fi
output=$("$tool" "${args[@]}" 2>&1)
status=$?
echo "$output"
# desktop-file-validate exits 0 with hints; a hint is fine, a warning or an error is not.
if [ "$kind" = desktop ] && grep -qE "(error|warning):" <<<"$output"; then
    exit 1
fi
exit $status
