#!/usr/bin/env bash
# The packed demo disc on another Linux: a minimal Debian 13 (trixie) root
# file system with only what a GTK 3 desktop has (tools/debian-root.sh; no
# SDL, no FluidSynth, no development packages), the disc bound
# into it read-only, the viewer started through the disc's autorun.sh on an
# Xvfb display inside it. The window must appear, the splash click show the
# first page and Next the next as the headless tour shows them, Escape end
# it with 0, and standard error hold no loader error. Needs root (chroot).
# Usage: tools/foreign-system-check.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
CHECK_NAME="foreign-system-check"
source tools/disc-check-lib.sh

release=trixie
build=$(cd "${1:-build}" && pwd)
[ "$(id -u)" = 0 ] || fail "needs root (chroot, bind mounts)"
[ -f "$build/demo-disc/autorun.sh" ] || fail "no packed demo disc in $build/demo-disc"

work=$(mktemp -d /var/tmp/tessary-foreign.XXXXXX)
root=$work/root
cleanup() {
  stop_display
  for mount_point in disc screen tmp dev proc; do
    umount "$root/$mount_point" 2>/dev/null || true
  done
  rm -rf --one-file-system "$work"
}
trap cleanup EXIT

tools/debian-root.sh "$release" "$root"
note "Debian $release root ready: $(du -sh --one-file-system "$root" | cut -f1)"
# No sound libraries: the program must start without them. (GTK's own
# image loaders bring the codecs' run-time libraries; the program does not
# use them.)
for library in libSDL2-2.0.so.0 libSDL2_mixer-2.0.so.0 libfluidsynth.so.3; do
  if chroot "$root" ldconfig -p | grep -q "$library"; then fail "the $release root has $library"; fi
done

mkdir -p "$root/disc" "$root/screen" "$work/screen"
mount -t proc proc "$root/proc"
mount --bind /dev "$root/dev"
mount -t tmpfs tmpfs "$root/tmp"
mount --bind "$work/screen" "$root/screen"
mount --bind "$build/demo-disc" "$root/disc"
mount -o remount,bind,ro "$root/disc"

SCREEN_DIR=$work/screen SCREEN_DIR_INSIDE=/screen IN_ROOT="chroot $root"
tour_references "$build/bin/tessary-tour" "$build/demo-disc" "$work/tour"
start_display

chroot "$root" env -i PATH=/usr/bin:/bin HOME=/root DISPLAY=":$DISPLAY_NUMBER" GSETTINGS_BACKEND=memory \
  sh /disc/autorun.sh 2>"$work/stderr" &
PROGRAM_PID=$!
PROGRAM_STDERR=$work/stderr
walk_viewer "$work/tour"
# The loader's own failures; the program's line about sound (no SDL here)
# quotes dlopen's words and is expected.
if grep -v "^tessary: no sound: " "$work/stderr" | grep -q "error while loading\|cannot open shared object"; then
  fail "a loader error on standard error"
fi
note "standard error: $(tr '\n' ' ' <"$work/stderr")"
note "passed"
