#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12, and nothing when it
# is all there already. Uses sudo when not root.
set -euo pipefail

build_packages=(build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev libxcb1-dev libx11-dev
  libjpeg62-turbo-dev libpng-dev libdeflate-dev)
# imagemagick: the real-window tests take screenshots with its "import"; libwmf's
# wmf2gd needs the URW fonts, which --no-install-recommends leaves out.
# clang-format and clang-tidy: the lint gate of the test command; openbox: the
# real-window test under a window manager.
test_packages=(clang-format clang-tidy libgtest-dev libgmock-dev libbenchmark-dev librapidcheck-dev
  xvfb xauth xdotool xclip x11-utils openbox imagemagick libwmf-bin fonts-urw-base35
  poppler-utils desktop-file-utils fonts-dejavu-core fonts-liberation)
# Only for scripts/fuzz.sh (libFuzzer needs clang) and packaging/make_screenshot.sh.
fuzz_packages=(clang libclang-rt-dev)
screenshot_packages=(xvfb xauth xdotool imagemagick)
# Only for remaking the metafile reference set (tests/data/metafiles/README.md): the
# programs that wrote it. The tests compare with the committed PNGs and need neither.
metafile_reference_packages=(inkscape libreoffice-draw imagemagick)
# Only for scripts/first_frame_bench.sh and scripts/clipboard_stall.sh: feh is the
# viewer we time ourselves against.
bench_packages=(xvfb xauth xdotool xclip feh imagemagick)

packages=("${build_packages[@]}")
case "${1:-}" in
  --test) packages+=("${test_packages[@]}") ;;
  --fuzz) packages+=("${fuzz_packages[@]}") ;;
  --screenshot) packages+=("${screenshot_packages[@]}") ;;
  --metafile-references) packages+=("${metafile_reference_packages[@]}") ;;
  --bench) packages+=("${bench_packages[@]}") ;;
esac

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
