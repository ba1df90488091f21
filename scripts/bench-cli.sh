#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Benchmarks of the command-line tool and the window's start-up:
#   1. corvane-cli's jobs on realistic simulated chips (wall time, requests
#      and the timing model's floor for each), in the tool's own process;
#   2. the whole tool process writing the sparse fixture onto a blank
#      realistic chip, with hyperfine;
#   3. corvane-cli convert of a 64 KiB Intel HEX file (4,096 records of 16
#      bytes) against objcopy on the same file, with hyperfine;
#   4. the window's start-up to Ready on Qt's offscreen platform.
# Usage: scripts/bench-cli.sh [build folder]   (default: build-bench)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_BUILD_BENCHMARKS=ON >/dev/null
cmake --build "$build" --target corvane-cli corvane_cli_bench corvane >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

echo "== the tool's jobs on the realistic bench"
"$build/cli/corvane_cli_bench"

echo "== whole process: sparse write onto a blank realistic chip"
mkdir -p "$work/sparse"
printf '[slot 0]\ntiming = realistic\n' >"$work/sparse/bench.conf"
hyperfine -N --warmup 2 --runs 10 --prepare "rm -rf $work/sparse/slot-0" \
    -n "write --flash" "$build/cli/corvane-cli -q --simulate=$work/sparse write --flash $root/cli/bench/fixtures/blink_uart.hex"

echo "== convert of a 64 KiB Intel HEX file"
awk 'BEGIN {
    for (r = 0; r < 4096; r++) {
        a = r * 16; line = sprintf(":10%04X00", a); sum = 16 + int(a / 256) + a % 256
        for (i = 0; i < 16; i++) { b = (a + i) * 13 % 255; line = line sprintf("%02X", b); sum += b }
        printf "%s%02X\r\n", line, (256 - sum % 256) % 256
    }
    printf ":00000001FF\r\n"
}' >"$work/in.hex"
hyperfine -N --warmup 10 --runs 200 \
    -n corvane-cli "$build/cli/corvane-cli convert --truncate $work/in.hex $work/out.bin" \
    -n objcopy "objcopy -I ihex -O binary $work/in.hex $work/obj.bin"

echo "== window start-up to Ready (offscreen), 20 runs"
mkdir -p "$work/home" "$work/bench"
i=0
while [ $i -lt 20 ]; do
    HOME=$work/home XDG_RUNTIME_DIR=$work/home QT_QPA_PLATFORM=offscreen \
        CORVANE_STARTUP_PROBE=$(date +%s%N) "$build/shell/corvane" --simulate "$work/bench" 2>&1 |
        sed -n 's/^ready after \([0-9.]*\) ms$/\1/p'
    i=$((i + 1))
done | sort -n | awk '{ v[NR] = $1 } END {
    printf "runs %d, min %.1f ms, median %.1f ms, max %.1f ms\n", NR, v[1], v[int((NR + 1) / 2)], v[NR] }'
