# shellcheck shell=bash
# Shared by the disc start checks (tools/disc-start-check.sh and
# tools/foreign-system-check.sh); sourced, not run. A check starts an Xvfb
# display whose screen is a file (-fbdir), runs the packed viewer on it,
# drives it with xdotool and compares what the screen shows with the
# headless tour's window of the same disc.
#
# Settings the caller may make before calling these:
#   IN_ROOT   command prefix that runs Xvfb and xdotool (empty: this system;
#             "chroot FOLDER": another root file system)
#   SCREEN_DIR  the folder Xvfb writes its screen into, as this system sees it
#   SCREEN_DIR_INSIDE  the same folder as Xvfb sees it (default: SCREEN_DIR)

#   PROGRAM_STDERR  a file shown after a failure (the program's stderr)

fail() {
  printf '%s: FAILED: %s\n' "$CHECK_NAME" "$1" >&2
  if [ -s "${PROGRAM_STDERR:-}" ]; then
    echo "--- the program's standard error:" >&2
    cat "$PROGRAM_STDERR" >&2
  fi
  exit 1
}
note() { printf '%s: %s\n' "$CHECK_NAME" "$1"; }

IN_ROOT=${IN_ROOT:-}
# ImageMagick's own convert (Debian's name for it), not a wrapper on the PATH.
CONVERT=$(command -v convert-im6.q16 || command -v convert)
XVFB_PID=
DISPLAY_NUMBER=

# Starts Xvfb (1024 x 768 x 24) and sets DISPLAY_NUMBER.
start_display() {
  local fd_file="$SCREEN_DIR/display-number"
  rm -f "$fd_file"
  # -displayfd picks a free display and writes its number.
  $IN_ROOT Xvfb -displayfd 3 -screen 0 1024x768x24 -fbdir "${SCREEN_DIR_INSIDE:-$SCREEN_DIR}" \
    -nolisten tcp 3>"$fd_file" 2>"$SCREEN_DIR/xvfb.log" &
  XVFB_PID=$!
  for _ in $(seq 100); do
    DISPLAY_NUMBER=$(head -n1 "$fd_file" 2>/dev/null || true)
    [ -n "$DISPLAY_NUMBER" ] && return 0
    sleep 0.1
  done
  cat "$SCREEN_DIR/xvfb.log" >&2
  fail "Xvfb did not start"
}

stop_display() {
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=
  fi
}

xdo() { $IN_ROOT env DISPLAY=":$DISPLAY_NUMBER" xdotool "$@"; }

# The viewer's window (800 x 600, named Tessary) once it is shown: sets
# WINDOW, WINDOW_X and WINDOW_Y.
wait_for_viewer() {
  local deadline=$((SECONDS + ${1:-30}))
  WINDOW=
  while [ $SECONDS -lt $deadline ]; do
    for id in $(xdo search --onlyvisible --name '^Tessary$' 2>/dev/null); do
      eval "$(xdo getwindowgeometry --shell "$id" 2>/dev/null)" || continue
      if [ "${WIDTH:-0}" = 800 ] && [ "${HEIGHT:-0}" = 600 ]; then
        WINDOW=$id WINDOW_X=$X WINDOW_Y=$Y
        return 0
      fi
    done
    sleep 0.2
  done
  return 1
}

click() { xdo mousemove --window "$WINDOW" "$1" "$2" click 1; }
# A key that closes the window makes xdotool's last request fail: the
# program's exit status tells whether it arrived.
press() { xdo key --window "$WINDOW" "$1" 2>/dev/null || true; }

# The viewer's window as the screen shows it now, as PNG at $1.
shoot_window() {
  "$CONVERT" "xwd:$SCREEN_DIR/Xvfb_screen0" -crop "800x600+$WINDOW_X+$WINDOW_Y" +repage "png:$1"
}

# Number of pixels of PNG $1 and PNG $2 farther apart than a rounding of
# font rendering (the file name and counter are drawn by this system's
# FreeType, the reference by the build machine's).
differing_pixels() {
  # compare's status is 1 when the pictures differ at all.
  { compare -metric AE -fuzz 12% "$1" "$2" null: 2>&1 || true; } | cut -d' ' -f1
}

# Waits until the window shows what the tour's picture $1 shows (at most
# 0.5% of its pixels differing), else fails naming $2.
expect_window_like() {
  local reference=$1 what=$2 shot="$SCREEN_DIR/shot.png" differing=unknown
  local deadline=$((SECONDS + 15))
  while [ $SECONDS -lt $deadline ]; do
    if shoot_window "$shot" 2>/dev/null; then
      differing=$(differing_pixels "$shot" "$reference")
      if [ "${differing%.*}" -le 2400 ] 2>/dev/null; then
        note "$what: shown ($differing pixels differ)"
        return 0
      fi
    fi
    sleep 0.3
  done
  cp "$shot" "$SCREEN_DIR/failed-$(echo "$what" | tr ' /' '__').png" 2>/dev/null || true
  fail "$what: the window does not show it ($differing pixels differ from $reference)"
}

# The tour's windows for the disc at $1 into folder $2: start.png (splash),
# first.png (after the splash click and its timer), second.png (after Next).
tour_references() {
  local tour_bin=$1 disc=$2 out=$3
  mkdir -p "$out"
  printf '%s\n' "shot start" "click 500 360" "timer" "shot first" "next" "shot second" >"$out/script.txt"
  "$tour_bin" "$disc" "$out" "$out/script.txt" >"$out/tour.log" 2>&1 || {
    cat "$out/tour.log" >&2
    fail "tessary-tour could not walk $disc"
  }
}

# The packed viewer's start, one picture, the next, and Escape: the program
# must have been started in the background as $PROGRAM_PID by the caller.
# $1 is the tour's folder.
walk_viewer() {
  local references=$1
  wait_for_viewer 30 || fail "no viewer window appeared"
  expect_window_like "$references/start.png" "splash"
  click 500 360
  expect_window_like "$references/first.png" "first page after the splash click"
  click 690 570
  expect_window_like "$references/second.png" "next page after Next"
  press Escape
  local status=0
  wait_for_exit "$PROGRAM_PID" 15 || status=$?
  [ "$status" = 0 ] || fail "Escape: the program ended with status $status"
  note "Escape: ended with status 0"
}

# Waits up to $2 seconds for background process $1; its exit status, or
# fails when it does not end.
wait_for_exit() {
  local pid=$1 deadline=$((SECONDS + $2))
  while kill -0 "$pid" 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || {
      kill "$pid" 2>/dev/null
      fail "the program did not end"
    }
    sleep 0.2
  done
  wait "$pid"
}
