#!/usr/bin/env bash
# Regenerates tests/golden/quantize.txt from the quantiser as built in the
# given tree (default build/). Do this only when a change of the quantiser's
# output is intended: exported 8-bit files change with it.
set -euo pipefail
tree=${1:-build}
cd "$(dirname "$0")/../.."
cmake --build "$tree" --target quantize_test >/dev/null
TESSARY_WRITE_GOLDEN=1 "$tree/bin/quantize_test" --gtest_filter=QuantizeDeterminism.* >/dev/null
cat tests/golden/quantize.txt
