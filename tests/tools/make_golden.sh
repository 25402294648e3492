#!/usr/bin/env bash
# Rewrites the golden lists of tests/golden/ from the readers (and the
# quantiser) as built in the given tree (default build/): each golden test,
# run with TESSARY_WRITE_GOLDEN=1, writes its list instead of checking it.
# Do this only when a change of decoded pixels is intended, and read the diff:
# every changed line is a picture that now decodes differently.
set -euo pipefail
tree=${1:-build}
cd "$(dirname "$0")/../.."
suites=(bmp gif jpeg pcx png tga tiff quantize)
targets=()
for suite in "${suites[@]}"; do targets+=("${suite}_test"); done
cmake --build "$tree" --target "${targets[@]}" >/dev/null
for suite in "${suites[@]}"; do
  TESSARY_WRITE_GOLDEN=1 "$tree/bin/${suite}_test" --gtest_filter='*Golden*:*golden*' >/dev/null
done
git status --short tests/golden/
