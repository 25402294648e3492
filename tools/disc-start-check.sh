#!/usr/bin/env bash
# The packed demo disc started as a person would from media that do not let
# it run as it is, on this system under Xvfb (needs root: mounts):
#   1. the program's file has no exec bit (FAT's showexec, a CD without Rock
#      Ridge): `sh autorun.sh` starts it through the dynamic loader;
#   2. the medium is mounted read-only and noexec: autorun.sh starts a copy
#      in $XDG_CACHE_HOME/tessary/ that shows the disc's pictures; an
#      unusable cache folder ends it with a clear message;
#   3. the SDL libraries are hidden (/dev/null bound over them in a private
#      mount namespace): the viewer starts, shows pictures, and says once
#      that it has no sound;
#   4. the system's sound fonts are hidden: MIDI music plays with the disc's
#      own tessary.sf2, and without that is silent, said in one line.
# Each start shows the splash, the first page after the splash click and the
# next after Next as the headless tour does, and ends with 0 on Escape.
# Usage: tools/disc-start-check.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
CHECK_NAME="disc-start-check"
source tools/disc-check-lib.sh

build=$(cd "${1:-build}" && pwd)
[ "$(id -u)" = 0 ] || fail "needs root (bind mounts, mount namespaces)"
[ -f "$build/demo-disc/autorun.sh" ] || fail "no packed demo disc in $build/demo-disc"

work=$(mktemp -d /tmp/tessary-disc-start.XXXXXX)
mounted=
cleanup() {
  stop_display
  [ -z "$mounted" ] || umount "$mounted" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
SCREEN_DIR=$work/screen
mkdir -p "$SCREEN_DIR" "$work/home"

# A disc whose path has a space and letters outside ASCII.
disc="$work/Fotos på disk"
cp -a "$build/demo-disc" "$disc"
tour_references "$build/bin/tessary-tour" "$disc" "$work/tour"
start_display

run_autorun() {  # $1: the script; the rest: environment
  local script=$1
  shift
  env -i PATH=/usr/bin:/bin HOME="$work/home" DISPLAY=":$DISPLAY_NUMBER" GSETTINGS_BACKEND=memory \
    SDL_AUDIODRIVER=dummy "$@" sh "$script" 2>"$work/stderr" &
  PROGRAM_PID=$!
}
PROGRAM_STDERR=$work/stderr
expect_clean_stderr() {
  if grep -q "error while loading\|cannot open shared object" "$work/stderr"; then
    fail "$1: a loader error on standard error"
  fi
}

# 1. No exec bit: through the loader, from the disc's own folder.
chmod a-x "$disc/tessary"
before=$(cd "$disc" && find . -printf '%p %s %T@\n' | sort)
run_autorun "$disc/autorun.sh"
wait_for_viewer 30 || fail "no exec bit: no viewer window"
started_as=$(readlink "/proc/$PROGRAM_PID/exe")
case "$started_as" in
  */ld-linux*) note "no exec bit: started through the loader ($started_as)" ;;
  *) fail "no exec bit: started as $started_as, not through the loader" ;;
esac
walk_viewer "$work/tour"
expect_clean_stderr "no exec bit"
[ "$before" = "$(cd "$disc" && find . -printf '%p %s %T@\n' | sort)" ] || fail "autorun.sh wrote to the disc"

# 2. A read-only noexec mount: a copy in the cache folder.
chmod a+x "$disc/tessary"
mounted="$work/mnt/Fotos på disk"
mkdir -p "$mounted"
mount --bind "$disc" "$mounted"
mount -o remount,bind,ro,noexec "$mounted"
run_autorun "$mounted/autorun.sh" XDG_CACHE_HOME="$work/cache dir"
wait_for_viewer 30 || fail "noexec: no viewer window"
started_as=$(readlink "/proc/$PROGRAM_PID/exe")
[ "$started_as" = "$work/cache dir/tessary/tessary" ] || fail "noexec: started as $started_as, not the cached copy"
cmp -s "$disc/tessary.sf2" "$work/cache dir/tessary/tessary.sf2" || fail "noexec: the sound font was not copied beside it"
note "noexec: started as the cached copy $started_as"
walk_viewer "$work/tour"
expect_clean_stderr "noexec"

# ... and with a cache folder that cannot be made: a message, no start.
touch "$work/not-a-folder"
status=0
env -i PATH=/usr/bin:/bin HOME="$work/home" XDG_CACHE_HOME="$work/not-a-folder/cache" \
  sh "$mounted/autorun.sh" 2>"$work/stderr" || status=$?
if [ "$status" != 1 ] || ! grep -q "^autorun.sh: cannot start .*cannot be made" "$work/stderr"; then
  fail "an unusable cache folder: status $status, message: $(cat "$work/stderr")"
fi
note "unusable cache folder: $(cat "$work/stderr")"
umount "$mounted"
mounted=

# 3. Sound libraries hidden: silence and one line.
hidden=()
for name in libSDL2-2.0.so.0 libSDL2_mixer-2.0.so.0; do
  library=$(ldconfig -p | awk -v name="$name" '$1 == name { print $NF; exit }')
  [ -n "$library" ] && hidden+=("$(readlink -f "$library")")
done
[ ${#hidden[@]} -gt 0 ] || fail "no SDL library on this system to hide"
# shellcheck disable=SC2016
env -i PATH=/usr/bin:/bin:/usr/sbin:/sbin HOME="$work/home" DISPLAY=":$DISPLAY_NUMBER" GSETTINGS_BACKEND=memory \
  unshare -m sh -c 'program=$1; shift; for library; do mount --bind /dev/null "$library" || exit 97; done
                    exec "$program"' hide "$disc/tessary" "${hidden[@]}" 2>"$work/stderr" &
PROGRAM_PID=$!
walk_viewer "$work/tour"
expect_clean_stderr "SDL hidden"
sound_lines=$(grep -c "^tessary: .*sound" "$work/stderr" || true)
[ "$sound_lines" = 1 ] || fail "SDL hidden: $sound_lines lines about sound: $(cat "$work/stderr")"
note "SDL hidden: $(grep "^tessary: " "$work/stderr")"

# 4. No system sound font: the root's title music plays with the disc's
#    tessary.sf2, and is silent (with one line saying so) without it. The
#    title's wave sound is taken away so that only music can be heard; SDL's
#    disk driver writes what would be heard to a file.
rm "$disc/title.wav"
system_fonts=(/usr/share/sounds/sf2/*.sf2 /usr/share/soundfonts/*.sf2)
music_peak() {  # the loudest 16-bit sample of the title's first seconds
  rm -f "$work/audio.raw"
  env -i PATH=/usr/bin:/bin:/usr/sbin:/sbin HOME="$work/home" DISPLAY=":$DISPLAY_NUMBER" \
    GSETTINGS_BACKEND=memory SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/audio.raw" \
    unshare -m sh -c 'program=$1; shift; for font; do [ -f "$font" ] && mount --bind /dev/null "$font"; done
                      exec "$program"' hide "$disc/tessary" "${system_fonts[@]}" 2>"$work/stderr" &
  PROGRAM_PID=$!
  wait_for_viewer 30 || fail "sound font check: no viewer window"
  click 500 360
  sleep 3
  press Escape
  wait_for_exit "$PROGRAM_PID" 15 >/dev/null || true
  python3 -c 'import array, sys
samples = array.array("h", open(sys.argv[1], "rb").read()[: 1 << 20 & ~1])
print(max((abs(s) for s in samples), default=0))' "$work/audio.raw"
}
peak=$(music_peak)
[ "$peak" -gt 1000 ] || fail "the disc's sound font: the title music is silent (peak $peak)"
note "system sound font hidden: the title music plays with the disc's tessary.sf2 (peak $peak)"
rm "$disc/tessary.sf2"
peak=$(music_peak)
[ "$peak" -le 1 ] || fail "no sound font anywhere: the title music is heard (peak $peak)"
grep -q "^tessary: MIDI music is silent" "$work/stderr" || fail "no sound font anywhere: no line says so"
note "no sound font anywhere: silent (peak $peak); $(grep "^tessary: " "$work/stderr")"
note "passed"
