#!/usr/bin/env bash
# Times a whole scan (`velk scan --image`: plug-in walk, bitmap and engine) of a
# 2 GiB FAT32 and exFAT volume with ~100,000 files and fragmented big files,
# against fsck.fat -n and fsck.exfat -n on the same image in the same run (warm
# cache, best of 5, whole processes). The images are built once into a cache
# folder.
#
#   bench/fs-readers/fat-exfat.sh [build folder] [cache folder]
#
# Needs root, a loop device and FUSE for the exFAT image (exfat-fuse), and
# dosfstools, mtools, exfatprogs.
set -euo pipefail
mnt=
dev=
build=$(realpath "${1:-build}")
cache=$(realpath -m "${2:-${VELK_BENCH_CACHE:-$HOME/.cache/velk-bench}}")
mkdir -p "$cache"
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8
velk="$build/bin/velk"
for f in "$velk" "$build/bin/fsm1.so" "$build/bin/fsm3.so" "$build/bin/vk2eng.so" "$build/bin/mountx.so"; do
    [ -e "$f" ] || { echo "build velk, vk2eng, mountx, fsm1 and fsm3 in $build first" >&2; exit 1; }
done

# A local tree of 100,000 small files in 200 folders, hard links to a few
# sources, so it costs no space.
make_tree() {
    local tree=$1
    [ -d "$tree" ] && return
    mkdir -p "$tree.tmp"
    for s in 1 2 3 4 5; do head -c $((s * 900)) /dev/urandom >"$tree.tmp/src$s"; done
    mkdir "$tree.tmp/dir1"
    for f in $(seq 1 500); do ln "$tree.tmp/src$(( f % 5 + 1 ))" "$tree.tmp/dir1/file-$f.txt"; done
    for d in $(seq 2 200); do cp -al "$tree.tmp/dir1" "$tree.tmp/dir$d"; done
    rm "$tree.tmp"/src*
    mv "$tree.tmp" "$tree"
}

make_fat32() {
    local image=$cache/fat32-100k.img
    [ -f "$image" ] && return
    echo "building $image (once)" >&2
    local work
    work=$(mktemp -d)
    mkfs.fat -C -F 32 -s 8 -n BENCH "$image.tmp" $((2 * 1024 * 1024)) >/dev/null
    # Fill to 100 % with 256 KiB files, delete every other, then write into the holes.
    head -c 262144 /dev/urandom >"$work/filler"
    mkdir "$work/fill"
    for i in $(seq -w 1 100); do ln "$work/filler" "$work/fill/f$i"; done
    for d in $(seq 1 81); do
        mkdir "$work/fill/d$d"
        ln "$work/fill"/f* "$work/fill/d$d/"
    done
    rm "$work/fill"/f*
    mcopy -s -i "$image.tmp" "$work/fill" ::/ 2>/dev/null || true
    local odd=()
    for d in $(seq 1 81); do
        for i in $(seq -w 1 2 100); do odd+=("::/fill/d$d/f$i"); done
    done
    mdel -i "$image.tmp" "${odd[@]}" 2>/dev/null || true
    make_tree "$cache/tree"
    mcopy -s -i "$image.tmp" "$cache/tree" ::/ 
    for b in 1 2 3 4; do
        head -c $((60 * 1024 * 1024)) /dev/urandom >"$work/big$b"
        mcopy -i "$image.tmp" "$work/big$b" "::/big$b.bin" 2>/dev/null || true
    done
    rm -rf "$work"
    mv "$image.tmp" "$image"
}

make_exfat() {
    local image=$cache/exfat-100k.img
    [ -f "$image" ] && return
    echo "building $image (once)" >&2
    truncate -s 2G "$image.tmp"
    mkfs.exfat -c 4K -L BENCH "$image.tmp" >/dev/null
    mnt=$(mktemp -d)
    dev=$(losetup -f --show "$image.tmp")
    trap 'mountpoint -q "$mnt" && umount "$mnt"; [ -n "$dev" ] && losetup -d "$dev"' EXIT
    mount.exfat-fuse "$dev" "$mnt"
    mkdir "$mnt/fill"
    head -c 262144 /dev/urandom >"$cache/filler"
    local i=0
    while cp "$cache/filler" "$mnt/fill/f$i" 2>/dev/null; do i=$((i + 1)); done
    for ((j = 0; j < i; j += 2)); do rm -f "$mnt/fill/f$j"; done
    make_tree "$cache/tree"
    cp -r "$cache/tree" "$mnt/"
    # Big files written round-robin, each chunk synced, so they interleave.
    for chunk in $(seq 1 60); do
        for b in 1 2 3 4; do
            head -c 1048576 /dev/urandom | dd of="$mnt/big$b.bin" bs=1M oflag=append conv=notrunc,fsync status=none || true
        done
    done
    umount "$mnt"
    losetup -d "$dev"
    dev=
    trap - EXIT
    rmdir "$mnt"
    rm -f "$cache/filler"
    mv "$image.tmp" "$image"
}

# Best of five wall-clock runs of a command, in seconds.
best_of_5() {
    local best=
    for run in 1 2 3 4 5; do
        local start end took
        start=$(date +%s.%N)
        "$@" >/dev/null 2>&1 || true
        end=$(date +%s.%N)
        took=$(echo "$end - $start" | bc -l)
        if [ -z "$best" ] || [ "$(echo "$took < $best" | bc -l)" -eq 1 ]; then best=$took; fi
    done
    printf '%.4f' "$best"
}

compare() {
    local name=$1 image=$2 peer=$3
    cat "$image" >/dev/null # warm the cache for everyone alike
    local seen
    if ! seen=$("$velk" scan --json --image "$image" | grep -o '"files_scanned": [0-9]*'); then
        echo "$name: our scan failed" >&2
        return 1
    fi
    echo "$name: $seen"
    local ours theirs
    ours=$(best_of_5 "$velk" scan --image "$image")
    theirs=$(best_of_5 $peer "$image")
    printf '%-6s ours %8ss   %-14s %8ss   ratio %6.1fx\n' "$name" "$ours" "$peer" "$theirs" \
        "$(echo "$theirs / $ours" | bc -l)"
}

command -v bc >/dev/null || { echo "needs bc" >&2; exit 1; }
make_fat32
compare FAT32 "$cache/fat32-100k.img" "fsck.fat -n"
if [ "$(id -u)" -eq 0 ] && [ -e /dev/fuse ] && command -v mount.exfat-fuse >/dev/null; then
    make_exfat
    compare exFAT "$cache/exfat-100k.img" "fsck.exfat -n"
else
    echo "exFAT: skipped (the image needs root, a loop device and exfat-fuse)" >&2
fi
