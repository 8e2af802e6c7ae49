#!/bin/sh
# check_layers.sh SOURCE_DIR ALLOW_LIST
#
# Fails when a source file of a layered folder includes a header of a higher
# layer and the edge is not in the allow-list, and when the allow-list names an
# edge that no longer exists (the list only shrinks). The layers, lowest first:
#   platform < app < sound < engine (world render physics skinmesh) < actors < game
# Includes between the folders of one layer are free.
#
# Allow-list lines: "including/File.cpp included/Header.h reason...". Every line
# needs its reason; blank lines and lines starting with '#' are ignored.
set -eu
src=$1
allow=$2
[ -d "$src" ] || { echo "check_layers: no source directory $src" >&2; exit 2; }
[ -f "$allow" ] || { echo "check_layers: no allow-list $allow" >&2; exit 2; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT INT TERM

# Every upward edge of the tree, one "file header" line each, sorted.
cd "$src"
find platform app sound world render physics skinmesh actors game \
    -name '*.cpp' -o -name '*.h' 2>/dev/null | LC_ALL=C sort |
while read -r file; do
    sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([a-z]*\/[^"]*\)".*/\1/p' "$file" |
        sed "s|^|$file |"
done | awk '
    function rank(path,   top) {
        top = path; sub(/\/.*/, "", top)
        if (top == "platform") return 0
        if (top == "app") return 1
        if (top == "sound") return 2
        if (top == "world" || top == "render" || top == "physics" || top == "skinmesh") return 3
        if (top == "actors") return 4
        if (top == "game") return 5
        return -1
    }
    rank($2) > rank($1) { print $1, $2 }' | LC_ALL=C sort -u >"$tmp/found"
cd - >/dev/null

awk -v list="$allow" '
    /^[[:space:]]*(#|$)/ { next }
    NF < 3 { printf "%s:%d: an allowed edge needs a reason: %s\n", list, NR, $0 > "/dev/stderr"; bad = 1; next }
    { print $1, $2 }
    END { exit bad }' "$allow" >"$tmp/listed" || exit 1
LC_ALL=C sort -u "$tmp/listed" >"$tmp/allowed"

status=0
LC_ALL=C comm -23 "$tmp/found" "$tmp/allowed" >"$tmp/new"
LC_ALL=C comm -13 "$tmp/found" "$tmp/allowed" >"$tmp/stale"
if [ -s "$tmp/new" ]; then
    echo "Upward includes not in $allow:"
    sed 's/^/  /' "$tmp/new"
    status=1
fi
if [ -s "$tmp/stale" ]; then
    echo "Allowed edges that no longer exist (remove them from $allow):"
    sed 's/^/  /' "$tmp/stale"
    status=1
fi
[ $status -eq 0 ] && echo "$(wc -l <"$tmp/found") upward includes, all allowed."
exit $status
