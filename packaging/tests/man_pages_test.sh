#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The manual pages render without a groff warning, and corvane-cli(1) names
# every option that "corvane-cli --help" lists and has its hand-written sections.
# Usage: man_pages_test.sh CORVANE_CLI CLI_PAGE OTHER_PAGE...
set -u
cli=$1
cli_page=$2
shift 2
if ! command -v groff >/dev/null 2>&1; then
    echo "groff is not installed: the manual pages are not checked"
    exit 77
fi
failed=0
for page in "$cli_page" "$@"; do
    if [ ! -f "$page" ]; then
        echo "FAIL: $page was not built"
        failed=1
        continue
    fi
    warnings=$(LC_ALL=C.UTF-8 groff -ww -man -z -K utf8 "$page" 2>&1)
    if [ -n "$warnings" ]; then
        echo "FAIL: groff warns about $page:"
        echo "$warnings"
        failed=1
    fi
done

# The page as plain text: the roff escapes of minus signs and fonts removed.
text=$(sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\[,/]//g' "$cli_page")
options=$(LC_ALL=C "$cli" --help | grep -oE '^ {1,8}(-[A-Za-z0-9], )?--[A-Za-z0-9][A-Za-z0-9-]*' |
    tr ', ' '\n\n' | grep . | sort -u)
[ -n "$options" ] || { echo "FAIL: no options found in corvane-cli --help"; failed=1; }
for option in $options; do
    if ! printf '%s\n' "$text" | grep -qE -- "(^|[^A-Za-z0-9-])$option([^A-Za-z0-9-]|\$)"; then
        echo "FAIL: $option of corvane-cli --help is missing from $cli_page"
        failed=1
    fi
done
for section in ENVIRONMENT FILES EXAMPLES 'SEE ALSO'; do
    printf '%s\n' "$text" | grep -q "^\.SH \"\?$section" ||
        { echo "FAIL: $cli_page has no $section section"; failed=1; }
done
printf '%s\n' "$text" | grep -qi 'exit status' ||
    { echo "FAIL: $cli_page lists no exit status"; failed=1; }
[ $failed -eq 0 ] && echo "manual pages: $(echo $options | wc -w) options of corvane-cli documented, no warnings"
exit $failed
