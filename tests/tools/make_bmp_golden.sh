#!/bin/sh
# Rewrites tests/golden/bmp.txt from the BMP reader's decode of every file
# in tests/corpus/bmp/. Usage: tests/tools/make_bmp_golden.sh <build dir>
set -e
build="${1:-build}"
TESSARY_WRITE_GOLDEN=1 "$build/bin/bmp_test" --gtest_filter='BmpTest.GoldenListOfTheCorpus'
