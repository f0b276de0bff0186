#!/usr/bin/env bash
# Makes the user guide that Help, Contents opens: the README without its sections for developers
# (building, reliability figures), as one HTML page. The screenshots it shows are looked for in
# a folder "screenshots" beside the page.
#
#     make-user-guide.sh README.md OUTPUT.html VERSION
set -euo pipefail
readme=$1
output=$2
version=$3

# A heading inside a code block is indented, so only real section headings start a line with "## ".
body=$(awk '
    /^## / { skip = ($0 == "## Getting started on a fresh Debian machine" ||
                     $0 == "## Reliability and speed") }
    !skip' "$readme" |
    sed 's#(docs/screenshots/#(screenshots/#g' |
    cmark-gfm --extension table --extension autolink)

{
    cat <<EOF
<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Velmora ${version} - User guide</title>
<style>
body { max-width: 52em; margin: 2em auto; padding: 0 1em; font-family: sans-serif; line-height: 1.45; }
pre, code { background: #f3f3f3; }
pre { padding: 0.5em; overflow-x: auto; }
table { border-collapse: collapse; }
th, td { border: 1px solid #bbb; padding: 0.2em 0.5em; text-align: left; }
img { max-width: 100%; border: 1px solid #ccc; }
</style>
</head>
<body>
EOF
    printf '%s\n' "$body"
    printf '<p><small>Velmora %s</small></p>\n</body>\n</html>\n' "$version"
} >"$output.tmp"
mv "$output.tmp" "$output"
