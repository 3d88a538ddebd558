#!/usr/bin/env bash
# Sets everything up and runs the main job on the bundled sample photo.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
mkdir -p out
for preset in native win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)"
done
for arch in win32 win64; do
  if [[ -f build/$arch/plugin/Gladewick.8bf && -f build/$arch/testhost/gwhost.exe ]]; then
    echo "=== gwhost info ($arch)"
    cmake/wine-run.sh "$PWD/build/$arch/wineprefix" build/$arch/testhost/gwhost.exe info build/$arch/plugin/Gladewick.8bf
  fi
done
