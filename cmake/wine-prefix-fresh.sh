#!/usr/bin/env bash
# Starts a test run from fresh Wine prefixes: stops the Wine servers of every
# private prefix of the build tree and deletes the prefixes, so that the next
# program run through wine-run.sh makes its prefix anew. Nothing of an earlier
# run (registry fixtures, files on drive C:, a half-made prefix) reaches this one.
#
# Given the keeper (tests/wine/WineKeeper.cpp), it then makes the build tree's
# main prefix and starts the keeper in it, detached from this script's output, and
# waits until the keeper has the desktop up: the prefix's server and helper
# processes then last until wine-prefix-release.sh, whatever the tests do.
# Usage: wine-prefix-fresh.sh BUILD_DIR [WINE_RUN KEEPER_EXE]
set -euo pipefail
build="$(realpath "$1")"
wine_run="${2:-}"
keeper="${3:-}"
shopt -s nullglob
for prefix in "$build"/wineprefix*; do
  [[ "$prefix" == *.lock ]] && continue
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1 || true
  rm -rf "$prefix" "$prefix.lock"
  echo "removed $prefix"
done
[[ -n "$keeper" ]] || exit 0

keep="$build/wine-keeper.keep"
ready="$build/wine-keeper.ready"
# This run's own: a keeper of an interrupted run, stopped above, may still report its end.
ended="$build/wine-keeper.ended.$$"
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
rm -f "$ready" "$build"/wine-keeper.ended.*
touch "$keep"
# Its own session and no output of ours: ctest neither waits for it nor stops it.
( setsid -w "$wine_run" "$build/wineprefix" "$keeper" "$(windows_path "$keep")" "$(windows_path "$ready")"
  echo $? >"$ended" ) </dev/null >/dev/null 2>&1 &
for ((tenths = 0; tenths < 3000; ++tenths)); do
  if [[ -f "$ready" ]]; then
    echo "the keeper holds $build/wineprefix"
    exit 0
  fi
  if [[ -f "$ended" ]]; then
    # A machine that cannot run this build's programs skips the tests too.
    echo "the keeper ended with exit code $(cat "$ended"); the tests run without it"
    exit 0
  fi
  sleep 0.1
done
echo "the keeper did not have the desktop up in 300 s; the tests run without it"
