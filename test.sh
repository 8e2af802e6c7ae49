#!/bin/sh
# Installs what is missing, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test (unit and integration);
# then builds the fuzz targets with clang and replays their seed and crash
# inputs.
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
cd ..

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZT_FUZZ=ON -DZT_BENCH=OFF -DZT_WERROR=ON \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build-fuzz --target zt_fuzz
cd build-fuzz
ctest --output-on-failure -j"$(nproc)" -L fuzz
