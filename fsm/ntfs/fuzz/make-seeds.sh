#!/usr/bin/env bash
# Seed corpus for ntfs_fuzz: small volumes made by mkntfs, with files added by
# ntfscp where that works (no FUSE needed).
set -euo pipefail
out=$1
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for size in 2 3; do
  truncate -s ${size}M "$out/empty-$size.img"
  mkntfs -F -Q -q -s 512 -c 512 "$out/empty-$size.img" > /dev/null 2>&1
done
cp "$out/empty-2.img" "$out/files.img"
head -c 3000 /dev/urandom > "$work/a"
ntfscp -f "$out/files.img" "$work/a" a > /dev/null 2>&1 || true
