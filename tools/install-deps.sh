#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the demo need.
# Does nothing when all are present.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  libjpeg62-turbo-dev libpng-dev zlib1g-dev libtiff-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libgtk-3-dev libsdl2-dev libsdl2-mixer-dev timgm6mb-soundfont libpixman-1-dev
  libfreetype-dev libfontconfig-dev fonts-dejavu-core fonts-liberation
  clang libclang-rt-14-dev
  python3 python3-pil imagemagick netpbm giflib-tools libtiff-tools libgif-dev
  libjpeg-turbo-progs
  libstb-dev libimagequant-dev
  xvfb xauth xclip xdotool x11-utils
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}" >&2
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
