#!/usr/bin/env bash
# Rewrites tests/golden/png.txt and tests/golden/tiff.txt from the current
# readers: each test binary, run with TESSARY_UPDATE_GOLDEN=1, writes its list
# (one line per corpus file: name, width, height, error code, checksum of the
# decoded buffer or "-") and then checks it.
#   tests/tools/update_golden_png_tiff.sh BUILD_DIR
set -euo pipefail
build="${1:?usage: $0 BUILD_DIR}"
TESSARY_UPDATE_GOLDEN=1 "$build/bin/png_test" --gtest_filter='PngGolden.*'
TESSARY_UPDATE_GOLDEN=1 "$build/bin/tiff_test" --gtest_filter='TiffGolden.*'
