#!/usr/bin/env bash
# Seeds for fat_fuzz in $1: small FAT12, FAT16 and FAT32 volumes made by
# mkfs.fat and mtools, cut after their last used byte (the fuzz target reads
# the rest as zeros).
set -euo pipefail
out=$1
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8
echo hello >"$work/a.txt"
head -c 3000 /dev/urandom >"$work/b.bin"

seed() {
    local name=$1 keep=$2 kib=$3
    shift 3
    local image="$work/$name"
    mkfs.fat -C -f 1 -r 16 "$@" -n SEED -i 0BADF00D "$image" "$kib" >/dev/null
    mmd -i "$image" ::/dir ::/dir/sub
    mcopy -i "$image" "$work/a.txt" ::/a.txt
    mcopy -i "$image" "$work/b.bin" "::/dir/long name ä.bin"
    mcopy -i "$image" "$work/a.txt" ::/dir/sub/c.txt
    : >"$work/empty"
    mcopy -i "$image" "$work/empty" ::/empty
    head -c "$keep" "$image" >"$out/$name"
}
seed fat12.seed 12288 64 -F 12 -s 1 -S 512
seed fat16.seed 24576 2200 -F 16 -s 1 -S 512
seed fat32.seed 320000 34000 -F 32 -s 1 -S 512
ls -l "$out"
