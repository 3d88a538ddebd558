#!/usr/bin/env bash
# Builds the setup program with NSIS from an x64 and an x86 build tree.
# Usage: make-setup.sh VERSION X64_BUILD_DIR X86_BUILD_DIR OUTPUT.exe
set -euo pipefail
version="$1"; x64="$(realpath "$2")"; x86="$(realpath "$3")"; out="$4"
here="$(cd "$(dirname "$0")" && pwd)"

for f in "$x64"/plugin/Gladewick.8bf "$x64"/plugin/GW-User-Manual.pdf "$x64"/installer/Plugferry.exe \
         "$x64"/installer/gwdeploy.exe "$x86"/plugin/Gladewick.8bf "$x86"/installer/Plugferry.exe \
         "$x86"/installer/gwdeploy.exe; do
  [[ -f "$f" ]] || { echo "make-setup: missing $f" >&2; exit 1; }
done
mkdir -p "$(dirname "$out")"
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DX64DIR="$x64" -DX86DIR="$x86" \
  -DICON="$here/../Plugferry.ico" -DOUTFILE="$(realpath -m "$out")" "$here/Gladewick.nsi"
