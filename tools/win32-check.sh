#!/usr/bin/env bash
# The native Windows stage, start to end: installs the cross tools and Wine,
# builds the static dependencies (cached), builds tessary.exe and pelorn.exe
# for i686 Windows, and under 32-bit Wine runs the library's tests, compares
# pelorn.exe with the Linux build's pelorn over the shared corpus, checks the
# programs' version information, manifests and names in any script
# (tests/win32/names_check.py), and drives tessary.exe on an X display
# (tests/win32/viewer_check.py) and on a big one at 192 dots per inch
# (tests/win32/big_screen_check.py). Prints how long each stage took.
#
# Usage: tools/win32-check.sh [FORM...]   (forms for the corpus comparison;
#        default every form)
# Environment: CORPUS (default tests/corpus), JOBS (default 2),
# LINUX_BUILD (a Linux build tree to take pelorn, tessary and tessary-pack
# from; default build/linux, configured here), KEEP_WINEPREFIX=1 to reuse
# build/wine; SAMPLE and ALL_FORMS as in tools/win32-corpus-check.sh.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
linux_build=${LINUX_BUILD:-$build/linux}
corpus=${CORPUS:-$root/tests/corpus}
jobs=${JOBS:-2}
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-/work} CCACHE_NOHASHDIR=1
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

timings=()
stage() {
  local name=$1
  shift
  echo "=== $name"
  local start=$SECONDS
  "$@"
  timings+=("$(printf '%-28s %5ds' "$name" $((SECONDS - start)))")
}
report() {
  echo "=== Stage timings"
  printf '%s\n' "${timings[@]}"
}
trap report EXIT

install() {
  "$root/tools/install-win32-deps.sh"
  "$root/tools/enable-i386-binaries.sh"
}

dependencies() { nice -n 19 "$root/tools/build-win32-deps.sh" "$build/win32-deps"; }

# Self-contained: each program imports only DLLs every Windows has.
check_imports() {
  local exe=$1 imports dll
  imports=$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/.*DLL Name: //p' | sort | tr '\n' ' ')
  echo "$(basename "$exe"): $(stat -c %s "$exe") bytes; imports: $imports"
  for dll in $imports; do
    case "${dll,,}" in
      kernel32.dll | user32.dll | gdi32.dll | comdlg32.dll | winmm.dll | msvcrt.dll | advapi32.dll) ;;
      *) echo "$exe imports $dll, which is not a system DLL" >&2; return 1 ;;
    esac
  done
}

windows_build() {
  nice -n 19 cmake -S "$root" -B "$build/win32" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake" \
    -DCMAKE_FIND_ROOT_PATH="$build/win32-deps/prefix" \
    -DCMAKE_PREFIX_PATH="$build/win32-deps/prefix" "${launcher[@]}" >/dev/null
  nice -n 19 cmake --build "$build/win32" -j"$jobs"
  check_imports "$build/win32/bin/tessary.exe"
  check_imports "$build/win32/bin/pelorn.exe"
}

linux_build() {
  if [ ! -f "$linux_build/CMakeCache.txt" ]; then
    nice -n 19 cmake -S "$root" -B "$linux_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DTESSARY_BENCH=OFF "${launcher[@]}" >/dev/null
  fi
  nice -n 19 cmake --build "$linux_build" --target pelorn_tool tessary tessary_pack -j"$jobs"
}

# No Mono or Gecko installers; no desktop menu entries (slow under emulation).
export WINEARCH=win32 WINEPREFIX=$build/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Where Wine runs under qemu (tools/enable-i386-binaries.sh), the emulated
# process needs the whole 32-bit address space reserved up front, or Wine
# cannot map its fixed-address regions. Ignored without qemu.
export QEMU_RESERVED_VA=0xffff0000
# A fresh prefix each time, unless KEEP_WINEPREFIX=1 and one is there.
wine_prefix() {
  if [ "${KEEP_WINEPREFIX:-0}" = 1 ] && [ -f "$WINEPREFIX/system.reg" ]; then
    return
  fi
  rm -rf "$WINEPREFIX"
  nice -n 19 wineboot --init
  wineserver -w
}

library_tests() {
  nice -n 19 "$root/tools/win32-library-tests.sh" "$build/win32"
  wineserver -w
}

corpus_check() {
  nice -n 19 "$root/tools/win32-corpus-check.sh" "$build/win32/bin" "$linux_build/bin/pelorn" \
    "$corpus" "$build/win32-corpus" "$@"
  wineserver -w
}

# What the programs carry (version information, the UTF-8 code page of
# their manifests) and pelorn.exe on files named in Japanese and Greek.
names_check() {
  /usr/bin/python3 "$root/tests/win32/names_check.py" --bin "$build/win32/bin" \
    --work "$build/win32-names"
  wineserver -w
}

# The viewer on its own X display, with a wineserver started there (one
# started without a display cannot make windows).
viewer_check() {
  wineserver -w
  xvfb-run -a -s "-screen 0 1024x768x24" /usr/bin/python3 "$root/tests/win32/viewer_check.py" \
    --program "$build/win32/bin/tessary.exe" --pack "$linux_build/bin/tessary-pack" \
    --linux-program "$linux_build/bin/tessary" --skin "$root/resources/skin" \
    --work "$build/win32-viewer"
}

# The viewer on a 3840 x 2160 display at 192 dots per inch.
big_screen_check() {
  wineserver -w
  xvfb-run -a -s "-screen 0 3840x2160x24" /usr/bin/python3 "$root/tests/win32/big_screen_check.py" \
    --program "$build/win32/bin/tessary.exe" --skin "$root/resources/skin" \
    --work "$build/win32-big-screen"
}

stage "install packages" install
stage "Windows dependencies" dependencies
stage "Windows build" windows_build
stage "Linux build" linux_build
stage "Wine prefix" wine_prefix
stage "library tests under Wine" library_tests
stage "corpus under Wine" corpus_check "$@"
stage "names under Wine" names_check
stage "viewer under Wine" viewer_check
stage "big screen under Wine" big_screen_check
