#!/bin/sh
# Sets up a fresh Debian 12 machine, builds everything with warnings as errors
# and runs every test through CTest.
set -e
cd "$(dirname "$0")/.."
./scripts/setup-deps.sh
BUILD=${CORVANE_BUILD_DIR:-build}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_WERROR=ON -DCORVANE_BUILD_TESTS=ON
cmake --build "$BUILD" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$BUILD" --output-on-failure -j"$(nproc)" --timeout 300
