#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build below a staging folder as the package does and validates
# the AppStream data there, together with the desktop entry and icon it names.
# Usage: appstream_test.sh CMAKE BUILD_DIR PROJECT_VERSION
set -u
cmake=$1
build=$2
version=$3
if ! command -v appstreamcli >/dev/null 2>&1; then
    echo "appstreamcli is not installed (package appstream): the AppStream data is not checked"
    exit 77
fi
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR=$stage "$cmake" --install "$build" --prefix /usr >"$stage.log" 2>&1 || {
    cat "$stage.log"
    rm -f "$stage.log"
    exit 1
}
rm -f "$stage.log"
set -- "$stage"/usr/share/metainfo/*.metainfo.xml
[ -f "$1" ] || { echo "FAIL: no metainfo file installed"; exit 1; }
appstreamcli validate --no-net --explain "$@" || exit 1
appstreamcli validate-tree --no-net --explain "$stage" || exit 1
newest=$(grep -o '<release version="[^"]*"' "$1" | head -n 1 | cut -d'"' -f2)
if [ "$newest" != "$version" ]; then
    echo "FAIL: the newest release in the AppStream data is '$newest', the project's version is $version:"
    echo "add a <release> for $version to packaging/corvane.metainfo.xml.in"
    exit 1
fi
