#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up a fresh Debian 12 machine, checks the formatting, builds everything
# with warnings as errors, runs every test through CTest, and runs clang-tidy.
set -e
cd "$(dirname "$0")/.."
./scripts/setup-deps.sh
./scripts/check-format.sh
BUILD=${CORVANE_BUILD_DIR:-build}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_WERROR=ON -DCORVANE_BUILD_TESTS=ON
cmake --build "$BUILD" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$BUILD" --output-on-failure -j"$(nproc)" --timeout 300
./scripts/check-tidy.sh "$BUILD"
