# Debian bookworm's source packages, for the scripts that build the codec
# libraries from source (tools/build-win32-deps.sh, tools/build-fuzz-deps.sh).
# Sourced, not run:
#   debian_sources_enable NAME   a deb-src entry for bookworm main, present
#                                until the calling script exits (its EXIT trap)
#   debian_source_version PKG    the newest version of a source package there
#   debian_sources_fetch DIR PKG...
#                                fetches and unpacks them (Debian's patches
#                                applied) into DIR
#   debian_source_dir DIR PKG VERSION
#                                the folder a package of that version unpacks to
#   debian_source_versions PKG...
#                                fills the caller's associative array `versions`
#                                and adds a "PKG VERSION" line to `stamp_text`
#                                for each; stops when one is missing
#   debian_sources_unpack DIR PKG...
#                                fetches them into DIR and checks each unpacked
#   codec_build_and_install NAME SOURCE ARGS...
#                                configures, builds and installs one CMake
#                                project with the caller's `cmake_common`, in
#                                $work/obj/NAME (its logs beside it)
# and `codec_tiff_options`, libtiff's codecs for both builds (JPEG, old JPEG,
# Deflate, PixarLog; nothing else, no tools).

debian_sources_sudo=()
if [ "$(id -u)" -ne 0 ]; then debian_sources_sudo=(sudo); fi
debian_sources_apt_options=(-o DPkg::Lock::Timeout=600)
debian_sources_list=""

debian_sources_remove() {
  if [ -n "$debian_sources_list" ]; then "${debian_sources_sudo[@]}" rm -f "$debian_sources_list"; fi
}

debian_sources_enable() {
  debian_sources_list=/etc/apt/sources.list.d/tessary-$1-src.sources
  trap debian_sources_remove EXIT
  "${debian_sources_sudo[@]}" tee "$debian_sources_list" >/dev/null <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  # Refresh this one source only, keeping every other index as it is.
  "${debian_sources_sudo[@]}" apt-get "${debian_sources_apt_options[@]}" update -qq \
    -o Dir::Etc::sourcelist="$debian_sources_list" -o Dir::Etc::sourceparts=- \
    -o APT::Get::List-Cleanup=0
}

debian_source_version() {
  apt-cache showsrc --only-source "$1" | sed -n 's/^Version: //p' | sort -V | tail -1
}

debian_sources_fetch() {
  local dir=$1
  shift
  (cd "$dir" && apt-get source -qq "$@" 2>&1 |
    grep -v '^dpkg-source: info:\|Download is performed unsandboxed' || true)
}

# The version without its epoch and Debian revision names the folder.
debian_source_dir() {
  local dir=$1 package=$2 version=$3
  version=${version#*:}
  echo "$dir/$package-${version%-*}"
}

debian_source_versions() {
  local package
  for package in "$@"; do
    versions[$package]=$(debian_source_version "$package")
    if [ -z "${versions[$package]}" ]; then
      echo "No source package $package in bookworm main" >&2
      exit 1
    fi
    stamp_text+="$package ${versions[$package]}"$'\n'
  done
}

debian_sources_unpack() {
  local dir=$1 package
  shift
  debian_sources_fetch "$dir" "$@" >&2
  for package in "$@"; do
    if [ ! -d "$(debian_source_dir "$dir" "$package" "${versions[$package]}")" ]; then
      echo "Unpacking $package failed" >&2
      exit 1
    fi
  done
}

codec_build_and_install() {
  local name=$1 source=$2
  shift 2
  echo "== $name" >&2
  cmake -S "$source" -B "$work/obj/$name" "${cmake_common[@]}" "$@" >"$work/obj/$name.configure.log" 2>&1 ||
    { cat "$work/obj/$name.configure.log" >&2; exit 1; }
  nice cmake --build "$work/obj/$name" -j"$jobs" >"$work/obj/$name.build.log" 2>&1 ||
    { tail -50 "$work/obj/$name.build.log" >&2; exit 1; }
  cmake --install "$work/obj/$name" >"$work/obj/$name.install.log" 2>&1 ||
    { cat "$work/obj/$name.install.log" >&2; exit 1; }
}

codec_tiff_options=(
  -Djpeg=ON -Dold-jpeg=ON -Djpeg12=OFF -Dzlib=ON -Dpixarlog=ON
  -Dlibdeflate=OFF -Dlzma=OFF -Dzstd=OFF -Dwebp=OFF -Djbig=OFF -Dlerc=OFF
  -Dcxx=OFF -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF -Dtiff-docs=OFF
  -Dsphinx=OFF
)
