#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs one fuzz target for SECONDS (default 600) on its seed corpus in
# fuzz/corpus/TARGET and what earlier runs found (BUILD/fuzz-corpus/TARGET).
# An input that breaks the target is kept as BUILD/fuzz-crashes/TARGET/... and
# the script fails. Builds the target in the sanitizer build folder first.
# A long run explores a different path on every machine: it is for people
# hunting faults; CI runs the repeatable scripts/fuzz-check.sh. A finding
# becomes a seed in fuzz/corpus/TARGET and a regression case in the normal
# tests (README, "Sanitizers and fuzzing").
#
#   scripts/fuzz.sh --list                 the targets
#   scripts/fuzz.sh intel_hex 3600         one hour on the Intel HEX reader
#   scripts/fuzz.sh intel_hex -- -jobs=2   further arguments go to libFuzzer
set -e
cd "$(dirname "$0")/.."
TARGETS="intel_hex srecord file_io settings device_answers command_line"
if [ "${1:-}" = "--list" ]; then
    echo "$TARGETS"
    exit 0
fi
TARGET=${1:?"usage: scripts/fuzz.sh TARGET [SECONDS] [-- libFuzzer options] (--list: targets)"}
case " $TARGETS " in
*" $TARGET "*) ;;
*)
    echo "unknown fuzz target '$TARGET'; targets: $TARGETS" >&2
    exit 2
    ;;
esac
shift
SECONDS_TO_RUN=600
if [ $# -gt 0 ] && [ "$1" != "--" ]; then
    SECONDS_TO_RUN=$1
    shift
fi
[ "${1:-}" = "--" ] && shift

BUILD=${CORVANE_FUZZ_BUILD_DIR:-build-sanitize}
[ -f "$BUILD/build.ninja" ] || ./scripts/configure-sanitize.sh "$BUILD" >/dev/null
cmake --build "$BUILD" --target "fuzz_$TARGET" -j"$(nproc)" >/dev/null

. ./scripts/sanitizer-env.sh
FOUND="$BUILD/fuzz-corpus/$TARGET"
CRASHES="$BUILD/fuzz-crashes/$TARGET"
# The fuzzer gets a copy of the committed seeds, so that no option given to
# it can change them.
SEEDS="$BUILD/fuzz-seeds/$TARGET"
rm -rf "$SEEDS"
mkdir -p "$FOUND" "$CRASHES" "$SEEDS"
cp fuzz/corpus/"$TARGET"/* "$SEEDS/"
LOG="$BUILD/fuzz-$TARGET.log"
echo "fuzzing $TARGET for ${SECONDS_TO_RUN} s"
# New inputs go to the first folder.
status=0
"$BUILD/fuzz/fuzz_$TARGET" -max_total_time="$SECONDS_TO_RUN" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$CRASHES/" "$@" "$FOUND" "$SEEDS" >"$LOG" 2>&1 ||
    status=$?
# The fuzzer's progress lines stay in the log; its findings and totals are shown.
grep -v -e '^#[0-9]' -e '^INFO: ' "$LOG" || true
if [ "$status" -ne 0 ]; then
    echo "fuzz target $TARGET failed (status $status); the input is kept in $CRASHES, the log in $LOG" >&2
    exit 1
fi
