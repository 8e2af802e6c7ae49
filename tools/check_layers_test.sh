#!/bin/sh
# check_layers_test.sh SOURCE_DIR ALLOW_LIST
#
# Shows that the layer check catches what it must: in a copy of the layered
# sources, a file with a new upward include fails the check until its edge is
# listed with a reason; a listed edge without a reason and an edge listed but
# gone fail it too.
set -u
src=$1
allow=$2
check=$(dirname "$0")/check_layers.sh
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT INT TERM
failures=0

expect() { # expect pass|fail WHAT ALLOW_LIST
    if sh "$check" "$tmp/src" "$3" >"$tmp/out" 2>&1; then got=pass; else got=fail; fi
    if [ "$got" = "$1" ]; then
        echo "ok: $2"
    else
        echo "FAILED: $2 (expected $1, got $got)"
        sed 's/^/    /' "$tmp/out"
        failures=$((failures + 1))
    fi
}

mkdir "$tmp/src"
for d in platform app sound world render physics skinmesh actors game; do
    [ -d "$src/$d" ] && cp -R "$src/$d" "$tmp/src/$d"
done
cp "$allow" "$tmp/allow"
expect pass "the tree as it is passes" "$tmp/allow"

printf '#include "app/Console.h"\n#include "game/MainGame.h"\n' >"$tmp/src/platform/os/LayerProbe.cpp"
expect fail "a new upward include fails" "$tmp/allow"
grep -q "platform/os/LayerProbe.cpp game/MainGame.h" "$tmp/out" || {
    echo "FAILED: the report names the new edge"
    failures=$((failures + 1))
}

cp "$tmp/allow" "$tmp/allow-reason"
echo "platform/os/LayerProbe.cpp app/Console.h a probe of the check" >>"$tmp/allow-reason"
echo "platform/os/LayerProbe.cpp game/MainGame.h a probe of the check" >>"$tmp/allow-reason"
expect pass "listed with a reason, it passes" "$tmp/allow-reason"

cp "$tmp/allow" "$tmp/allow-bare"
echo "platform/os/LayerProbe.cpp app/Console.h a probe of the check" >>"$tmp/allow-bare"
echo "platform/os/LayerProbe.cpp game/MainGame.h" >>"$tmp/allow-bare"
expect fail "a listed edge without a reason fails" "$tmp/allow-bare"

rm "$tmp/src/platform/os/LayerProbe.cpp"
expect fail "an edge listed but gone fails" "$tmp/allow-reason"

printf '#include "world/Engine.h"\n#include "physics/CollisionMgr.h"\n#include "app/Console.h"\n' \
    >"$tmp/src/render/LayerProbe.cpp"
expect pass "includes within the engine layer and downward are free" "$tmp/allow"

[ $failures -eq 0 ]
