#!/usr/bin/env bash
# Installs what the build needs, builds everything with warnings as errors,
# builds the file-system readers' fuzz targets with clang and gives each a short
# run, then runs every test. VELK_SANITIZE=1 also runs every test in a tree
# built with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh

configure() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -DVELK_WERROR=ON "$@"
}

configure build
ninja -C build

# Fuzz targets, run briefly from an empty corpus so that a reader change that
# breaks them shows here; long runs are done by hand.
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DVELK_FUZZERS=ON -DVELK_BENCHMARKS=OFF
fuzzers=(fat_fuzz exfat_fuzz ext4_fuzz ntfs_fuzz)
ninja -C build-fuzz "${fuzzers[@]}"
for fuzzer in "${fuzzers[@]}"; do
  corpus=$(mktemp -d)
  # libntfs-3g leaks inside some failed mounts; that is not ours to find here.
  status=0
  ASAN_OPTIONS=detect_leaks=0 "build-fuzz/bin/$fuzzer" -max_total_time=20 -print_final_stats=1 "$corpus" \
    >"$corpus.log" 2>&1 || status=$?
  echo "$fuzzer: $(grep -E '^stat::number_of_executed_units' "$corpus.log" || echo 'no statistics')"
  if [ "$status" -ne 0 ]; then
    tail -n 40 "$corpus.log"
    exit "$status"
  fi
  rm -rf "$corpus" "$corpus.log"
done

if [ "${VELK_SANITIZE:-0}" = 1 ]; then
  configure build-asan -DVELK_SANITIZE=ON -DVELK_BENCHMARKS=OFF
  ninja -C build-asan
  (cd build-asan && ctest --output-on-failure --timeout 900)
fi
(cd build && ctest --output-on-failure --timeout 900)
