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
