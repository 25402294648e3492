#!/usr/bin/env bash
# Installs the Debian packages the native Windows (i686) build and its tests
# under Wine need: the MinGW-w64 cross compilers, nasm for libjpeg-turbo's
# SIMD code, zlib built for MinGW, the tools to unpack Debian source packages,
# 32-bit Wine (which needs the i386 architecture), and what drives the
# Windows viewer on an X display and reads its screen and clipboard, and a
# font with Japanese glyphs for the names it draws.
# Does nothing when all are present.
set -euo pipefail

packages=(
  build-essential cmake pkg-config ccache
  mingw-w64 g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix
  nasm libz-mingw-w64-dev
  dpkg-dev googletest
  wine wine32:i386
  xvfb xauth xdotool xclip imagemagick python3 python3-pil
  fonts-wqy-microhei
)

exec "$(dirname "$0")/install-packages.sh" "${packages[@]}"
