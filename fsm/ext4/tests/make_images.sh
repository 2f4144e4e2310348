#!/usr/bin/env bash
# Builds the ext4 test images with the real tools into $1:
#   <name>.img and <name>.files (the regular files, one path a line).
# Images that need a loop mount (root) are left out when it is unavailable;
# <name>.skip then says why.
set -euo pipefail
out=$1
mkdir -p "$out"
cd "$out"
rm -rf src ./*.img ./*.files ./*.skip mnt

# A tree with what the walk must get right: many files, a directory spread
# over several blocks, a hard link, an empty file, a sparse file, a long
# symlink (it owns a block) and a name that is not ASCII.
mkdir -p src/docs/deep/er/still src/big src/empty-dir
for i in $(seq 1 240); do
  head -c $(( (i * 997) % 20000 + 1 )) /dev/urandom > "src/big/file-$i.dat"
done
for i in $(seq 1 30); do echo "note $i" > "src/docs/note-$i.txt"; done
head -c 300000 /dev/urandom > src/docs/deep/er/still/large.bin
: > src/empty.txt
echo linked > src/docs/original.txt
ln src/docs/original.txt src/docs/hardlink.txt
truncate -s 3M src/sparse.bin
head -c 8192 /dev/urandom | dd of=src/sparse.bin bs=4096 seek=200 conv=notrunc status=none
head -c 8192 /dev/urandom | dd of=src/sparse.bin bs=4096 seek=600 conv=notrunc status=none
echo "non ascii" > "src/docs/naïve – 日本語.txt"
ln -s "$(printf 'target-%.0s' $(seq 1 20))" src/docs/long-link

# Files with one name only: a hard link comes once, under either name.
manifest() { (cd "$1" && find . -type f -links 1 | sed 's|^\.||' | LC_ALL=C sort) > "$2"; }

mkfs.ext4 -q -F -L basic -b 4096 -d src basic.img 16M
manifest src basic.files
mkfs.ext4 -q -F -L small -b 1024 -d src small1k.img 16M
manifest src small1k.files
mkfs.ext4 -q -F -t ext3 -O ^metadata_csum -b 1024 -d src blockmap.img 16M
manifest src blockmap.files
mkfs.ext4 -q -F -O inline_data -d src inline.img 16M
manifest src inline.files
# Bitmap bits stand for 16 KiB clusters of four blocks here.
mkfs.ext4 -q -F -O bigalloc -C 16384 -b 4096 -d src bigalloc.img 32M
manifest src bigalloc.files
# Damage is patched into a volume without metadata checksums so that each
# fault reaches the structure it targets (and one with them for bad records).
mkfs.ext4 -q -F -O ^metadata_csum -b 4096 -d src plain.img 16M
cp basic.img badrecord.img

# A fragmented volume: fill it with 64 KiB files, delete every other one, then
# grow big files and a directory round-robin with fsync.
if [ "$(id -u)" -ne 0 ]; then
  echo "making a fragmented image needs root (loop mount)" > frag.skip
else
  truncate -s 24M frag.img
  mkfs.ext4 -q -F -L frag -b 4096 -O ^flex_bg frag.img
  mkdir -p mnt
  if ! mount -o loop frag.img mnt 2>/dev/null; then
    echo "loop mount failed: no loop device" > frag.skip
    rm -f frag.img
  else
    mkdir mnt/fill mnt/spread
    i=0
    while head -c 65536 /dev/zero > "mnt/fill/f$i" 2>/dev/null; do i=$((i + 1)); done
    rm -f "mnt/fill/f$i"
    for f in mnt/fill/f*; do n=${f##*/f}; [ $((n % 2)) -eq 0 ] && rm -f "$f"; done
    sync
    for round in $(seq 1 12); do
      for b in 1 2 3 4; do
        head -c 16384 /dev/urandom >> "mnt/big$b.bin" 2>/dev/null || true
        sync -d "mnt/big$b.bin" 2>/dev/null || sync
      done
      for k in $(seq 1 40); do : > "mnt/spread/entry-with-a-long-name-$round-$k"; done
      sync
    done
    # Allocated but never written: an uninitialised extent, still in use.
    fallocate -l 96K mnt/preallocated.bin
    manifest mnt frag.files
    umount mnt
  fi
fi

# The damaged-image table, each fault patched with the real tools into a copy.
large=/docs/deep/er/still/large.bin
cp plain.img dirloop.img
debugfs -w -R "ln /docs /docs/deep/loop" dirloop.img 2>/dev/null
cp plain.img crosslink.img
shared=$(debugfs -R "bmap $large 0" plain.img 2>/dev/null)
debugfs -w -R "sif /big/file-7.dat block[5] $shared" crosslink.img 2>/dev/null
cp plain.img badextent.img
debugfs -w -R "sif $large block[0] 0x1234" badextent.img 2>/dev/null
# A record that fails its checksum: overwrite an inode behind the library's back.
where=$(debugfs -R "imap /docs/note-3.txt" badrecord.img 2>/dev/null | sed -n 's/.*located at block \([0-9]*\), offset \(0x[0-9a-f]*\).*/\1 \2/p')
set -- $where
printf 'garbage!garbage!' | dd of=badrecord.img bs=1 seek=$(( $1 * 4096 + $2 + 8 )) conv=notrunc status=none
cp plain.img zerosuper.img
dd if=/dev/zero of=zerosuper.img bs=1024 seek=1 count=1 conv=notrunc status=none
cp plain.img zerogroups.img
dd if=/dev/zero of=zerogroups.img bs=4096 seek=1 count=1 conv=notrunc status=none
head -c 4M plain.img > truncated.img
head -c 1M /dev/urandom > garbage.img
rm -rf src mnt
