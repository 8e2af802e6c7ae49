#!/bin/sh
# Runs the test character's generator, and the texture generator that adds
# the character's texture descriptions and substitutes, into a temporary
# directory and compares every file they write with the committed data, byte
# for byte. Arguments: the Python interpreter and the repository root.
set -e
python=$1
src=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$python" "$src/tools/gen_character.py" "$tmp" >/dev/null
"$python" "$src/tools/gen_textures.py" "$tmp" >/dev/null
status=0
count=0
for f in $(cd "$tmp" && find . -type f | sort); do
    count=$((count + 1))
    if ! cmp -s "$tmp/$f" "$src/data/$f"; then
        echo "differs from the generator's output: data/${f#./}"
        status=1
    fi
done
echo "$count generated files compared"
exit $status
