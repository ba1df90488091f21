#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian packages from this source tree with dpkg-buildpackage and
# checks them with lintian.
#
#   scripts/build-deb.sh [--source] [--no-install] [OUTPUT_DIR]
#
# The sources are copied to OUTPUT_DIR/tree/corvane-VERSION with
# packaging/debian as its debian/ folder (build folders, out/ and .git are
# left behind; git is not needed), then `dpkg-buildpackage -us -uc -b` runs
# there. The .deb files, the .changes and .buildinfo files and lintian.log
# land in OUTPUT_DIR (default out/deb); the copy is removed after a
# successful build.
#
#   --source      also make the source package (.dsc, .orig.tar.xz and
#                 .debian.tar.xz) for sbuild or pbuilder
#   --no-install  fail when a build dependency is missing instead of
#                 installing it (with sudo when not root)
#
# Fails when the build fails, or when lintian reports an error or a warning
# (an override in packaging/debian/corvane.lintian-overrides, with its
# reason in a comment, would silence one).
set -eu
src=$(cd "$(dirname "$0")/.." && pwd)
source_too=0
install=1
out=""
for arg; do
    case $arg in
    --source) source_too=1 ;;
    --no-install) install=0 ;;
    -*) echo "build-deb: unknown option $arg" >&2; exit 2 ;;
    *) [ -z "$out" ] || { echo "build-deb: one output folder only" >&2; exit 2; }; out=$arg ;;
    esac
done
out=${out:-$src/out/deb}
[ -f "$src/packaging/debian/control" ] || { echo "build-deb: $src/packaging/debian/control is missing" >&2; exit 1; }

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
apt_install() {
    if [ $install -eq 0 ]; then
        echo "build-deb: missing: $* (run scripts/build-deb.sh without --no-install to install it)" >&2
        exit 1
    fi
    echo "build-deb: installing $*"
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@"
}
# The tools that read debian/ and check the result; the packages the build
# itself needs are read from debian/control below.
tools=""
for pair in dpkg-buildpackage:dpkg-dev dh:debhelper lintian:lintian; do
    command -v "${pair%%:*}" >/dev/null 2>&1 || tools="$tools ${pair#*:}"
done
# shellcheck disable=SC2086
[ -z "$tools" ] || apt_install $tools

mkdir -p "$out"
out=$(cd "$out" && pwd)
# An output folder inside the sources must be in a folder that is not copied.
case $out/ in
"$src"/*)
    top=${out#"$src"/}
    top=${top%%/*}
    case $top in
    out | build*) ;;
    *)
        [ -f "$src/$top/CMakeCache.txt" ] || {
            rmdir "$out" 2>/dev/null || true
            echo "build-deb: put the output folder outside the sources, or below out/ or a build folder" >&2
            exit 2
        }
        ;;
    esac
    ;;
esac
version=$(dpkg-parsechangelog -l "$src/packaging/debian/changelog" -S Version)
upstream=${version%-*}
work=$out/tree
tree=$work/corvane-$upstream
rm -rf "$work"
mkdir -p "$tree"

# Everything but version control, build folders (any folder with a
# CMakeCache.txt) and earlier output; a debian/ folder at the top is made
# afresh from packaging/debian.
for entry in "$src"/* "$src"/.[!.]*; do
    [ -e "$entry" ] || continue
    name=${entry##*/}
    case $name in
    .git | .cache | out | build* | debian) continue ;;
    esac
    [ -f "$entry/CMakeCache.txt" ] && continue
    cp -a "$entry" "$tree/"
done
if [ $source_too -eq 1 ]; then
    # The upstream tarball is the tree as it is, without debian/.
    tar -C "$work" --sort=name --owner=0 --group=0 --numeric-owner -cJf \
        "$work/corvane_$upstream.orig.tar.xz" "corvane-$upstream"
fi
cp -a "$src/packaging/debian" "$tree/debian"

if ! (cd "$tree" && dpkg-checkbuilddeps) 2>"$work/builddeps.txt"; then
    cat "$work/builddeps.txt" >&2
    [ $install -eq 1 ] || { echo "build-deb: build dependencies are missing" >&2; exit 1; }
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get build-dep -y -qq --no-install-recommends "$tree"
fi

if [ $source_too -eq 1 ]; then
    what="-us -uc"
else
    what="-us -uc -b"
fi
DEB_BUILD_OPTIONS=${DEB_BUILD_OPTIONS:-parallel=$(nproc)}
export DEB_BUILD_OPTIONS
# shellcheck disable=SC2086
(cd "$tree" && dpkg-buildpackage $what) || {
    echo "build-deb: dpkg-buildpackage failed; the build tree is kept in $tree" >&2
    exit 1
}

changes=corvane_${version}_$(dpkg-architecture -q DEB_HOST_ARCH).changes
# What the .changes file lists, the file itself and the upstream tarball
# (which the .changes of a Debian revision after the first leaves out) go to
# the output folder.
results=$(sed -n '/^Files:/,/^[^ ]/s/^ [0-9a-f]\{32\} [0-9]* [^ ]* [^ ]* \(.*\)$/\1/p' "$work/$changes")
if [ $source_too -eq 1 ] && ! echo "$results" | grep -q '\.orig\.'; then
    results="$results corvane_$upstream.orig.tar.xz"
fi
for file in $results; do
    rm -f "$out/$file"
    mv "$work/$file" "$out/"
done
mv "$work/$changes" "$out/"
rm -rf "$work"

echo "build-deb: lintian on $changes"
status=0
lintian --fail-on error,warning --display-info "$out/$changes" >"$out/lintian.log" 2>&1 || status=$?
# The note that lintian runs as root is about the run, not the package.
grep -v 'running with root privileges' "$out/lintian.log" || true
if [ $status -ne 0 ]; then
    echo "build-deb: lintian failed or found errors or warnings (exit status $status); see $out/lintian.log" >&2
    exit 1
fi
echo "build-deb: lintian: no errors, no warnings"
echo "build-deb: in $out:"
for file in $results $changes lintian.log; do
    echo "  $file"
done
