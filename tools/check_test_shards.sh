#!/bin/sh
# Checks that the shards of a GoogleTest executable that shares its tests
# out itself run every test its filter chooses exactly once:
#   check_test_shards.sh <executable> <shards> [filter]
set -eu
exe=$1
shards=$2
filter=${3:-*}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# "Suite.Test" lines from --gtest_list_tests (parameters' comments dropped).
list() {
    "$exe" --gtest_list_tests | awk '/^[^ ]/ { suite = $1; next } { print suite $1 }' | sort
}

GTEST_FILTER=$filter list >"$tmp/all"
i=0
while [ "$i" -lt "$shards" ]; do
    GTEST_FILTER=$filter GTEST_TOTAL_SHARDS=$shards GTEST_SHARD_INDEX=$i list >>"$tmp/sharded"
    i=$((i + 1))
done
sort "$tmp/sharded" >"$tmp/sharded.sorted"
if ! cmp -s "$tmp/all" "$tmp/sharded.sorted"; then
    echo "the shards do not run each test once (< unsharded, > shards):"
    diff "$tmp/all" "$tmp/sharded.sorted" || true
    exit 1
fi
echo "$(wc -l <"$tmp/all") tests, each in one of $shards shards"
