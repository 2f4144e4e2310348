#!/usr/bin/env bash
# Installs what the build needs, builds everything with warnings as errors and
# runs every test. VELK_SANITIZE=1 does the same in a second tree built with
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh

run() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -DVELK_WERROR=ON "$@"
  ninja -C "$dir"
  (cd "$dir" && ctest --output-on-failure --timeout 900)
}

run build
if [ "${VELK_SANITIZE:-0}" = 1 ]; then
  run build-asan -DVELK_SANITIZE=ON -DVELK_BENCHMARKS=OFF
fi
