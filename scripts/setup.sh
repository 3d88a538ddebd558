#!/usr/bin/env bash
# Installs everything the build, the tests and the sample job need.
# Idempotent: when every package is present it only checks and returns.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64
  wine wine32:i386 wine64 xvfb xauth x11-utils imagemagick
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libpng-dev python3-skimage groff ghostscript netpbm
  poppler-utils
  g++-multilib qemu-user
  nsis
  libjpeg62-turbo-dev libtiff-dev libexiv2-dev libdeflate-dev libimage-exiftool-perl
)

missing=()
for p in "${packages[@]}"; do
  name="${p%%:*}"
  arch="${p#*:}"; [[ "$arch" == "$p" ]] && arch=""
  query="$name"; [[ -n "$arch" ]] && query="$name:$arch"
  if ! dpkg-query -W -f='${Status}' "$query" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

SUDO=""
if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
