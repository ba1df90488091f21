#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Every C++ source and header of the repository is formatted as the
# repository's .clang-format says; prints the files that are not and fails.
# Fix them with: clang-format -i FILE...
set -u
cd "$(dirname "$0")/.."
format=$(command -v clang-format || command -v clang-format-14 || true)
if [ -z "$format" ]; then
    echo "check-format: clang-format is not installed" >&2
    exit 2
fi
files=$(./scripts/source-files.sh '\.(cpp|h)$')
if [ -z "$files" ]; then
    echo "check-format: no C++ sources found below $(pwd)" >&2
    exit 2
fi
bad=""
for file in $files; do
    "$format" --dry-run --Werror "$file" >/dev/null 2>&1 || bad="$bad $file"
done
if [ -n "$bad" ]; then
    echo "check-format: not clang-format clean (fix with clang-format -i):"
    printf '  %s\n' $bad
    exit 1
fi
echo "check-format: $(echo "$files" | wc -l) files clean"
