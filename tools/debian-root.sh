#!/usr/bin/env bash
# Unpacks a minimal Debian root file system holding only what a GTK 3
# desktop has (and Xvfb and xdotool to drive it) into an empty folder, made
# once with debootstrap and kept as a tarball in a cache folder outside the
# build tree. The tarball's name carries the release and a hash of the
# package list, so a changed list makes a new one.
# Usage: tools/debian-root.sh RELEASE DEST
# Cache folder: $TESSARY_CI_CACHE, default /var/cache/tessary-ci.
set -euo pipefail

release=$1
dest=$2
mirror=${TESSARY_DEBIAN_MIRROR:-http://deb.debian.org/debian}
cache=${TESSARY_CI_CACHE:-/var/cache/tessary-ci}

# A desktop's share: the GTK 3 stack and fonts. No sound, no image codec
# development packages. The display and the pointer are the check's own.
packages=(libgtk-3-0t64 fonts-dejavu-core fonts-liberation xvfb xdotool)

key=$(printf '%s\n' "$release" "${packages[@]}" | sha256sum | cut -c1-12)
tarball="$cache/debian-$release-$key.tar.zst"

if [ ! -s "$tarball" ]; then
  for tool in debootstrap zstd; do
    command -v "$tool" >/dev/null || "$(dirname "$0")/install-packages.sh" "$tool"
  done
  mkdir -p "$cache"
  work=$(mktemp -d "$cache/make-root.XXXXXX")
  trap 'umount -R "$work/root/proc" 2>/dev/null; rm -rf "$work"' EXIT
  echo "Making a Debian $release root (once; then cached as $tarball)" >&2
  debootstrap --variant=minbase "$release" "$work/root" "$mirror" >"$work/debootstrap.log" 2>&1 || {
    tail -20 "$work/debootstrap.log" >&2
    exit 1
  }
  # The root's apt resolves what debootstrap --include cannot (virtual
  # packages such as dbus-session-bus).
  mount -t proc proc "$work/root/proc"
  chroot "$work/root" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${packages[@]}" >"$work/apt.log" 2>&1 || {
    tail -20 "$work/apt.log" >&2
    exit 1
  }
  chroot "$work/root" apt-get clean
  umount "$work/root/proc"
  rm -rf "$work/root/var/lib/apt/lists/"*
  tar -C "$work/root" -cf - . | zstd -q -T2 -o "$work/root.tar.zst"
  mv "$work/root.tar.zst" "$tarball"
  rm -rf "$work"
  trap - EXIT
fi

mkdir -p "$dest"
zstd -q -dc "$tarball" | tar -C "$dest" -xf -
