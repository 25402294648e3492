#!/bin/sh
# Rewrites tests/golden/jpeg.txt from the JPEG reader's decode of every file
# in tests/corpus/jpeg/. Usage: tests/tools/make_jpeg_golden.sh <build dir>
set -e
build="${1:-build}"
TESSARY_WRITE_GOLDEN=1 "$build/bin/jpeg_test" --gtest_filter='JpegTest.GoldenListOfTheCorpus'
