#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes a screenshot of the main window under a virtual X server.
#   scripts/screenshot.sh OUT.png [program arguments...]
# Environment: CORVANE_BUILD_DIR (default build), SHOT_DELAY seconds to wait
# before the picture (default 3), SHOT_TITLE window to capture (default the
# main window).
set -e
cd "$(dirname "$0")/.."
OUT=${1:?usage: scripts/screenshot.sh OUT.png [arguments...]}
shift
case "$OUT" in /*) ;; *) OUT="$PWD/$OUT" ;; esac
BUILD=${CORVANE_BUILD_DIR:-build}
EXE="$PWD/$BUILD/shell/corvane"
[ -x "$EXE" ] || { echo "build the program first: $EXE" >&2; exit 1; }
export SHOT_OUT="$OUT" SHOT_EXE="$EXE" SHOT_DELAY="${SHOT_DELAY:-3}" SHOT_TITLE="${SHOT_TITLE:-Corvane v1.3}"
# A key of its own, so that a copy the user is running does not count.
export CORVANE_INSTANCE_KEY="CORVANE-SCREENSHOT-$$"
xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
    "$SHOT_EXE" "$@" &
    pid=$!
    sleep "$SHOT_DELAY"
    geo=$(xwininfo -name "$SHOT_TITLE" | awk "
        /Absolute upper-left X/ {x=\$4} /Absolute upper-left Y/ {y=\$4}
        /Width:/ {w=\$2} /Height:/ {h=\$2} END {print w \"x\" h \"+\" x \"+\" y}")
    import -window root -crop "$geo" +repage "$SHOT_OUT"
    kill "$pid"
' sh "$@"
echo "wrote $OUT"
