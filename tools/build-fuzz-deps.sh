#!/usr/bin/env bash
# Builds the codec libraries the imaging library links with (zlib,
# libjpeg-turbo, libpng, libtiff) from Debian bookworm's source packages as
# static libraries, with the fuzz build's own flags: clang, AddressSanitizer,
# UndefinedBehaviorSanitizer and libFuzzer's coverage. Linked into the fuzz
# targets, they let the sanitizers look inside the codecs and the fuzzer
# steer by their branches. Their portable C code is used throughout (no SIMD,
# no hand-written filters), since assembly carries no coverage.
#
# The result is kept by its version stamp (the source versions, clang's
# version and these scripts' contents) in a cache folder outside the build
# tree, so a fresh clone on the same machine reuses it:
#   ${TESSARY_FUZZ_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tessary-fuzz-deps}/<stamp hash>
# Prints that prefix as its last line.
#
# Usage: tools/build-fuzz-deps.sh
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cache=${TESSARY_FUZZ_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tessary-fuzz-deps}
jobs=${JOBS:-2}
source_packages=(zlib libjpeg-turbo libpng1.6 tiff)
sanitize_flags="-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -gline-tables-only -O1"

# shellcheck source=tools/debian-sources.sh
source "$root/tools/debian-sources.sh"
debian_sources_enable fuzz-deps >&2

declare -A versions
stamp_text=""
debian_source_versions "${source_packages[@]}"
stamp_text+="clang $(clang --version | head -1)"$'\n'
stamp_text+="build $(cat "$0" "$root/tools/debian-sources.sh" | sha256sum | cut -d' ' -f1)"
prefix=$cache/$(printf '%s' "$stamp_text" | sha256sum | cut -c1-16)
stamp=$prefix/versions.txt
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$stamp_text" ]; then
  echo "Instrumented codec libraries up to date in $prefix" >&2
  echo "$prefix"
  exit 0
fi

{
  echo "Building the instrumented codec libraries into $prefix:"
  printf '%s\n' "$stamp_text" | sed 's/^/  /'
} >&2
mkdir -p "$cache"
# Only the newest build is kept.
find "$cache" -mindepth 1 -maxdepth 1 -exec rm -rf {} +
# A fixed place to build in, so that a compiler cache finds its objects again.
work=$cache/work
mkdir -p "$work/src" "$work/obj" "$prefix"
cd "$work"

debian_sources_unpack "$work/src" "${source_packages[@]}"
source_dir() { debian_source_dir "$work/src" "$1" "${versions[$1]}"; }

export CC=clang CXX=clang++ CFLAGS="$sanitize_flags" CXXFLAGS="$sanitize_flags"
cmake_common=(
  -DCMAKE_BUILD_TYPE=None
  -DCMAKE_INSTALL_PREFIX="$prefix"
  -DCMAKE_INSTALL_LIBDIR="$prefix/lib"
  -DCMAKE_INSTALL_INCLUDEDIR="$prefix/include"
  -DCMAKE_PREFIX_PATH="$prefix"
  -DBUILD_SHARED_LIBS=OFF
  -DZLIB_ROOT="$prefix"
  -DZLIB_LIBRARY="$prefix/lib/libz.a"
  -DZLIB_INCLUDE_DIR="$prefix/include"
)
if command -v ccache >/dev/null; then
  cmake_common+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi

# zlib: its own configure script, static library only.
echo "== zlib" >&2
(cd "$(source_dir zlib)" && ./configure --static --prefix="$prefix" >"$work/obj/zlib.configure.log" 2>&1 &&
  nice make -j"$jobs" libz.a >"$work/obj/zlib.build.log" 2>&1 && make install >/dev/null 2>&1) ||
  { tail -50 "$work/obj/zlib."*.log >&2; exit 1; }

# libjpeg-turbo: the libjpeg 6.2 interface, as Debian's libjpeg62-turbo. Only
# the library is built (not its tools and tests), and put in place by hand.
echo "== libjpeg-turbo" >&2
jpeg_source=$(source_dir libjpeg-turbo)
jpeg_build=$work/obj/libjpeg-turbo
cmake -S "$jpeg_source" -B "$jpeg_build" "${cmake_common[@]}" \
  -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF \
  >"$work/obj/libjpeg-turbo.configure.log" 2>&1 ||
  { cat "$work/obj/libjpeg-turbo.configure.log" >&2; exit 1; }
nice cmake --build "$jpeg_build" --target jpeg-static -j"$jobs" >"$work/obj/libjpeg-turbo.build.log" 2>&1 ||
  { tail -50 "$work/obj/libjpeg-turbo.build.log" >&2; exit 1; }
mkdir -p "$prefix/lib" "$prefix/include"
cp "$jpeg_build/libjpeg.a" "$prefix/lib/"
cp "$jpeg_build/jconfig.h" "$jpeg_source/jpeglib.h" "$jpeg_source/jerror.h" "$jpeg_source/jmorecfg.h" \
  "$prefix/include/"

codec_build_and_install libpng "$(source_dir libpng1.6)" \
  -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
  -DPNG_HARDWARE_OPTIMIZATIONS=OFF

# libtiff: the codecs of the Windows build (JPEG, old JPEG, Deflate, PixarLog).
codec_build_and_install libtiff "$(source_dir tiff)" \
  "${codec_tiff_options[@]}" -DJPEG_INCLUDE_DIR="$prefix/include" -DJPEG_LIBRARY="$prefix/lib/libjpeg.a"
grep -q "#define JPEG_SUPPORT 1" "$prefix/include/tiffconf.h"
grep -q "#define ZIP_SUPPORT 1" "$prefix/include/tiffconf.h"

rm -rf "$work"
printf '%s' "$stamp_text" >"$stamp"
echo "Instrumented codec libraries installed in $prefix" >&2
echo "$prefix"
