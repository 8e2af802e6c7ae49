#!/bin/sh
# Installs what is missing, builds the game and starts it in the bundled data directory.
set -e
cd "$(dirname "$0")"
./deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target zt
cd data
exec ../build/zt "$@"
