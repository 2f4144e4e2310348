#!/usr/bin/env bash
# Builds the FAT12, FAT16 and FAT32 test images with mkfs.fat and mtools into
# the folder given as $1: a few hundred files, fragmented files and a
# fragmented directory (the volume is filled, every other file deleted, then
# files and directory entries are written into the holes), an empty file and
# names outside ASCII.
set -euo pipefail
out=$1
mkdir -p "$out"
cd "$out"
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# name, FAT bits, size in KiB, size of the filler files in KiB
make_image() {
    local image=$1 bits=$2 kib=$3 fill=$4
    rm -f "$image"
    mkfs.fat -C -F "$bits" -s 1 -S 512 -n "VELK$bits" -i 1234ABCD "$image" "$kib" >/dev/null
    local m=(-i "$image")
    mmd "${m[@]}" ::/docs ::/frag ::/fill ::/docs/deep ::/docs/deep/er
    : >"$work/empty.txt"
    mcopy "${m[@]}" "$work/empty.txt" ::/empty.txt
    head -c 1500 /dev/urandom >"$work/small"
    mcopy "${m[@]}" "$work/small" "::/ünï cödé.txt"
    mcopy "${m[@]}" "$work/small" "::/docs/日本語のファイル名.dat"
    mcopy "${m[@]}" "$work/small" ::/docs/deep/er/bottom.txt
    local files=()
    for i in $(seq 1 40); do
        head -c $((i * 97)) /dev/urandom >"$work/doc$i.txt"
        files+=("$work/doc$i.txt")
    done
    mcopy "${m[@]}" "${files[@]}" ::/docs/
    mcopy "${m[@]}" "$work/small" ::/frag/first.txt
    # Fill to the last cluster, then free every other filler.
    head -c $((fill * 1024)) /dev/urandom >"$work/filler"
    local count=$(( kib / fill + 2 )) fillers=()
    for i in $(seq -w 1 "$count"); do
        cp "$work/filler" "$work/f$i"
        fillers+=("$work/f$i")
    done
    mcopy "${m[@]}" "${fillers[@]}" ::/fill/ 2>/dev/null || true
    local odd=()
    for i in $(seq -w 1 2 "$count"); do odd+=("::/fill/f$i"); done
    mdel "${m[@]}" "${odd[@]}" 2>/dev/null || true
    # The directory grows into the holes while its files take clusters too.
    files=()
    for i in $(seq 1 150); do
        head -c $(( (i % 7) * 300 + 1 )) /dev/urandom >"$work/entry-with-a-long-name-$i.txt"
        files+=("$work/entry-with-a-long-name-$i.txt")
    done
    mcopy "${m[@]}" "${files[@]}" ::/frag/
    head -c $((fill * 1024 * 3 + 5000)) /dev/urandom >"$work/big"
    mcopy "${m[@]}" "$work/big" ::/big1.bin
    mcopy "${m[@]}" "$work/big" ::/docs/big2.bin
}

make_image fat12.img 12 2048 32
make_image fat16.img 16 16384 128
make_image fat32.img 32 40960 256
