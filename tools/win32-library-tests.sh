#!/usr/bin/env bash
# The imaging library's own tests, built for 32-bit Windows (tests/win32.cmake:
# target pelorn_library_tests), run under Wine: each test executable once,
# in one Wine process. Prints each executable's result and a summary; exits
# non-zero when any test failed or an executable did not finish.
#
# Usage: tools/win32-library-tests.sh WIN32_BUILD
#   WIN32_BUILD  the Windows build folder (its bin/ holds the *_test.exe)
# Environment: the caller's Wine settings (WINEARCH=win32, WINEPREFIX,
# WINEDEBUG, WINEDLLOVERRIDES, QEMU_RESERVED_VA; see tools/win32-check.sh);
# TEST_TIMEOUT, seconds one executable may take (default 1800).
#
# The tests read the corpus and the golden lists by the Unix paths compiled
# into them, and run Pillow and ImageMagick as Unix programs: Wine resolves
# such paths through the Z: drive when the current folder is on it, so they
# run from a folder of the build.
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 WIN32_BUILD" >&2
  exit 2
fi
build=$(realpath "$1")
logs=$build/library-tests
timeout=${TEST_TIMEOUT:-1800}

# Left out of the Windows run, by executable: tests of writing to /dev/full,
# Linux's always-full device. Windows has no such device; under Wine, stat()
# does not see it and msvcrt's fclose does not report the failed flush of a
# small buffered write, so a full disk cannot be shown this way.
declare -A excluded=(
  [bmp_test]="BmpTest.WriteFailuresAreReported"
  [gif_test]="GifWriterLayout.UnopenableFileAndFullDisk"
  [png_test]="PngWriteFailure.FullDiskIsReported"
)

shopt -s nullglob
executables=("$build"/bin/*_test.exe)
if [ ${#executables[@]} -eq 0 ]; then
  echo "no test executables in $build/bin (build the target pelorn_library_tests)" >&2
  exit 1
fi

rm -rf "$logs"
mkdir -p "$logs"
cd "$logs"

# The count gtest prints on a summary line such as "[  PASSED  ] 15 tests.".
count() {
  sed -n "s/^\[  $1  \] \([0-9][0-9]*\) tests\?[.,].*/\1/p" "$2" | head -n 1
}

passed_total=0 skipped_total=0 failed_total=0 excluded_total=0 broken=()
start_all=$SECONDS
for exe in "${executables[@]}"; do
  name=$(basename "$exe" .exe)
  log=$logs/$name.log
  filter=()
  if [ -n "${excluded[$name]:-}" ]; then
    filter=(--gtest_filter="-${excluded[$name]}")
    excluded_total=$((excluded_total + $(tr ':' '\n' <<<"${excluded[$name]}" | wc -l)))
  fi
  start=$SECONDS
  status=0
  timeout "$timeout" wine "$exe" "${filter[@]}" >"$log" 2>&1 || status=$?
  sed -i 's/\r$//' "$log"  # the console's CR LF line ends
  passed=$(count PASSED "$log")
  skipped=$(count SKIPPED "$log")
  failed=$(count FAILED "$log")
  passed=${passed:-0} skipped=${skipped:-0} failed=${failed:-0}
  passed_total=$((passed_total + passed))
  skipped_total=$((skipped_total + skipped))
  failed_total=$((failed_total + failed))
  verdict=PASS
  if [ "$status" -ne 0 ] || [ "$failed" -ne 0 ] || ! grep -q '^\[==========\] .* ran\.' "$log"; then
    verdict=FAIL
    broken+=("$name")
  fi
  printf '%-4s %-22s %4d passed %3d skipped %3d failed  %4ds\n' "$verdict" "$name" \
    "$passed" "$skipped" "$failed" $((SECONDS - start))
  if [ "$verdict" = FAIL ]; then
    grep -E '^\[  FAILED  \] [A-Za-z]|Failure$' "$log" | grep -v ' ms)$' | sort -u |
      sed 's/^/       /' || true
    [ "$status" -ne 0 ] && [ "$failed" -eq 0 ] && echo "       exit status $status; see $log"
  fi
  if [ "$skipped" -ne 0 ]; then
    sed -n 's/^\[  SKIPPED \] \([A-Za-z].*\)/       skipped: \1/p' "$log" | grep -v ' ms)$' |
      sort -u || true
  fi
done

echo "library tests under Wine: ${#executables[@]} executables, $passed_total passed," \
  "$skipped_total skipped, $failed_total failed, $excluded_total left out;" \
  "$((SECONDS - start_all))s (logs in $logs)"
if [ ${#broken[@]} -ne 0 ]; then
  echo "failed: ${broken[*]}" >&2
  exit 1
fi
