#!/bin/sh
# check_layers.sh SOURCE_DIR ALLOW_LIST PUBLIC_HEADERS
#
# Fails when a source file of a layered folder includes a header of a higher
# layer and the edge is not in the allow-list, and when the allow-list names an
# edge that no longer exists (the list only shrinks). The layers, lowest first:
#   platform < app < sound < engine (world render physics skinmesh) < actors < game
# Includes between the folders of one layer are free.
#
# Allow-list lines: "including/File.cpp included/Header.h reason...". Every line
# needs its reason; blank lines and lines starting with '#' are ignored.
#
# It also fails when a folder's library (its CMakeLists.txt, after USES) does
# not name a folder whose headers the library's sources include, or names one
# they do not include; and when a folder includes a header of a folder that
# lists its public headers in PUBLIC_HEADERS ("folder/Header.h" lines) and that
# header is not listed, or a listed header is no longer included from outside.
set -eu
src=$1
allow=$2
public=$3
[ -d "$src" ] || { echo "check_layers: no source directory $src" >&2; exit 2; }
[ -f "$allow" ] || { echo "check_layers: no allow-list $allow" >&2; exit 2; }
[ -f "$public" ] || { echo "check_layers: no public-header list $public" >&2; exit 2; }
folders="platform app sound world render physics skinmesh actors game"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT INT TERM

# Every include of a layered folder's header by a file of another one, one
# "file header" line each, sorted; the executable's entry points (main/) are
# not part of their folder's library and are left out.
cd "$src"
# shellcheck disable=SC2086
find $folders -name '*.cpp' -o -name '*.h' 2>/dev/null | grep -v '^[a-z]*/main/' | LC_ALL=C sort |
while read -r file; do
    sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([a-z]*\/[^"]*\)".*/\1/p' "$file" |
        sed "s|^|$file |"
done | awk -v folders="$folders" '
    BEGIN { n = split(folders, f, " "); for (i = 1; i <= n; ++i) layered[f[i]] = 1 }
    { a = $1; sub(/\/.*/, "", a); b = $2; sub(/\/.*/, "", b) }
    a != b && (b in layered) { print $1, $2 }' | LC_ALL=C sort -u >"$tmp/edges"

# The upward ones.
awk '
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
    rank($2) > rank($1) { print $1, $2 }' "$tmp/edges" >"$tmp/found"

# Each library's USES, and the folders its sources include, "folder used"
# lines.
for folder in $folders; do
    [ -f "$folder/CMakeLists.txt" ] || continue
    tr '\n' ' ' <"$folder/CMakeLists.txt" |
        sed -n 's/.*zt_library([^)]*USES \([a-z ]*\).*/\1/p' |
        tr ' ' '\n' | grep -v -x -e '' -e DEPS -e DIR | sed "s|^|$folder |" || true
done | LC_ALL=C sort -u >"$tmp/uses"
awk '{ a = $1; sub(/\/.*/, "", a); b = $2; sub(/\/.*/, "", b); print a, b }' "$tmp/edges" |
    LC_ALL=C sort -u >"$tmp/included"

cd - >/dev/null

# The includes from outside of the folders that name their public headers.
grep -v -e '^[[:space:]]*#' -e '^[[:space:]]*$' "$public" | awk '{ print $1 }' | LC_ALL=C sort -u >"$tmp/public"
sed 's|/.*||' "$tmp/public" | LC_ALL=C sort -u >"$tmp/guarded"
awk 'NR == FNR { guarded[$1] = 1; next } { b = $2; sub(/\/.*/, "", b) } b in guarded' \
    "$tmp/guarded" "$tmp/edges" >"$tmp/outside"
awk '{ print $2 }' "$tmp/outside" | LC_ALL=C sort -u >"$tmp/needed"

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

LC_ALL=C comm -23 "$tmp/included" "$tmp/uses" >"$tmp/undeclared"
LC_ALL=C comm -13 "$tmp/included" "$tmp/uses" >"$tmp/unused"
if [ -s "$tmp/undeclared" ]; then
    echo "Folders whose headers a library includes but does not name after USES in its CMakeLists.txt:"
    sed 's/^/  /' "$tmp/undeclared"
    status=1
fi
if [ -s "$tmp/unused" ]; then
    echo "Libraries named after USES whose headers the folder does not include:"
    sed 's/^/  /' "$tmp/unused"
    status=1
fi

awk 'NR == FNR { listed[$1] = 1; next } !($2 in listed)' "$tmp/public" "$tmp/outside" >"$tmp/private"
LC_ALL=C comm -23 "$tmp/public" "$tmp/needed" >"$tmp/unneeded"
if [ -s "$tmp/private" ]; then
    echo "Includes from another folder of headers not in $public:"
    sed 's/^/  /' "$tmp/private"
    status=1
fi
if [ -s "$tmp/unneeded" ]; then
    echo "Public headers no other folder includes (remove them from $public):"
    sed 's/^/  /' "$tmp/unneeded"
    status=1
fi
[ $status -eq 0 ] &&
    echo "$(wc -l <"$tmp/found") upward includes, all allowed; every library names what it includes;" \
        "$(wc -l <"$tmp/public") public headers, no other included from outside."
exit $status
