#!/usr/bin/env bash
# Ends a test run's Wine programs: lets the keeper go and stops the server of every
# private prefix of the build tree, so that nothing of the run outlives it.
# Usage: wine-prefix-release.sh BUILD_DIR
set -euo pipefail
build="$1"
rm -f "$build"/wine-keeper.*
shopt -s nullglob
for prefix in "$build"/wineprefix*/; do
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
done
