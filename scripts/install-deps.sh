#!/usr/bin/env bash
# Debian packages for building, testing and the demo. apt-get update runs only
# when something is missing.
#   scripts/install-deps.sh           the packages below
#   scripts/install-deps.sh PKG...    those packages instead
set -euo pipefail
packages=("$@")
((${#packages[@]})) || packages=(
  cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-translations-l10n fonts-dejavu-core fonts-liberation
  pkg-config libcanberra-dev sound-theme-freedesktop
  xvfb xauth xdotool x11-apps imagemagick libx11-dev libxfixes-dev
  stm32flash srecord binutils libelf-dev
  libgensio-dev ser2net openssl strace
  desktop-file-utils appstream
  clang libclang-rt-14-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [[ $(id -u) -ne 0 ]] && sudo=sudo
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
