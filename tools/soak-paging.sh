#!/usr/bin/env bash
# Pages the viewer for a long time on the headless back end: STEPS Next and
# Prev (10,000 unless given) over a disc of 300 pictures in 30 albums, then
# checks that resident memory grew by at most 8 MiB since the first pass and
# that live blocks, GDI objects, open files and threads came back to their
# counts. The test suite runs the same check with 2,000 steps.
#   tools/soak-paging.sh [STEPS]
set -euo pipefail
cd "$(dirname "$0")/.."
steps=${1:-10000}
test=build/bin/paging_soak_test
if [ ! -x "$test" ]; then
  echo "soak-paging: build $test first (cmake --build build --target paging_soak_test)" >&2
  exit 2
fi
TESSARY_SOAK_STEPS=$steps "$test"
