#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from the build folder and runs lintian on it:
# no error, and no warning that debian/lintian-overrides does not give a
# reason for.
# Usage: lintian_test.sh CPACK BUILD_DIR WORK_DIR
set -u
cpack=$1
build=$2
work=$3
if ! command -v lintian >/dev/null 2>&1; then
    echo "lintian is not installed: the package is not checked"
    exit 77
fi
rm -rf "$work"
mkdir -p "$work"
if ! "$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    exit 1
fi
set -- "$work"/*.deb
[ -f "$1" ] || { echo "FAIL: cpack made no package"; cat "$work/cpack.log"; exit 1; }
# The changelog's newest entry is the package's version.
version=$(dpkg-deb -f "$1" Version)
logged=$(dpkg-deb --fsys-tarfile "$1" | tar -xO ./usr/share/doc/corvane/changelog.Debian.gz | gzip -dc |
    head -n 1 | sed -n 's/^[^ ]* (\([^)]*\)).*/\1/p')
if [ "$logged" != "$version" ]; then
    echo "FAIL: the package is version $version, its changelog's newest entry is '$logged':"
    echo "add an entry for $version to packaging/debian/changelog"
    exit 1
fi
lintian --fail-on error,warning --display-info "$@" >"$work/lintian.log" 2>&1
status=$?
# lintian's note that it runs as root is no finding about the package.
grep -v 'running with root privileges' "$work/lintian.log"
[ $status -eq 0 ] && echo "lintian: no errors, no warnings without a reason"
exit $status
