#!/usr/bin/env bash
# Times a whole scan (`velk scan --image`: plug-in walk, bitmap and engine) of a
# 2 GiB volume with ~100,000 files and fragmented big files, ext4 (fsm5) and
# NTFS (fsm0), against the peers on the same image in the same run: e4defrag -c
# and filefrag over every file (ext4, loop-mounted read-only) and
# ntfscluster -i (NTFS). Warm cache, best of 5, whole processes. The images
# are built once into a cache folder.
#
#   bench/fs-readers/ext4-ntfs.sh [build folder] [cache folder]
#
# Needs root, a loop device, FUSE (ntfs-3g), e2fsprogs and ntfs-3g.
set -euo pipefail
build=$(realpath "${1:-build}")
cache=$(realpath -m "${2:-${VELK_BENCH_CACHE:-$HOME/.cache/velk-bench}}")
mkdir -p "$cache"
export LC_ALL=C.UTF-8
velk="$build/bin/velk"
for f in "$velk" "$build/bin/fsm5.so" "$build/bin/fsm0.so" "$build/bin/vk2eng.so" "$build/bin/mountx.so"; do
    [ -e "$f" ] || { echo "build velk, vk2eng, mountx, fsm0 and fsm5 in $build first" >&2; exit 1; }
done
[ "$(id -u)" -eq 0 ] || { echo "needs root (loop and FUSE mounts)" >&2; exit 1; }

# 100,000 small files in 200 folders: hard links to five sources, so the
# local tree costs no space (each copy onto a volume is a file of its own).
make_tree() {
    local tree=$1
    [ -d "$tree" ] && return
    rm -rf "$tree.tmp"
    mkdir -p "$tree.tmp"
    for s in 1 2 3 4 5; do head -c $((s * 900)) /dev/urandom >"$tree.tmp/src$s"; done
    mkdir "$tree.tmp/dir1"
    for f in $(seq 1 500); do ln "$tree.tmp/src$((f % 5 + 1))" "$tree.tmp/dir1/file-$f.txt"; done
    for d in $(seq 2 200); do cp -al "$tree.tmp/dir1" "$tree.tmp/dir$d"; done
    rm "$tree.tmp"/src*
    mv "$tree.tmp" "$tree"
}

# Fill the mounted volume to 100 % with 256 KiB files, delete every other one,
# add the tree, then grow four big files round-robin, each chunk synced.
fragment() {
    local mnt=$1
    mkdir "$mnt/fill"
    head -c 262144 /dev/urandom >"$cache/filler"
    local i=0
    while cp "$cache/filler" "$mnt/fill/f$i" 2>/dev/null; do i=$((i + 1)); done
    for ((j = 0; j < i; j += 2)); do rm -f "$mnt/fill/f$j"; done
    rm -f "$cache/filler"
    cp -r "$cache/tree" "$mnt/"
    for chunk in $(seq 1 60); do
        for b in 1 2 3 4; do
            head -c 1048576 /dev/urandom | dd of="$mnt/big$b.bin" bs=1M oflag=append conv=notrunc,fsync status=none || true
        done
    done
    sync
}

make_ext4() {
    local image=$cache/ext4-100k.img
    [ -f "$image" ] && return
    echo "building $image (once)" >&2
    make_tree "$cache/tree"
    rm -f "$image.tmp"
    truncate -s 2G "$image.tmp"
    mkfs.ext4 -q -F -N 200000 -L BENCH "$image.tmp"
    local mnt
    mnt=$(mktemp -d)
    mount -o loop "$image.tmp" "$mnt"
    fragment "$mnt"
    umount "$mnt"
    rmdir "$mnt"
    mv "$image.tmp" "$image"
}

make_ntfs() {
    local image=$cache/ntfs-100k.img
    [ -f "$image" ] && return
    echo "building $image (once)" >&2
    make_tree "$cache/tree"
    rm -f "$image.tmp"
    truncate -s 2G "$image.tmp"
    mkntfs -F -Q -q -L BENCH "$image.tmp" >/dev/null 2>&1
    local mnt
    mnt=$(mktemp -d)
    ntfs-3g "$image.tmp" "$mnt"
    fragment "$mnt"
    umount "$mnt"
    rmdir "$mnt"
    mv "$image.tmp" "$image"
}

# Best of five wall-clock runs of a command, in seconds.
best_of_5() {
    local best=""
    for run in 1 2 3 4 5; do
        local start end
        start=$(date +%s.%N)
        "$@" >/dev/null 2>&1 || true
        end=$(date +%s.%N)
        best=$(awk -v a="$start" -v b="$end" -v best="$best" 'BEGIN { t = b - a; if (best == "" || t < best) best = t; printf "%.4f", best }')
    done
    echo "$best"
}

ratio() { awk -v peer="$1" -v ours="$2" 'BEGIN { printf "%.1fx", peer / ours }'; }

filefrag_all() { find "$1" -type f -print0 | xargs -0 filefrag >/dev/null; }

make_ext4
make_ntfs

ext4=$cache/ext4-100k.img
ntfs=$cache/ntfs-100k.img
cat "$ext4" "$ntfs" >/dev/null # warm the cache for everyone alike
"$velk" scan --json --image "$ext4" | grep -o '"files_scanned": [0-9]*' | sed 's/^/ext4 /'
"$velk" scan --json --image "$ntfs" | grep -o '"files_scanned": [0-9]*' | sed 's/^/NTFS /'

ours_ext4=$(best_of_5 "$velk" scan --image "$ext4")
mnt=$(mktemp -d)
mount -o loop,ro "$ext4" "$mnt"
e4defrag_c=$(best_of_5 e4defrag -c "$mnt")
filefrag_c=$(best_of_5 filefrag_all "$mnt")
umount "$mnt"
rmdir "$mnt"
ours_ntfs=$(best_of_5 "$velk" scan --image "$ntfs")
ntfscluster_i=$(best_of_5 ntfscluster -i "$ntfs")

printf '%-5s %-28s %9s %9s  %s\n' fs peer "peer s" "ours s" "ratio (target)"
printf '%-5s %-28s %9s %9s  %s\n' ext4 "e4defrag -c" "$e4defrag_c" "$ours_ext4" "$(ratio "$e4defrag_c" "$ours_ext4") (>= 10x)"
printf '%-5s %-28s %9s %9s  %s\n' ext4 "filefrag, every file" "$filefrag_c" "$ours_ext4" "$(ratio "$filefrag_c" "$ours_ext4")"
printf '%-5s %-28s %9s %9s  %s\n' NTFS "ntfscluster -i" "$ntfscluster_i" "$ours_ntfs" "$(ratio "$ntfscluster_i" "$ours_ntfs") (>= 2x)"
