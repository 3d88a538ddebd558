#!/usr/bin/env bash
# Runs a Windows program under Wine in the build tree's private prefix.
# Usage: wine-run.sh PREFIX PROGRAM [ARGS...]
# The prefix is created on first use (serialised with a lock, since ctest
# may start several tests at once).
set -euo pipefail
prefix="$1"; shift
export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
mkdir -p "$(dirname "$prefix")"
if [[ ! -f "$prefix/.gw-ready" ]]; then
  exec 9>"$prefix.lock"
  flock 9
  if [[ ! -f "$prefix/.gw-ready" ]]; then
    wineboot --init >/dev/null 2>&1 || true
    wineserver -w || true
    touch "$prefix/.gw-ready"
  fi
  flock -u 9
  exec 9>&-
fi
exec wine "$@"
