#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sources the bash completion of corvane-cli and checks what Tab offers.
# Usage: completion_test.sh CORVANE_CLI COMPLETION_FILE
set -u
cli=$(realpath "$1")
completion=$2
framework=/usr/share/bash-completion/bash_completion
if [ ! -r "$framework" ]; then
    echo "bash-completion is not installed ($framework): the completion is not checked"
    exit 77
fi
# shellcheck disable=SC1090
. "$framework"
# shellcheck disable=SC1090
. "$completion"

failed=0
# offers EXPECTED WORD...: completes the last word of "corvane-cli WORD..."
# and compares the sorted offers with EXPECTED.
offers() {
    local expected=$1
    shift
    COMP_WORDS=("$cli" "$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="${COMP_WORDS[*]}"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _corvane_cli "$cli" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | xargs)
    if [ "$got" != "$expected" ]; then
        echo "FAIL: corvane-cli $* <Tab> offers '$got', expected '$expected'"
        failed=1
    fi
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
touch prog.hex data.bin notes.txt prog.ihx prog.s19 main.mot boot.srec
mkdir images

offers write wr
offers "5130 5131" --controller ''
offers "off on" config --bljb ''
offers "0 1 2 3 4 5 6 7" -d ''
offers "boot.srec data.bin images main.mot prog.hex prog.ihx prog.s19" write --flash ''
offers "boot.srec data.bin images main.mot prog.hex prog.ihx prog.s19" --simulate=./bench convert prog.hex ''
# The folder goes with "=" after --simulate: the next word is the command.
offers "bench blank-check config convert erase info list read run verify write" --simulate ''
offers "attach remove" --simulate bench ''
offers "0 1 2 3 4 5 6 7" --simulate bench attach ''
offers "" --simulate bench attach 0 ''
# --wait takes seconds after "=": nothing to offer, and the next word is the command.
offers "" --wait=
offers "bench blank-check config convert erase info list read run verify write" --wait ''
offers "images" --simulate=im
offers "16 32 8" config --osc ''
offers "boot.srec data.bin images main.mot notes.txt prog.hex prog.ihx prog.s19" write --serial-log ''
offers "prog.hex prog.ihx prog.s19" write --eeprom pr
offers "bin ihex srec" read --format ''

# Every option the tool lists is offered after "-".
listed=$(LC_ALL=C "$cli" --help | grep -oE '^ {1,8}(-[A-Za-z0-9], )?--[A-Za-z0-9][A-Za-z0-9-]*' |
    tr ', ' '\n\n' | grep . | sort -u | xargs)
[ -n "$listed" ] || { echo "FAIL: no options found in corvane-cli --help"; failed=1; }
offers "$listed" info -

[ $failed -eq 0 ] && echo "completion: commands, option values, files and $(echo "$listed" | wc -w) options offered"
exit $failed
