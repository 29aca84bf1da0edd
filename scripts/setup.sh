#!/usr/bin/env bash
# Installs the Debian packages Ravelle2 needs, only those that are missing.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ pkg-config clang-14 libclang-rt-14-dev
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libfftw3-dev libeigen3-dev libcli11-dev
  fonts-liberation2 fonts-ipafont-gothic
)
PACKAGES+=("$@")

missing=()
for package in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=()
  if [[ $(id -u) -ne 0 ]]; then SUDO=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${SUDO[@]}" apt-get update -qq
  "${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
