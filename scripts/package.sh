#!/usr/bin/env bash
# Builds the release: the x64 and x86 plug-ins, Plugferry and the manual in
# release builds (no tests, no test hooks), and the setup program
# dist/Gladewick-Setup.exe with NSIS.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
jobs=${GW_JOBS:-2}
targets=(gladewick_plugin Plugferry gwdeploy gladewick_manual)
for preset in win64-release win32-release; do
  echo "=== $preset" >&2
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs" --target "${targets[@]}"
  # Shipped builds must never be made to fail on purpose.
  if grep -q '^GW_TEST_HOOKS:BOOL=ON' "build/$preset/CMakeCache.txt"; then
    echo "package: $preset was configured with test hooks" >&2
    exit 1
  fi
done

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/win64-release/CMakeCache.txt)
installer/setup/make-setup.sh "$version" build/win64-release build/win32-release dist/Gladewick-Setup.exe
echo "dist/Gladewick-Setup.exe: Gladewick Pro $version, $(stat -c %s dist/Gladewick-Setup.exe) bytes"
