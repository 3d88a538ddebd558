#!/usr/bin/env bash
# Starts a test run from fresh Wine prefixes: stops the Wine servers of every
# private prefix of the build tree and deletes the prefixes, so that the next
# program run through wine-run.sh makes its prefix anew. Nothing of an earlier
# run (registry fixtures, files on drive C:, a half-made prefix) reaches this one.
# Usage: wine-prefix-fresh.sh BUILD_DIR
set -euo pipefail
build="$1"
shopt -s nullglob
for prefix in "$build"/wineprefix*; do
  [[ "$prefix" == *.lock ]] && continue
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1 || true
  rm -rf "$prefix" "$prefix.lock"
  echo "removed $prefix"
done
