#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian 12 packages that building, running and testing need,
# and every tool that the scripts and tests call (a minimal Debian 12 has
# little more than apt, coreutils, grep, sed, findutils, tar and gzip).
# Runs apt only when something is missing, so repeated calls are quick.
set -e
PKGS="build-essential cmake pkg-config ninja-build
qt6-base-dev qt6-base-dev-tools libgl-dev
libusb-1.0-0-dev usbutils
libgtest-dev libgmock-dev libbenchmark-dev
xvfb xauth x11-utils imagemagick fonts-dejavu-core fonts-liberation2
srecord binutils hyperfine dpkg-dev file
desktop-file-utils libxcb1-dev
help2man groff-base bash-completion appstream lintian debhelper
clang-tidy clang-format
clang libclang-rt-14-dev"

missing=""
for p in $PKGS; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
        echo "setup-deps: missing packages:$missing; run this as root, or install sudo" >&2
        exit 1
    fi
    SUDO="sudo"
fi
echo "Installing:$missing"
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -qq
# shellcheck disable=SC2086
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
