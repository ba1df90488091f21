#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# corvane-cli through the libusb stand-in on realistic bench chips: eight
# chips with "-d 0-7 write --erase" against one chip with "-d 0", the sparse
# fixture image, several runs each; prints the median wall times and their
# ratio (goal: 1.15 or less).
# Usage: scripts/bench-standin.sh [build folder] [runs]   (default: build, 3)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
runs=${2:-3}
cmake --build "$build" --target corvane-cli corvane_usb_standin >/dev/null
cli=$build/cli/corvane-cli
standin=$build/sim/libcorvane-usb-standin.so
image=$root/cli/bench/fixtures/blink_uart.hex

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
n=0
while [ $n -lt 8 ]; do
    printf '[slot %d]\ntiming = realistic\n' $n >>"$work/bench.conf"
    n=$((n + 1))
done

# Median wall time in seconds of "runs" runs of the tool with these devices.
median() {
    i=0
    while [ $i -lt "$runs" ]; do
        start=$(date +%s%N)
        CORVANE_SIM_DIR=$work LD_PRELOAD=$standin "$cli" -q -d "$1" write --erase --flash "$image" >/dev/null
        end=$(date +%s%N)
        echo $(((end - start) / 1000))
        i=$((i + 1))
    done | sort -n | awk '{ v[NR] = $1 } END { printf "%.3f\n", v[int((NR + 1) / 2)] / 1e6 }'
}

one=$(median 0)
eight=$(median 0-7)
echo "one chip:    $one s (median of $runs)"
echo "eight chips: $eight s (median of $runs)"
awk -v a="$eight" -v b="$one" 'BEGIN { printf "ratio:       %.3f (goal 1.15)\n", a / b }'
