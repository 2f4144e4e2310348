#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need.
set -euo pipefail
PACKAGES=(
  build-essential
  cmake
  ninja-build
  pkg-config
  git
  googletest
  libgtest-dev
  libgmock-dev
  libbenchmark-dev
  libext2fs-dev
  e2fsprogs
  ntfs-3g
  ntfs-3g-dev
  fuse3
  dosfstools
  mtools
  exfatprogs
  exfat-fuse
  clang
  libclang-rt-dev
  libblkid-dev
  attr
  bc
)
if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps.sh: run as root (apt-get)" >&2
  exit 1
fi
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
