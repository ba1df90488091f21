#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from the sources as scripts/build-deb.sh does
# (dpkg-buildpackage and lintian: no error, no warning without a reason in
# the overrides), then checks that the package ships exactly what
# `cmake --install` of the build folder puts below /usr, with the udev rule
# where debhelper puts it and the Debian files beside them.
# Usage: deb_package_test.sh SOURCE_DIR CMAKE BUILD_DIR PROJECT_VERSION WORK_DIR
set -u
src=$1
cmake=$2
build=$3
project_version=$4
work=$5

missing=""
for tool in dpkg-buildpackage dpkg-checkbuilddeps dh lintian; do
    command -v "$tool" >/dev/null 2>&1 || missing="$missing $tool"
done
if [ -n "$missing" ]; then
    echo "not installed:$missing (scripts/setup-deps.sh installs them): the package is not built"
    exit 77
fi
if ! dpkg-checkbuilddeps "$src/packaging/debian/control"; then
    echo "the package's build dependencies are missing (scripts/setup-deps.sh installs them)"
    exit 77
fi

# A version bump needs its changelog entry: the package takes its version
# from the changelog, the programs theirs from CMake.
version=$(dpkg-parsechangelog -l "$src/packaging/debian/changelog" -S Version)
if [ "${version%-*}" != "$project_version" ]; then
    echo "FAIL: the changelog's newest entry is $version, the project's version is $project_version:"
    echo "add an entry for $project_version-1 to packaging/debian/changelog"
    exit 1
fi

rm -rf "$work"
mkdir -p "$work"
if ! sh "$src/scripts/build-deb.sh" --no-install "$work/out" >"$work/build.log" 2>&1; then
    tail -n 60 "$work/build.log"
    exit 1
fi
sed -n '/^build-deb: lintian/,$p' "$work/build.log"
deb=$work/out/corvane_${version}_$(dpkg-architecture -q DEB_HOST_ARCH).deb
[ -f "$deb" ] || { echo "FAIL: no $deb"; exit 1; }

stage=$work/stage
DESTDIR=$stage "$cmake" --install "$build" --prefix /usr >"$work/install.log" 2>&1 || {
    cat "$work/install.log"
    exit 1
}
rule=usr/lib/udev/rules.d/70-corvane.rules
[ -f "$stage/$rule" ] || { echo "FAIL: the install has no $rule"; exit 1; }
{
    (cd "$stage" && find . ! -type d) | sed 's|^\./||; s|^usr/lib/udev/|lib/udev/|'
    printf '%s\n' usr/share/doc/corvane/copyright usr/share/doc/corvane/changelog.Debian.gz
} | sort >"$work/expected.txt"
dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./||' | sort >"$work/packaged.txt"
if ! diff -u "$work/expected.txt" "$work/packaged.txt"; then
    echo "FAIL: the package (+) differs from the install of the build folder with the Debian files (-)"
    exit 1
fi
mkdir -p "$work/unpacked"
dpkg-deb -x "$deb" "$work/unpacked"
cmp "$src/packaging/70-corvane.rules" "$work/unpacked/lib/udev/rules.d/70-corvane.rules" || exit 1
echo "the package ships the install of the build folder, the rule in /lib/udev/rules.d and the Debian files"
