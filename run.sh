#!/usr/bin/env bash
# Installs what is missing, builds the viewer and the demo disc
# (build/demo-disc/: drawn pictures in every form, albums, title pages, music
# and sounds, the viewer packed in with a banner) and starts the viewer from
# the disc. Without a display it tours the disc on the headless back end
# instead and says where the screenshots are.
set -euo pipefail
cd "$(dirname "$0")"
./tools/install-deps.sh

launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)" --target demo_disc tessary_tour

disc=build/demo-disc
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "Starting the viewer from $disc"
  exec "./$disc/tessary"
fi

echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): touring $disc with tessary-tour instead."
shots=build/demo-tour
rm -rf "$shots"
status=0
./build/bin/tessary-tour "$disc" "$shots" || status=$?
echo "Screenshots, one a step: $shots/NNN-STEP.png"
if [ -n "$(ls -A "$shots/export" 2>/dev/null)" ]; then echo "Exports: $shots/export/"; fi
exit "$status"
