#!/usr/bin/env bash
# Seed corpus for ext4_fuzz: small volumes made by mkfs.ext4 with a few files.
set -euo pipefail
out=$1
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src/d/e"
echo small > "$work/src/d/a"
head -c 5000 /dev/urandom > "$work/src/d/e/b"
ln "$work/src/d/a" "$work/src/link"
mkfs.ext4 -q -F -b 1024 -N 16 -O ^has_journal -d "$work/src" "$out/extents.img" 256K
mkfs.ext4 -q -F -t ext2 -b 1024 -N 16 -d "$work/src" "$out/blockmap.img" 256K
mkfs.ext4 -q -F -b 1024 -N 16 -O ^has_journal,inline_data -d "$work/src" "$out/inline.img" 256K
