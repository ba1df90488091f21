#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# clang-tidy with the repository's .clang-tidy on every program source (tests
# excluded), using the compile commands of a configured and built build folder.
# Fails on any finding that scripts/tidy-baseline.txt does not list; entries
# of the baseline that no longer occur are reported so they can be removed.
#
#   scripts/check-tidy.sh [BUILD_DIR]      (default: build, or $CORVANE_BUILD_DIR)
set -u
cd "$(dirname "$0")/.."
build=${1:-${CORVANE_BUILD_DIR:-build}}
tidy=$(command -v run-clang-tidy || command -v run-clang-tidy-14 || true)
if [ -z "$tidy" ]; then
    echo "check-tidy: run-clang-tidy is not installed (package clang-tidy)" >&2
    exit 2
fi
if [ ! -f "$build/compile_commands.json" ]; then
    echo "check-tidy: $build/compile_commands.json is missing: configure and build $build first" >&2
    exit 2
fi
root=$(pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

./scripts/source-files.sh '\.cpp$' | grep -v '/tests/' | sed "s|^|$root/|" >"$out/files"
if [ ! -s "$out/files" ]; then
    echo "check-tidy: no program sources found below $root" >&2
    exit 2
fi
# shellcheck disable=SC2046
"$tidy" -p "$build" -j "$(nproc)" -quiet $(cat "$out/files") >"$out/log" 2>&1
# One line per finding: "path: message [check]", without line numbers, so the
# baseline survives edits elsewhere in a file; a header's finding appears once.
sed -e 's/\x1b\[[0-9;]*m//g' "$out/log" |
    grep -E '^/[^:]+:[0-9]+:[0-9]+: (warning|error): ' |
    sed -E -e "s|^$root/||" -e 's/^([^:]+):[0-9]+:[0-9]+: (warning|error): /\1: /' \
        -e 's/,-warnings-as-errors\]$/]/' |
    sort -u >"$out/findings"
grep -v '^#' scripts/tidy-baseline.txt | grep . | sort -u >"$out/baseline"

comm -23 "$out/findings" "$out/baseline" >"$out/new"
comm -13 "$out/findings" "$out/baseline" >"$out/gone"
if [ -s "$out/gone" ]; then
    echo "check-tidy: these baseline entries no longer occur; remove them from scripts/tidy-baseline.txt:"
    cat "$out/gone"
fi
if [ -s "$out/new" ]; then
    echo "check-tidy: $(wc -l <"$out/new") new finding(s):"
    cat "$out/new"
    echo "Details (with line numbers):"
    sed -e 's/\x1b\[[0-9;]*m//g' "$out/log" | grep -E '(warning|error|note): ' | grep -v 'warnings generated'
    exit 1
fi
echo "check-tidy: $(wc -l <"$out/files") files, no new findings ($(wc -l <"$out/baseline") known in the baseline)"
