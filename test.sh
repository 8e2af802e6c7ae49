#!/bin/sh
# Installs what is missing, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test (unit and integration).
set -e
cd "$(dirname "$0")"
./deps.sh
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZT_SANITIZE=ON -DZT_WERROR=ON >/dev/null
cmake --build build-test
export SDL_VIDEODRIVER=offscreen ALSOFT_DRIVERS=null ZT_UNATTENDED=1
export ASAN_OPTIONS=detect_leaks=1
export LSAN_OPTIONS="suppressions=$PWD/tests/leaks.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd build-test
ctest --output-on-failure -j"$(nproc)" "$@"
