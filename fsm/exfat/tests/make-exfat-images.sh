#!/usr/bin/env bash
# Builds the exFAT test images into the folder given as $1 with mkfs.exfat
# and the exFAT FUSE driver on a loop device: a few hundred files, fragmented
# files and a fragmented directory (fill the volume, delete every other file,
# then write into the holes), an empty file, a file extended by truncate, and
# names outside ASCII. Each image's final tree is copied to <image>.files for
# the tests to compare contents with. Exit status 77: no loop device or FUSE.
set -euo pipefail
out=$1
mkdir -p "$out"
cd "$out"
if [ "$(id -u)" -ne 0 ] || [ ! -e /dev/fuse ] || ! command -v losetup >/dev/null ||
    ! command -v mount.exfat-fuse >/dev/null; then
    echo "needs root, losetup, /dev/fuse and mount.exfat-fuse" >&2
    exit 77
fi
work=$(mktemp -d)
mnt=$(mktemp -d)
dev=
cleanup() {
    mountpoint -q "$mnt" && umount "$mnt"
    [ -n "$dev" ] && losetup -d "$dev" 2>/dev/null
    rm -rf "$work" "$mnt"
}
trap cleanup EXIT

# name, size in MiB, cluster size, size of the filler files in KiB
make_image() {
    local image=$1 mib=$2 cluster=$3 fill=$4
    rm -rf "$image" "$image.files"
    truncate -s "${mib}M" "$image"
    mkfs.exfat -c "$cluster" -L VELKEX "$image" >/dev/null
    tune.exfat -I 0x1234abcd "$image" >/dev/null
    if ! dev=$(losetup -f --show "$image") || ! mount.exfat-fuse "$dev" "$mnt" 2>/dev/null; then
        echo "cannot mount $image through a loop device and FUSE" >&2
        exit 77
    fi
    mkdir -p "$mnt/docs/deep/er" "$mnt/frag" "$mnt/fill"
    : >"$mnt/empty.txt"
    head -c 1500 /dev/urandom >"$mnt/ünï cödé.txt"
    head -c 1500 /dev/urandom >"$mnt/docs/日本語のファイル名.dat"
    head -c 1500 /dev/urandom >"$mnt/docs/deep/er/bottom.txt"
    for i in $(seq 1 40); do head -c $((i * 97)) /dev/urandom >"$mnt/docs/doc$i.txt"; done
    head -c 1500 /dev/urandom >"$mnt/frag/first.txt"
    head -c $((fill * 1024)) /dev/urandom >"$work/filler"
    local i=0
    while cp "$work/filler" "$mnt/fill/f$i" 2>/dev/null; do i=$((i + 1)); done
    rm -f "$mnt/fill/f$i"
    for ((j = 0; j < i; j += 2)); do rm -f "$mnt/fill/f$j"; done
    for i in $(seq 1 150); do
        head -c $(( (i % 7) * 300 + 1 )) /dev/urandom >"$mnt/frag/entry-with-a-long-name-$i.txt"
    done
    head -c $((fill * 1024 * 3 + 5000)) /dev/urandom >"$mnt/big1.bin"
    sync
    head -c $((fill * 1024 * 3 + 5000)) /dev/urandom >"$mnt/docs/big2.bin"
    head -c 100 /dev/urandom >"$mnt/extended.bin"
    truncate -s $((fill * 1024)) "$mnt/extended.bin"
    sync
    cp -a "$mnt/." "$image.files/"
    umount "$mnt"
    losetup -d "$dev"
    dev=
}

make_image exfat4k.img 16 4K 64
make_image exfat512.img 4 512 16
