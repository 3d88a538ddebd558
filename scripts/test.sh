#!/usr/bin/env bash
# Sets everything up, builds every target for Linux, x86 and x64 Windows, and
# runs the whole test suite (Windows tests under Wine inside a virtual X server).
# Exits non-zero when any build or test fails.
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh || exit 1

# The same language and time zone on every machine, whatever the caller's are.
export LC_ALL=C.UTF-8 TZ=UTC

presets=(${GW_PRESETS:-native native-asan linux-x86 win32 win64})
jobs=${GW_JOBS:-$(nproc)}
failed=()
summary=()

for preset in "${presets[@]}"; do
  echo "=== $preset: configure and build" >&2
  extra=()
  # The plug-in's output is compared with the native tool's, built first.
  [[ "$preset" == win* && -x build/native/cli/gladewick ]] &&
    extra=(-DGW_NATIVE_GLADEWICK="$PWD/build/native/cli/gladewick")
  if ! cmake --preset "$preset" "${extra[@]}" >/dev/null || ! cmake --build --preset "$preset" -j "$jobs"; then
    failed+=("$preset (build)")
    continue
  fi
  echo "=== $preset: test" >&2
  runner=()
  [[ "$preset" == win* ]] && runner=(xvfb-run -a -s "-screen 0 1280x1024x24")
  log="build/$preset/ctest.log"
  if "${runner[@]}" ctest --preset "$preset" -j "$jobs" --timeout 600 2>&1 | tee "$log"; then
    :
  fi
  # Wine's servers of this build's prefixes must not outlive the run.
  for p in build/"$preset"/wineprefix*/; do
    [[ -d "$p" ]] && WINEPREFIX="$PWD/$p" wineserver -k >/dev/null 2>&1 || true
  done
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of' "$log" | tail -1)
  summary+=("$preset: ${line:-no result}")
  if ! grep -qE '100% tests passed' "$log"; then
    failed+=("$preset (tests)")
  fi
done

echo
echo "=== summary"
printf '%s\n' "${summary[@]}"
if ((${#failed[@]})); then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "all presets passed"
