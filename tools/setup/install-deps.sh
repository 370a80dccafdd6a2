#!/usr/bin/env bash
# Installs what building, running and testing Tabulor need (Debian; run as root).
# Quick when everything is already there: apt is only asked for what is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools
  zlib1g-dev libglib2.0-dev mdbtools mdbtools-dev libx11-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  pxlib-dev clang libclang-rt-14-dev
  xvfb x11-utils xauth
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
command -v node >/dev/null 2>&1 || missing+=(nodejs npm)

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
