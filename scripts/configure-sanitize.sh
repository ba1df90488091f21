#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Configures BUILD (default build-sanitize) for the sanitizer suite and the
# fuzz targets: clang, AddressSanitizer and UndefinedBehaviorSanitizer with
# every finding fatal, warnings as errors, tests and fuzz targets on.
set -e
cd "$(dirname "$0")/.."
BUILD=${1:-build-sanitize}
SAN="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
exec cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_C_FLAGS="$SAN" -DCMAKE_CXX_FLAGS="$SAN" \
    -DCMAKE_EXE_LINKER_FLAGS="$SAN" -DCMAKE_SHARED_LINKER_FLAGS="$SAN" \
    -DCORVANE_WERROR=ON -DCORVANE_BUILD_TESTS=ON -DCORVANE_BUILD_FUZZERS=ON
