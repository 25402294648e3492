#!/usr/bin/env bash
# Builds the programs, then shows them working on the built-in demo pictures.
# The desktop viewer is still being built; until it lands this runs the
# library's tool, pelorn, over the demo pictures and exports each in every form.
set -euo pipefail
cd "$(dirname "$0")"
./tools/install-deps.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)" --target pelorn_tool

out=$(mktemp -d "${TMPDIR:-/tmp}/tessary-demo-XXXXXX")
echo "Demo pictures:"
for picture in demo/*.*; do
  printf '  %-32s ' "$picture"
  ./build/bin/pelorn info "$picture" || true
done
echo
echo "Exporting demo/harbour.jpg in every form to $out:"
for form in jpg png24 png8 bmp24 bmp8 bmp4 gif ppm; do
  extension=${form%24}; extension=${extension%8}; extension=${extension%4}
  target="$out/harbour-$form.$extension"
  if ./build/bin/pelorn convert demo/harbour.jpg "$target" --form "$form"; then
    printf '  %-6s %s  %s\n' "$form" "$(./build/bin/pelorn info "$target" 2>/dev/null || echo '(written)')" "$target"
  fi
done
./build/bin/pelorn scale demo/harbour.jpg "$out/harbour-small.png" --size 549x366 &&
  echo "  scaled  $(./build/bin/pelorn info "$out/harbour-small.png")  $out/harbour-small.png"
