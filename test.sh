#!/bin/sh
# Installs what is missing, builds everything once with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test: the unit tests, the fuzz
# targets' seed and crash inputs (replayed by fuzz_replay in the same build)
# and the integration tests, which run the real game. Then one fuzz target is
# built with clang and libFuzzer, to show that the fuzzing build still
# compiles, and replays its inputs there. Arguments go to each ctest run.
#
# Each phase's wall time is printed as it ends, and all of them at the end.
set -e
cd "$(dirname "$0")"
jobs=$(nproc)
times=""
failed=""

# phase NAME COMMAND...: runs the command and notes how long it took.
phase() {
    name=$1
    shift
    echo "== test.sh: $name"
    t0=$(date +%s)
    rc=0
    "$@" || rc=$?
    t=$(($(date +%s) - t0))
    times="$times$(printf '%-26s %5d s' "$name" "$t")
"
    echo "== test.sh: $name took $t s"
    return $rc
}

summary() {
    rc=$?
    printf '\n== test.sh phase times (%s cores):\n%s' "$jobs" "$times"
    [ -n "$failed" ] && echo "== test.sh: failed:$failed"
    return $rc
}
trap summary EXIT

configure_test() {
    cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZT_SANITIZE=ON -DZT_WERROR=ON >/dev/null
}
configure_fuzz() {
    cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZT_FUZZ=ON -DZT_BENCH=OFF -DZT_WERROR=ON \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
}

phase "packages" ./deps.sh
phase "configure" configure_test
phase "build" cmake --build build-test

export SDL_VIDEODRIVER=offscreen ALSOFT_DRIVERS=null ZT_UNATTENDED=1
export ASAN_OPTIONS=detect_leaks=1
export LSAN_OPTIONS="suppressions=$PWD/tests/leaks.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for label in unit fuzz integration; do
    phase "ctest $label" ctest --test-dir build-test --output-on-failure -j"$jobs" -L "^$label\$" "$@" ||
        failed="$failed $label"
done
# A test given none of the labels still runs.
phase "ctest without a label" ctest --test-dir build-test --output-on-failure -j"$jobs" \
    -LE '^(unit|fuzz|integration)$' "$@" || failed="$failed unlabelled"

phase "configure clang fuzz" configure_fuzz
phase "build clang fuzz target" cmake --build build-fuzz --target fuzz_effect_file
phase "ctest clang fuzz target" ctest --test-dir build-fuzz --output-on-failure -R '^fuzz_effect_file$' ||
    failed="$failed clang-fuzz"

[ -z "$failed" ]
