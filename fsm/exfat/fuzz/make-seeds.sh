#!/usr/bin/env bash
# Seeds for exfat_fuzz in $1: a small exFAT volume from mkfs.exfat, with a few
# files written through the FUSE driver when a loop device and FUSE are at
# hand, cut after its last used byte (the fuzz target reads the rest as zeros).
set -euo pipefail
out=$1
mkdir -p "$out"
work=$(mktemp -d)
mnt=$(mktemp -d)
dev=
cleanup() {
    mountpoint -q "$mnt" && umount "$mnt"
    [ -n "$dev" ] && losetup -d "$dev" 2>/dev/null
    rm -rf "$work" "$mnt"
}
trap cleanup EXIT
image="$work/exfat.img"
truncate -s 4M "$image"
mkfs.exfat -c 512 -b 4K -L SEED "$image" >/dev/null
cp "$image" "$out/empty.seed.full"
if [ "$(id -u)" -eq 0 ] && [ -e /dev/fuse ] && dev=$(losetup -f --show "$image") &&
    mount.exfat-fuse "$dev" "$mnt" 2>/dev/null; then
    mkdir -p "$mnt/dir/sub"
    echo hello >"$mnt/a.txt"
    head -c 3000 /dev/urandom >"$mnt/dir/long name ä.bin"
    : >"$mnt/dir/sub/empty"
    for i in 1 2 3 4; do head -c 700 /dev/urandom >"$mnt/dir/f$i"; done
    rm "$mnt/dir/f2"
    head -c 2000 /dev/urandom >"$mnt/dir/frag.bin"
    umount "$mnt"
    losetup -d "$dev"
    dev=
fi
heap=$(( $(od -An -tu4 -j88 -N4 "$image") * 512 ))
head -c $((heap + 64 * 512)) "$image" >"$out/files.seed"
head -c $((heap + 64 * 512)) "$out/empty.seed.full" >"$out/empty.seed"
rm "$out/empty.seed.full"
ls -l "$out"
