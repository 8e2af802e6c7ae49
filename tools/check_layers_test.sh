#!/bin/sh
# check_layers_test.sh SOURCE_DIR ALLOW_LIST PUBLIC_HEADERS
#
# Shows that the layer check catches what it must: in a copy of the layered
# sources, a file with a new upward include fails the check until its edge is
# listed with a reason; a listed edge without a reason and an edge listed but
# gone fail it too. A folder that includes a library its CMakeLists.txt does
# not name, or names one it does not include, fails it; so does an include
# from another folder of a header not in the public list, and a listed header
# that no other folder includes.
set -u
src=$1
allow=$2
public=$3
check=$(dirname "$0")/check_layers.sh
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT INT TERM
failures=0

expect() { # expect pass|fail WHAT ALLOW_LIST [PUBLIC_HEADERS]
    if sh "$check" "$tmp/src" "$3" "${4:-$tmp/public}" >"$tmp/out" 2>&1; then got=pass; else got=fail; fi
    if [ "$got" = "$1" ]; then
        echo "ok: $2"
    else
        echo "FAILED: $2 (expected $1, got $got)"
        sed 's/^/    /' "$tmp/out"
        failures=$((failures + 1))
    fi
}

# names WHAT TEXT: the report holds TEXT.
names() {
    grep -q "$2" "$tmp/out" || {
        echo "FAILED: the report names $1"
        failures=$((failures + 1))
    }
}

mkdir "$tmp/src"
for d in platform app sound world render physics skinmesh actors game; do
    [ -d "$src/$d" ] && cp -R "$src/$d" "$tmp/src/$d"
done
cp "$allow" "$tmp/allow"
cp "$public" "$tmp/public"
expect pass "the tree as it is passes" "$tmp/allow"

printf '#include "sound/SoundMgr.h"\n#include "world/Engine.h"\n' >"$tmp/src/app/LayerProbe.cpp"
expect fail "a new upward include fails" "$tmp/allow"
names "the new edge" "app/LayerProbe.cpp world/Engine.h"

cp "$tmp/allow" "$tmp/allow-reason"
echo "app/LayerProbe.cpp sound/SoundMgr.h a probe of the check" >>"$tmp/allow-reason"
echo "app/LayerProbe.cpp world/Engine.h a probe of the check" >>"$tmp/allow-reason"
expect pass "listed with a reason, it passes" "$tmp/allow-reason"

cp "$tmp/allow" "$tmp/allow-bare"
echo "app/LayerProbe.cpp sound/SoundMgr.h a probe of the check" >>"$tmp/allow-bare"
echo "app/LayerProbe.cpp world/Engine.h" >>"$tmp/allow-bare"
expect fail "a listed edge without a reason fails" "$tmp/allow-bare"

rm "$tmp/src/app/LayerProbe.cpp"
expect fail "an edge listed but gone fails" "$tmp/allow-reason"

printf '#include "world/Engine.h"\n#include "physics/CollisionMgr.h"\n#include "app/Console.h"\n' \
    >"$tmp/src/render/LayerProbe.cpp"
expect pass "includes within the engine layer and downward are free" "$tmp/allow"

rm "$tmp/src/render/LayerProbe.cpp"

printf '#include "world/Engine.h"\n' >"$tmp/src/skinmesh/LayerProbe.cpp"
expect fail "a folder that includes a library it does not name fails" "$tmp/allow"
names "the undeclared library" "skinmesh world"
rm "$tmp/src/skinmesh/LayerProbe.cpp"

cp "$tmp/src/skinmesh/CMakeLists.txt" "$tmp/skinmesh.cmake"
sed 's/USES /USES actors /' "$tmp/skinmesh.cmake" >"$tmp/src/skinmesh/CMakeLists.txt"
expect fail "a library named but not included fails" "$tmp/allow"
names "the unused library" "skinmesh actors"
cp "$tmp/skinmesh.cmake" "$tmp/src/skinmesh/CMakeLists.txt"

# A header of render/ that no other folder includes.
private=$(cd "$tmp/src" && ls render/*.h | grep -v -x -F -f "$tmp/public" | head -n 1)
printf '#include "%s"\n' "$private" >"$tmp/src/world/LayerProbe.cpp"
expect fail "another folder's include of a header not in the public list fails" "$tmp/allow"
names "the include" "world/LayerProbe.cpp $private"
cp "$tmp/public" "$tmp/public-more"
echo "$private" >>"$tmp/public-more"
expect pass "listed, it passes" "$tmp/allow" "$tmp/public-more"
rm "$tmp/src/world/LayerProbe.cpp"
expect fail "a public header no other folder includes fails" "$tmp/allow" "$tmp/public-more"
names "the header" "  $private"

[ $failures -eq 0 ]
