#!/usr/bin/env bash
# The layer test: every header an object of a layer was compiled with, as the compiler resolved
# it, is of that layer or of one below it. The layers, lowest first:
#
#   platform < util < core < engine < {runwindow, editor, dialogs} < app
#   widgets stands on util and platform only (the windows above use it); runner stands on
#   engine and below
#
# Folders of one rank stand beside each other and may not include each other. Never: the runner
# reaches no window (runwindow, dialogs, editor, app, widgets), and nothing below the run window
# (platform, util, core, engine, runner) includes a Qt header.
#
# The compiler's own dependency lists are read (`ninja -t deps`, or the .d files the Makefile
# generator leaves beside each object), so an include is judged by the file it reached, whatever
# its spelling: angle brackets, `../`, `#  include`, a relative path.
#
#   check-layers.sh SOURCE_DIR BUILD_DIR            the build's objects (after a full build)
#   check-layers.sh SOURCE_DIR BUILD_DIR LISTING    a listing in `ninja -t deps` form instead
set -euo pipefail

src=$(realpath "$1")/src
build=$(realpath "$2")
listing=${3:-}
cd "$build"

# "object<TAB>dependency" lines, the object's source first.
dependency_pairs() {
    if [ -n "$listing" ]; then
        awk -f <(ninja_deps_awk) "$listing"
    elif [ -f build.ninja ]; then
        "${NINJA:-ninja}" -t deps | awk -f <(ninja_deps_awk)
    else
        find . -name '*.o.d' -path '*/CMakeFiles/*' -print0 | xargs -0 -r awk -f <(make_deps_awk)
    fi
}

ninja_deps_awk() {
    cat <<'AWK'
/^[^ \t].*: #deps/ { sub(/: #deps.*/, ""); object = $0; next }
/^[ \t]+[^ \t]/ { sub(/^[ \t]+/, ""); print object "\t" $0 }
AWK
}

# Make rules: "object: dep dep \" continued on further lines.
make_deps_awk() {
    cat <<'AWK'
FNR == 1 { object = "" }
{
    line = $0
    sub(/\\$/, "", line)
    if (object == "" && match(line, /^[^ ]+:( |$)/)) {
        object = substr(line, 1, RLENGTH - 1)
        sub(/:$/, "", object)
        line = substr(line, RLENGTH + 1)
    }
    n = split(line, parts, /[ \t]+/)
    for (i = 1; i <= n; ++i)
        if (parts[i] != "" && parts[i] !~ /:$/)
            print object "\t" parts[i]
}
AWK
}

pairs=$(mktemp)
resolved=$(mktemp)
trap 'rm -f "$pairs" "$resolved"' EXIT
dependency_pairs >"$pairs"
# Each dependency once, with the file it is (links and `..` resolved), relative to the build.
cut -f2 "$pairs" | sort -u >"$resolved.in"
xargs -d "\n" realpath -m -- <"$resolved.in" | paste "$resolved.in" - >"$resolved"
rm -f "$resolved.in"

awk -F '\t' -v src="$src/" -v complete="$([ -z "$listing" ] && echo 1 || echo 0)" '
BEGIN {
    below["platform"] = ""
    below["util"] = "platform"
    below["core"] = "platform util"
    below["engine"] = "platform util core"
    below["runner"] = "platform util core engine"
    below["widgets"] = "platform util"
    below["runwindow"] = below["editor"] = below["dialogs"] = "platform util core engine widgets"
    below["app"] = "platform util core engine widgets runwindow editor dialogs"
    split("platform util core engine runner", noQt, " ")
    for (i in noQt)
        withoutQt[noQt[i]] = 1
    for (layer in below) {
        allowed[layer, layer] = 1
        n = split(below[layer], lower, " ")
        for (i = 1; i <= n; ++i)
            allowed[layer, lower[i]] = 1
    }
}
FNR == NR { real[$1] = $2; next }
# The layer of an object is the library it was compiled for.
{
    object = $1
    if (!match(object, /CMakeFiles\/velmora[-_a-z]*\.dir\//))
        next
    target = substr(object, RSTART + 11, RLENGTH - 16)
    layer = target == "velmora" ? "app" : target == "velmora-run" ? "runner" : target
    sub(/^velmora_/, "", layer)
    if (!(layer in below))
        next
    path = real[$2]
    if (!(object in source)) {
        # An object whose source is gone is a left-over of an earlier build.
        source[object] = path
        stale[object] = system("test -e \"" path "\"") != 0
        if (!stale[object])
            ++objects[layer]
    }
    if (stale[object])
        next
    shown = source[object]
    sub("^" src, "", shown)
    if (layer in withoutQt && path ~ /\/(qt5|qt6|Qt[A-Z][A-Za-z]*)\//) {
        report("includes the Qt header " path ": nothing below the run window includes Qt")
        next
    }
    if (index(path, src) != 1)
        next
    header = substr(path, length(src) + 1)
    folder = header
    sub(/\/.*/, "", folder)
    if (folder == header || ((layer, folder) in allowed))
        next
    if (layer == "runner")
        report("includes " header ": the runner never reaches the " folder " layer")
    else
        report("includes " header ", of a layer above or beside " layer)
}
function report(text) {
    if (!((shown, text) in said)) {
        said[shown, text] = 1
        print "layer violation: " shown " " text > "/dev/stderr"
        ++violations
    }
}
END {
    if (complete)
        for (layer in below)
            if (!(layer in objects)) {
                print "no objects of the " layer " layer were compiled: build everything first" > "/dev/stderr"
                ++violations
            }
    checked = 0
    for (layer in objects)
        checked += objects[layer]
    if (violations) {
        print violations " layer violations"
        exit 1
    }
    print "layers: every include of " checked " objects points down"
}' "$resolved" "$pairs"
