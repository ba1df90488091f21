#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The fuzz step of CI: each fuzz target runs its committed seed corpus
# (fuzz/corpus/TARGET) and then a fixed number of new inputs made from a fixed
# seed, so a commit that passes once passes every time. Long runs that
# explore further are scripts/fuzz.sh's job.
#
#   scripts/fuzz-check.sh [BUILD]          (default build-sanitize, built first)
#   CORVANE_FUZZ_RUNS=N    N inputs per target instead of the counts below
#   CORVANE_FUZZ_SEED=S    another seed (a different, again repeatable run)
#
# The seeds are copied to a scratch folder first: nothing a run does can
# change the committed corpus. Each target's run lives in
# BUILD/fuzz-check/TARGET (log, new inputs, and any input that broke it).
# The last line gives a digest of everything the runs found: two runs of the
# same commit print the same digest.
set -eu
cd "$(dirname "$0")/.."
BUILD=${1:-build-sanitize}
SEED=${CORVANE_FUZZ_SEED:-19}
# Inputs per target (seeds included), sized so that the five together take
# about two minutes on two cores shared with other work.
RUNS="intel_hex:50000 srecord:40000 file_io:18000 settings:14000 device_answers:30000 command_line:100000"

[ -f "$BUILD/build.ninja" ] || ./scripts/configure-sanitize.sh "$BUILD" >/dev/null
targets=$(./scripts/fuzz.sh --list)
# shellcheck disable=SC2046
cmake --build "$BUILD" -j"$(nproc)" $(for t in $targets; do printf ' --target fuzz_%s' "$t"; done) >/dev/null

. ./scripts/sanitizer-env.sh
# What the code under test sees is the same in every run: the same
# environment (the suppressions named from this folder, Qt's hash tables in
# one order) and, where the system lets a process turn it off, no address
# randomization. Addresses decide how often some loops run (copies that first
# align a pointer), and so what the fuzzer counts as new.
fixed_env="PATH=/usr/bin:/bin QT_HASH_SEED=0 ASAN_OPTIONS=$ASAN_OPTIONS UBSAN_OPTIONS=$UBSAN_OPTIONS"
fixed_env="$fixed_env LSAN_OPTIONS=suppressions=scripts/lsan-suppressions.txt:print_suppressions=0"
no_aslr="setarch $(uname -m) -R"
if ! $no_aslr true 2>/dev/null; then
    echo "fuzz-check: address randomization cannot be turned off here: runs may differ from one another" >&2
    no_aslr=""
fi

runs_of() {
    if [ -n "${CORVANE_FUZZ_RUNS:-}" ]; then
        echo "$CORVANE_FUZZ_RUNS"
        return
    fi
    for entry in $RUNS; do
        [ "${entry%%:*}" = "$1" ] && echo "${entry#*:}" && return
    done
    echo "fuzz-check: no input count for target $1 in RUNS" >&2
    exit 2
}

failed=""
digests=""
for target in $targets; do
    runs=$(runs_of "$target")
    work="$BUILD/fuzz-check/$target"
    rm -rf "$work"
    mkdir -p "$work/seeds" "$work/new" "$work/crashes"
    cp fuzz/corpus/"$target"/* "$work/seeds/"
    status=0
    started=$(date +%s)
    # New inputs go to the first folder. Also for a repeatable run: no reload
    # of the corpus (a timed event); no mutations from the values of compared
    # operands, which include addresses; a per-input time limit that only a
    # hang reaches.
    # shellcheck disable=SC2086
    $no_aslr env -i $fixed_env "$BUILD/fuzz/fuzz_$target" -seed="$SEED" -runs="$runs" -reload=0 -use_cmp=0 \
        -timeout=60 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/crashes/" \
        "$work/new" "$work/seeds" >"$work/log" 2>&1 || status=$?
    digest=$( (cd "$work/new" && ls) | LC_ALL=C sort | sha256sum | cut -c1-16)
    digests="$digests $target:$digest"
    # Coverage and corpus size (not the speed and memory, which vary).
    coverage=$(grep -E '^#[0-9]+[[:space:]]+DONE ' "$work/log" | tail -n 1 |
        sed -E 's/.*(cov: [0-9]+ ft: [0-9]+ corp: [0-9]+\/[0-9]+[A-Za-z]*).*/\1/')
    new=$(find "$work/new" -type f | wc -l)
    if [ "$status" -ne 0 ]; then
        failed="$failed $target"
        echo "fuzz-check: $target FAILED (status $status) after $runs inputs from seed $SEED; its report (log $work/log):"
        grep -v -e '^#[0-9]' -e '^INFO: ' "$work/log" || true
        for input in "$work"/crashes/*; do
            [ -f "$input" ] || continue
            echo "fuzz-check: the input $input as base64 (add it to fuzz/corpus/$target/ with a regression test):"
            base64 -w 0 "$input"
            echo
        done
    else
        echo "fuzz-check: $target passed: $runs inputs from seed $SEED, $new new in the corpus ($coverage)," \
            "digest $digest, $(($(date +%s) - started)) s"
    fi
done
echo "fuzz-check: result digest $(echo "$digests" | sha256sum | cut -c1-16) (seed $SEED)"
if [ -n "$failed" ]; then
    echo "fuzz-check: broken targets:$failed" >&2
    exit 1
fi
