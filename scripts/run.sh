#!/bin/sh
# Sets up a fresh Debian 12 machine, builds the program and starts it.
# With no bootloader attached it runs on the simulated bench; pass --hardware
# to use the real USB device instead.
set -e
cd "$(dirname "$0")/.."
./scripts/setup-deps.sh
BUILD=${CORVANE_BUILD_DIR:-build}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD" -j"$(nproc)" --target corvane
if [ "$1" = "--hardware" ]; then
    exec "$BUILD/shell/corvane"
fi
exec "$BUILD/shell/corvane" --simulate
