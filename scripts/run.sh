#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up a fresh Debian 12 machine, builds the window, the command-line tool
# and the libusb stand-in, and starts the window: on the
# attached controller when a bootloader (USB 03EB:2FFD) is plugged in, else on
# the simulated bench. --hardware or --simulate chooses explicitly. The window
# needs a graphical session (an X11 or Wayland display).
set -e
cd "$(dirname "$0")/.."
./scripts/setup-deps.sh
BUILD=${CORVANE_BUILD_DIR:-build}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
# The window, the command-line tool, and the libusb stand-in that libusb
# tools can preload to reach the simulated bench.
cmake --build "$BUILD" -j"$(nproc)" --target corvane corvane-cli corvane_usb_standin

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "Built $BUILD/shell/corvane and $BUILD/cli/corvane-cli. The window needs a graphical" >&2
    echo "session (no DISPLAY or WAYLAND_DISPLAY is set): run this from a desktop, or over SSH" >&2
    echo "with X forwarding. The command-line tool needs none: $BUILD/cli/corvane-cli --simulate info" >&2
    exit 1
fi

bootloader_attached() {
    for dev in /sys/bus/usb/devices/*; do
        [ -r "$dev/idVendor" ] && [ -r "$dev/idProduct" ] || continue
        if [ "$(cat "$dev/idVendor")" = "03eb" ] && [ "$(cat "$dev/idProduct")" = "2ffd" ]; then
            return 0
        fi
    done
    return 1
}

case "$1" in
--hardware) exec "$BUILD/shell/corvane" ;;
--simulate) exec "$BUILD/shell/corvane" --simulate ;;
esac
if bootloader_attached; then
    echo "Bootloader attached: starting on the hardware."
    exec "$BUILD/shell/corvane"
fi
echo "No bootloader attached: starting on the simulated bench."
exec "$BUILD/shell/corvane" --simulate
