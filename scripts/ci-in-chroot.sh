#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# A developer's check, not part of CI: does `.ci/run` pass on a fresh, minimal
# Debian 12 from a source archive? Makes a new chroot with
# `debootstrap --variant=minbase bookworm`, unpacks `git archive HEAD` of this
# checkout into /root/corvane there and runs, as root in the chroot:
#
#   1. scripts/setup-deps.sh, with the network (it reaches the package
#      archive only: the chroot's apt sources name the mirror and nothing else),
#   2. bash .ci/run, in a network namespace of its own without any network.
#
# Unlike the scripts CI runs, this one needs git (for the archive of HEAD:
# commit first, uncommitted changes are not in it), and root for debootstrap,
# chroot and the mounts (the chroot's root bound onto itself, /proc, /sys,
# /dev, /dev/pts and a /dev/shm of its own, all in a private mount namespace
# that ends with the run). The clock times
# of the three steps are printed at the end and kept in FOLDER.log.
#
#   sudo scripts/ci-in-chroot.sh [--keep] [--mirror URL] [FOLDER]
#
# FOLDER (default: a new folder below /var/tmp) must not exist yet. It is
# removed afterwards unless --keep is given (then chroot into it to look
# around). URL defaults to the first Debian mirror in /etc/apt/sources.list*.
set -eu

keep=0
mirror=""
folder=""
while [ $# -gt 0 ]; do
    case "$1" in
    --keep) keep=1 ;;
    --mirror)
        mirror=${2:?"--mirror needs a URL"}
        shift
        ;;
    -*)
        echo "usage: scripts/ci-in-chroot.sh [--keep] [--mirror URL] [FOLDER]" >&2
        exit 2
        ;;
    *) folder=$1 ;;
    esac
    shift
done

if [ "$(id -u)" -ne 0 ]; then
    echo "ci-in-chroot: needs root (debootstrap, chroot, mounts)" >&2
    exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
git -C "$root" rev-parse --verify -q HEAD >/dev/null || {
    echo "ci-in-chroot: $root is not a git checkout with a commit" >&2
    exit 2
}
if [ -n "$(git -C "$root" status --porcelain --untracked-files=no)" ]; then
    echo "ci-in-chroot: note: uncommitted changes are not in the archive of HEAD"
fi
command -v debootstrap >/dev/null || apt-get install -y -qq debootstrap

# The system's mirrors, from both forms of apt source lists.
mirror_ending() {
    cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null |
        grep -v '^[[:space:]]*#' | grep -oE 'https?://[^[:space:]]+' | sed 's|/$||' | grep -E "$1\$" | head -n 1
}
[ -n "$mirror" ] || mirror=$(mirror_ending '/debian')
[ -n "$mirror" ] || mirror=http://deb.debian.org/debian
security=$(mirror_ending '/debian-security')
[ -n "$security" ] || security=http://deb.debian.org/debian-security

if [ -z "$folder" ]; then
    folder=$(mktemp -d /var/tmp/corvane-ci-chroot.XXXXXX)
    rmdir "$folder"
fi
case "$folder" in /*) ;; *) folder="$(pwd)/$folder" ;; esac
if [ -e "$folder" ]; then
    echo "ci-in-chroot: $folder exists; give a new folder" >&2
    exit 2
fi
log="$folder.log"
: >"$log"
say() { echo "ci-in-chroot: $*" | tee -a "$log"; }

cleanup() {
    [ $keep -eq 1 ] && return
    # Never remove a folder that still has something mounted below it.
    if grep -q " $folder/" /proc/self/mounts; then
        echo "ci-in-chroot: something is still mounted below $folder; not removed" >&2
        return
    fi
    rm -rf --one-file-system "$folder"
}
trap cleanup EXIT

commit=$(git -C "$root" rev-parse --short HEAD)
say "commit $commit, mirror $mirror, chroot $folder"
t0=$(date +%s)
debootstrap --variant=minbase bookworm "$folder" "$mirror" >>"$log" 2>&1 || {
    tail -n 20 "$log"
    exit 1
}
t1=$(date +%s)
say "debootstrap: $((t1 - t0)) s"

cat >"$folder/etc/apt/sources.list" <<EOF
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb $security bookworm-security main
EOF
cp /etc/resolv.conf "$folder/etc/resolv.conf"
mkdir "$folder/root/corvane"
git -C "$root" archive HEAD | tar -x -C "$folder/root/corvane"

# The run itself, in a mount namespace of its own: its mounts end with it.
status=0
unshare -m --propagation private /bin/sh -eu -c '
    folder=$1
    log=$2
    # The root of the chroot is made a mount point, so that programs there
    # can make mount namespaces of their own (unshare -m).
    mount --bind "$folder" "$folder"
    mount -t proc proc "$folder/proc"
    mount -t sysfs sysfs "$folder/sys"
    mount --bind /dev "$folder/dev"
    mount --bind /dev/pts "$folder/dev/pts"
    mount -t tmpfs -o mode=1777 shm "$folder/dev/shm"
    in_chroot() {
        chroot "$folder" /usr/bin/env -i HOME=/root TERM=dumb \
            PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"
    }
    t1=$(date +%s)
    in_chroot /bin/sh -c "cd /root/corvane && ./scripts/setup-deps.sh" >>"$log" 2>&1 || {
        tail -n 20 "$log"
        exit 1
    }
    t2=$(date +%s)
    echo "ci-in-chroot: scripts/setup-deps.sh: $((t2 - t1)) s" | tee -a "$log"
    # No network at all from here on.
    status=0
    in_chroot /usr/bin/unshare --net /bin/bash -c "cd /root/corvane && bash .ci/run" >>"$log" 2>&1 || status=$?
    t3=$(date +%s)
    echo "ci-in-chroot: bash .ci/run: $((t3 - t2)) s, exit status $status" | tee -a "$log"
    exit $status
' sh "$folder" "$log" || status=$?

t3=$(date +%s)
say "total $((t3 - t0)) s on $(nproc) cores; the log is $log"
if [ $status -ne 0 ]; then
    echo "ci-in-chroot: FAILED (the end of the log follows)" >&2
    tail -n 40 "$log" >&2
    exit 1
fi
say "passed"
