#!/usr/bin/env bash
# Builds the imaging library's dependencies for 32-bit Windows as static
# libraries, from Debian bookworm's source packages:
#   libjpeg-turbo (with its SIMD code, assembled by nasm),
#   libpng (with its SSE2 filters),
#   libtiff (JPEG and Deflate only),
# over the MinGW zlib of libz-mingw-w64-dev (its static libz.a).
# Installs them into build/win32-deps/prefix. The prefix is kept while its
# version stamp (the source versions, zlib's version and this script's and
# the toolchain's contents) matches; otherwise it is built afresh.
#
# Usage: tools/build-win32-deps.sh [build-dir]   (default: build/win32-deps)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-$root/build/win32-deps}
mkdir -p "$work"
work=$(cd "$work" && pwd)
prefix=$work/prefix
toolchain=$root/cmake/i686-w64-mingw32.cmake
mingw_root=/usr/i686-w64-mingw32
zlib_library=$mingw_root/lib/libz.a
zlib_include=$mingw_root/include
jobs=${JOBS:-2}
source_packages=(libjpeg-turbo libpng1.6 tiff)

# shellcheck source=tools/debian-sources.sh
source "$root/tools/debian-sources.sh"
debian_sources_enable win32-deps

declare -A versions
stamp_text=""
debian_source_versions "${source_packages[@]}"
stamp_text+="libz-mingw-w64-dev $(dpkg-query -W -f='${Version}' libz-mingw-w64-dev)"$'\n'
stamp_text+="build $(cat "$0" "$toolchain" "$root/tools/debian-sources.sh" | sha256sum | cut -d' ' -f1)"$'\n'

stamp=$prefix/versions.txt
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "${stamp_text%$'\n'}" ]; then
  echo "Windows dependencies up to date in $prefix"
  exit 0
fi

echo "Building the Windows dependencies into $prefix:"
printf '%s' "$stamp_text" | sed 's/^/  /'
rm -rf "$prefix" "$work/src" "$work/obj"
mkdir -p "$work/src" "$work/obj" "$prefix"

debian_sources_unpack "$work/src" "${source_packages[@]}"
source_dir() { debian_source_dir "$work/src" "$1" "${versions[$1]}"; }

cmake_common=(
  -DCMAKE_TOOLCHAIN_FILE="$toolchain"
  -DCMAKE_BUILD_TYPE=Release
  -DCMAKE_INSTALL_PREFIX="$prefix"
  -DCMAKE_PREFIX_PATH="$prefix"
  -DCMAKE_FIND_ROOT_PATH="$prefix"
  -DBUILD_SHARED_LIBS=OFF
  -DZLIB_LIBRARY="$zlib_library"
  -DZLIB_INCLUDE_DIR="$zlib_include"
)
if command -v ccache >/dev/null; then
  cmake_common+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi

# libjpeg-turbo: the libjpeg 6.2 interface, as Debian's libjpeg62-turbo;
# WITH_SIMD is fatal when nasm is missing rather than silently dropped.
codec_build_and_install libjpeg-turbo "$(source_dir libjpeg-turbo)" \
  -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=ON -DREQUIRE_SIMD=ON \
  -DWITH_TURBOJPEG=OFF -DCMAKE_ASM_NASM_COMPILER=nasm
grep -q 'SIMD' "$work/obj/libjpeg-turbo.configure.log"

# libpng: its test for 32-bit x86 ("^i?86") does not match "i686", which
# would leave the SSE2 filter code out; match any of i386 to i686.
png_source=$(source_dir libpng1.6)
sed -i 's/MATCHES "\^i?86"/MATCHES "^i[3-6]86"/' "$png_source/CMakeLists.txt"
grep -q 'MATCHES "^i\[3-6\]86"' "$png_source/CMakeLists.txt"
codec_build_and_install libpng "$png_source" \
  -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
  -DPNG_HARDWARE_OPTIMIZATIONS=ON -DPNG_INTEL_SSE=on
grep -q 'intel/filter_sse2_intrinsics.c' "$work/obj/libpng/CMakeFiles/png_static.dir/build.make" ||
  { echo "libpng was configured without its SSE2 code" >&2; exit 1; }

# libtiff: JPEG (over the libjpeg-turbo above) and Deflate (zlib) only.
codec_build_and_install libtiff "$(source_dir tiff)" \
  "${codec_tiff_options[@]}" -DJPEG_INCLUDE_DIR="$prefix/include" -DJPEG_LIBRARY="$prefix/lib/libjpeg.a"
grep -q "#define JPEG_SUPPORT 1" "$prefix/include/tiffconf.h"
grep -q "#define ZIP_SUPPORT 1" "$prefix/include/tiffconf.h"

printf '%s' "${stamp_text%$'\n'}" >"$stamp"
echo "Windows dependencies installed in $prefix"
