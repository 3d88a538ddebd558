#!/usr/bin/env bash
# Runs Gladewick.8bf in gwhost as a host would and checks gwhost's trace:
# result codes by image mode, pixel requests, playback and recording of the
# parameters, minimal hosts, and the message boxes of the failure handlers
# (a failure is injected through GW_PLUGIN_INJECT_FAILURE).
#
# Usage: plugin_scenarios.sh WINE_RUN PREFIX GWHOST PLUGIN
# Exits 77 (skipped) where the machine cannot run the module's architecture.
set -uo pipefail
wine_run="$1" prefix="$2" gwhost="$3" plugin="$4"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# Small test images: 8-bit RGB and 16-bit grey, 6 x 4.
python3 - "$work" <<'PY'
import struct, sys
d = sys.argv[1]
w, h = 6, 4
open(d + "/rgb.ppm", "wb").write(b"P6\n%d %d\n255\n" % (w, h) + bytes((i * 7) % 256 for i in range(w * h * 3)))
open(d + "/grey16.pgm", "wb").write(b"P5\n%d %d\n65535\n" % (w, h) + b"".join(struct.pack(">H", i * 1000) for i in range(w * h)))
open(d + "/mask.pgm", "wb").write(b"P5\n%d %d\n255\n" % (w, h) + bytes(255 if i % 2 else 0 for i in range(w * h)))
PY

# run NAME INPUT [gwhost options...]: applies the filter, trace in $work/NAME.trace
run() {
  local name="$1" input="$2"; shift 2
  "$wine_run" "$prefix" "$gwhost" apply "$plugin" "$work/$input" "$work/$name.out" \
    --trace "$work/$name.trace" --timeout 120 "$@" >"$work/$name.log" 2>&1
  local rc=$?
  if [[ $rc == 77 ]]; then
    cat "$work/$name.log" >&2
    exit 77
  fi
  touch "$work/$name.trace"
  # Written by a Windows program: drop the carriage returns of its line ends.
  sed -i 's/\r$//' "$work/$name.trace"
}

# expect NAME LINE: the trace of NAME holds LINE exactly.
expect() {
  if ! grep -qxF -- "$2" "$work/$1.trace"; then
    echo "FAIL [$1]: trace lacks: $2" >&2
    sed 's/^/    /' "$work/$1.trace" >&2
    failures=$((failures + 1))
  fi
}

# expect_none NAME PATTERN: no trace line of NAME starts with PATTERN.
expect_none() {
  if grep -q -- "^$2" "$work/$1.trace"; then
    echo "FAIL [$1]: unexpected trace line: $(grep -- "^$2" "$work/$1.trace" | head -1)" >&2
    failures=$((failures + 1))
  fi
}

run rgb rgb.ppm
expect rgb "selector 3 result 0"
expect rgb "request in 0 0 4 6 planes 0 2 rowbytes 31"
expect rgb "request out 0 0 4 6 planes 0 2 rowbytes 31"
expect rgb "selector 5 result 0"
expect rgb "descriptor out 'Amnt' long 60"
expect rgb "descriptor out 'Scln' bool 1"
expect rgb "recordInfo 0"
expect_none rgb "msgbox"

run grey16 grey16.pgm
expect grey16 "selector 3 result 0"
expect grey16 "request in 0 0 4 6 planes 0 0 rowbytes 26"
expect grey16 "selector 5 result 0"

run cmyk rgb.ppm --mode 4
expect cmyk "selector 3 result -30101"
expect_none cmyk "request"
expect_none cmyk "selector 4"

run lab rgb.ppm --mode 9
expect lab "selector 3 result -30101"

run masked rgb.ppm --mask "$work/mask.pgm"
expect masked "selector 4 result 0"
expect masked "selector 5 result 0"
expect_none masked "msgbox"

run playback rgb.ppm --no-dialog --amount 80 --fill-light 50 --speed --no-autoscale
expect playback "descriptor out 'Amnt' long 80"
expect playback "descriptor out 'Fl  ' long 50"
expect playback "descriptor out 'Md  ' bool 1"
expect playback "descriptor out 'Scln' bool 0"

run shown rgb.ppm --dialog --amount 80 --fill-light 50 --speed --no-autoscale
expect shown "descriptor out 'Amnt' long 60"
expect shown "descriptor out 'Md  ' bool 0"

run minimal rgb.ppm --no-spbasic --no-progress --no-descriptors
expect minimal "selector 3 result 0"
expect minimal "selector 5 result 0"
expect_none minimal "suite acquire"
expect_none minimal "descriptor out"

GW_PLUGIN_INJECT_FAILURE=DoStart=memory run memory rgb.ppm
expect memory "selector 3 result -108"
expect memory 'msgbox "Gladewick Plugin" "Could not complete the Gladewick command because there is not enough memory (RAM).\nCode 001."'

GW_PLUGIN_INJECT_FAILURE=DoContinue=memory run continue_memory rgb.ppm
expect continue_memory "selector 4 result -108"
expect continue_memory 'msgbox "Gladewick Pro" "Could not complete the Gladewick command because there is not enough memory (RAM).\nCode 003."'
expect continue_memory "selector 5 result 0"

GW_PLUGIN_INJECT_FAILURE=DoContinue=fault run fault rgb.ppm
expect fault "selector 4 result -50"
expect fault 'msgbox "Gladewick Pro" "Exception caught in DoContinue.\nCode 003."'
expect fault "selector 5 result 0"

if ((failures)); then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all plug-in scenarios passed"
