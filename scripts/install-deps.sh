#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12, and nothing when it
# is all there already. Uses sudo when not root.
set -euo pipefail

build_packages=(build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
  libjpeg62-turbo-dev libpng-dev)
test_packages=(libgtest-dev libgmock-dev libbenchmark-dev imagemagick
  xvfb xauth xdotool xclip x11-utils libwmf-bin poppler-utils desktop-file-utils
  fonts-dejavu-core fonts-liberation clang libclang-rt-dev)

packages=("${build_packages[@]}")
if [ "${1:-}" = "--test" ]; then packages+=("${test_packages[@]}"); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
