#!/usr/bin/env bash
# Runs a Windows program under Wine in the build tree's private prefix.
# Usage: wine-run.sh PREFIX PROGRAM [ARGS...]
#
# The prefix is created on first use (serialised with a lock, since ctest may
# start several tests at once). Some kernels cannot execute 32-bit Linux
# programs, and classic Wine needs a 32-bit loader for 32-bit Windows programs;
# there a 32-bit program exits with 77, which the tests register as "skipped".
set -euo pipefail
prefix="$1"; shift
program="$1"

# Only the prefix and the settings below decide how Wine behaves, not whatever the
# caller's environment holds: another prefix's architecture or loader, the user's
# language (message boxes and buttons are read back by their texts), the time zone.
unset WINEARCH WINELOADER WINESERVER WINEDLLPATH
export WINEPREFIX="$prefix"
export LC_ALL=C.UTF-8 TZ=UTC
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

loader32=/usr/lib/wine/wine
loader64=/usr/lib/wine/wine64

can_run_32() { [[ -x $loader32 ]] && "$loader32" --version >/dev/null 2>&1; }

# The machine field of a PE image: 0x014c for x86, 0x8664 for x64.
pe_machine() {
  local file="$1" off
  [[ -f "$file" ]] || { echo unknown; return; }
  off=$(od -An -tu4 -j 60 -N 4 "$file" | tr -d ' ')
  od -An -tx2 -j $((off + 4)) -N 2 "$file" | tr -d ' '
}

if can_run_32; then
  loader=$loader32
else
  loader=$loader64
  export WINELOADER=$loader64
  if [[ "$(pe_machine "$program")" == "014c" ]]; then
    echo "skipped: this machine cannot run 32-bit programs, so x86 Windows programs do not run under Wine here" >&2
    exit 77
  fi
fi

mkdir -p "$(dirname "$prefix")"
if [[ ! -f "$prefix/.gw-ready" ]]; then
  exec 9>"$prefix.lock"
  flock 9
  if [[ ! -f "$prefix/.gw-ready" ]]; then
    "$loader" wineboot --init >/dev/null 2>&1 || true
    wineserver -w || true
    touch "$prefix/.gw-ready"
  fi
  flock -u 9
  exec 9>&-
fi
exec "$loader" "$@"
