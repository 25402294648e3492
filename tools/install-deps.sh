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
  libharfbuzz-dev fonts-wqy-microhei fonts-symbola
  clang libclang-rt-14-dev
  python3 python3-pil imagemagick netpbm giflib-tools libtiff-tools libgif-dev
  libjpeg-turbo-progs
  libstb-dev libimagequant-dev
  xvfb xauth xclip xdotool x11-utils
)

exec "$(dirname "$0")/install-packages.sh" "${packages[@]}"
