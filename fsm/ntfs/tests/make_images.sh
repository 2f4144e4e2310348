#!/usr/bin/env bash
# Builds the NTFS test images with the real tools into $1: mkntfs makes the
# volume, ntfs-3g (FUSE) fills it. <name>.img and <name>.files (regular files
# with one name, a path a line); without FUSE, <name>.skip says why.
set -euo pipefail
out=$1
mkdir -p "$out"
cd "$out"
rm -rf ./*.img ./*.files ./*.skip mnt

skip() { for n in basic frag; do echo "$1" > "$n.skip"; done; exit 0; }
[ "$(id -u)" -eq 0 ] || skip "filling an NTFS image needs root (FUSE mount with ntfs-3g)"
[ -c /dev/fuse ] || skip "filling an NTFS image needs /dev/fuse"
command -v ntfs-3g > /dev/null || skip "ntfs-3g is not installed"

mkdir -p mnt
mount_image() {
  ntfs-3g -o compression "$1" mnt 2>/dev/null || skip "ntfs-3g could not mount an image (FUSE unavailable)"
}
unmount_image() { sync; umount mnt; }
manifest() { (cd mnt && find . -type f -links 1 | sed 's|^\.||' | LC_ALL=C sort) > "$1"; }

mkntfs -F -Q -q -L basic basic.img 24M > /dev/null 2>&1 || { truncate -s 24M basic.img; mkntfs -F -Q -q -L basic basic.img > /dev/null 2>&1; }
mount_image basic.img
mkdir -p mnt/docs/deep/er/still mnt/big mnt/empty-dir mnt/packed mnt/links
for i in $(seq 1 240); do
  head -c $(( (i * 997) % 20000 + 1 )) /dev/urandom > "mnt/big/file-$i.dat"
done
for i in $(seq 1 30); do echo "note $i" > "mnt/docs/note-$i.txt"; done
head -c 300000 /dev/urandom > mnt/docs/deep/er/still/large.bin
: > mnt/empty.txt
echo linked > mnt/docs/original.txt
ln mnt/docs/original.txt mnt/docs/hardlink.txt
truncate -s 3M mnt/sparse.bin
head -c 8192 /dev/urandom | dd of=mnt/sparse.bin bs=4096 seek=200 conv=notrunc status=none
head -c 8192 /dev/urandom | dd of=mnt/sparse.bin bs=4096 seek=600 conv=notrunc status=none
echo "non ascii" > "mnt/docs/naïve – 日本語.txt"
# Compressed: files made in a directory carrying the compressed attribute.
setfattr -n system.ntfs_attrib_be -v 0x00000800 mnt/packed
for i in 1 2 3; do
  for k in $(seq 1 4000); do echo "compressible line $k of file $i, again and again"; done > "mnt/packed/text-$i.txt"
done
# Many names for one file: its names no longer fit its record, which then
# carries an attribute list.
head -c 50000 /dev/urandom > mnt/links/target.bin
for i in $(seq 1 120); do
  ln mnt/links/target.bin "mnt/links/a-rather-long-name-for-one-more-hard-link-number-$i.bin"
done
head -c 40000 /dev/urandom > mnt/links/single.bin
manifest basic.files
unmount_image

# A fragmented volume: fill it with 16 KiB files, delete every other one, then
# grow big files and a directory round-robin with sync.
truncate -s 32M frag.img
mkntfs -F -Q -q -L frag frag.img > /dev/null 2>&1
mount_image frag.img
mkdir mnt/fill mnt/spread
# Random bytes: ntfs-3g stores runs of zeros as holes, which fill nothing.
head -c 16384 /dev/urandom > chunk.bin
i=0
while cp chunk.bin "mnt/fill/f$i" 2>/dev/null; do i=$((i + 1)); done
rm -f "mnt/fill/f$i"
for f in mnt/fill/f*; do n=${f##*/f}; [ $((n % 2)) -eq 0 ] && rm -f "$f"; done
sync
for round in $(seq 1 12); do
  for b in 1 2 3 4; do
    head -c 16384 /dev/urandom >> "mnt/big$b.bin" 2>/dev/null || true
    sync
  done
  for k in $(seq 1 40); do : > "mnt/spread/entry-with-a-long-name-$round-$k"; done
  sync
done
manifest frag.files
unmount_image
rm -rf mnt chunk.bin
# $Bitmap as the volume holds it, the oracle for the allocation bitmap.
for n in basic frag; do ntfscat "$n.img" '$Bitmap' > "$n.bitmap"; done
