#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the whole suite with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer in its own build folder (every finding ends the
# test that made it, leaks in the program's code included), runs it, then
# runs the fuzz step (scripts/fuzz-check.sh): each fuzz target on its seed
# corpus and a fixed number of new inputs from a fixed seed, the same inputs
# in every run.
#
#   scripts/test-sanitize.sh                             tests and the fuzz step
#   CORVANE_FUZZ_RUNS=0 scripts/test-sanitize.sh         tests only
set -e
cd "$(dirname "$0")/.."
./scripts/setup-deps.sh
BUILD=${CORVANE_SANITIZE_DIR:-build-sanitize}

./scripts/configure-sanitize.sh "$BUILD"
cmake --build "$BUILD" -j"$(nproc)"

. ./scripts/sanitizer-env.sh
# lsusb is a system program without the sanitizers' runtime: it cannot load
# the instrumented libusb stand-in, so that one check runs in the normal suite
# only. So does the Debian package's, which builds its own copy of the sources
# with Debian's flags and would only repeat the normal suite's run.
QT_QPA_PLATFORM=offscreen ctest --test-dir "$BUILD" --output-on-failure -j"$(nproc)" --timeout 600 \
    -E '^(standin_lsusb_lists_the_bench|packaging_debian_package)$'

if [ "${CORVANE_FUZZ_RUNS:-}" != 0 ]; then
    ./scripts/fuzz-check.sh "$BUILD"
fi
