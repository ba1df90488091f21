#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Lists the files of the source tree, one path per line relative to its top
# folder, in byte order: what a checkout or an unpacked source archive holds,
# without what builds and editors leave in it (the build folders and files
# that .gitignore names). Needs no git, so the checks that use it work the
# same on a clone and on a source archive.
#
#   scripts/source-files.sh [EXTENDED_REGEX]   only the paths that match
set -eu
cd "$(dirname "$0")/.."
find . \( -path ./.git -o -type d \( -path './build*' -o -path ./out -o -path ./.cache \) \) -prune -o \
    \( -type f -o -type l \) ! -name '*.user' ! -name compile_commands.json -print |
    sed 's|^\./||' | LC_ALL=C sort | { grep -E -- "${1:-.}" || true; }
