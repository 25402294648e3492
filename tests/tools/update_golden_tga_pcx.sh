#!/usr/bin/env bash
# Rewrites tests/golden/tga.txt and tests/golden/pcx.txt from the current
# readers: one line per corpus file (name, width, height, error code, FNV-1a
# checksum of the decoded RGB buffer, "-" for failures).
#
#   tests/tools/update_golden_tga_pcx.sh [BUILD_DIR]
#
# Review the diff before committing: a changed line means a reader now
# decodes a file differently.
set -euo pipefail
source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
build_dir="${1:-$source_dir/build}"
cmake --build "$build_dir" -j2 --target tga_test pcx_test
for suite in tga pcx; do
  TESSARY_UPDATE_GOLDEN=1 "$build_dir/bin/${suite}_test" --gtest_filter='*Corpus.GoldenList'
done
git -C "$source_dir" diff --stat -- tests/golden/tga.txt tests/golden/pcx.txt
