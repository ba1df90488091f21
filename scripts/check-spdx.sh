#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Every source file names its licence in its first lines:
#   SPDX-License-Identifier: GPL-3.0-or-later
# Sources are the C++ files, the CMake files, the scripts, the Debian
# package's rules, the bash completion and the manual page sources.
#
#   scripts/check-spdx.sh            lists the files without the line; fails if there are any
#   scripts/check-spdx.sh --report   lists them and succeeds (while the headers are being added)
set -u
cd "$(dirname "$0")/.."
report=0
[ "${1:-}" = "--report" ] && report=1

missing=""
count=0
sources='\.(cpp|h|c|cmake|sh|h2m)$|(^|/)CMakeLists\.txt$|^scripts/|^\.ci/'
sources="$sources|^packaging/debian/rules$|^packaging/completion/|^packaging/man/.*\.1$"
for file in $(./scripts/source-files.sh "$sources"); do
    count=$((count + 1))
    head -n 5 "$file" | grep -q 'SPDX-License-Identifier: GPL-3.0-or-later' || missing="$missing $file"
done
if [ $count -eq 0 ]; then
    echo "check-spdx: no source files found below $(pwd)"
    exit 1
fi
if [ -z "$missing" ]; then
    echo "check-spdx: all $count source files carry SPDX-License-Identifier: GPL-3.0-or-later"
    exit 0
fi
echo "check-spdx: $(echo $missing | wc -w) of $count source files lack SPDX-License-Identifier: GPL-3.0-or-later:"
printf '  %s\n' $missing
[ $report -eq 1 ] && exit 0
exit 1
