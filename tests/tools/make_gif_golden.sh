#!/bin/sh
# Rewrites tests/golden/gif.txt from the GIF reader's decode of every file
# in tests/corpus/gif/. Usage: tests/tools/make_gif_golden.sh <build dir>
set -e
build="${1:-build}"
TESSARY_WRITE_GOLDEN=1 "$build/bin/gif_test" --gtest_filter='GifCorpus.GoldenListOfTheCorpus'
