#!/usr/bin/env bash
# Installs the peer tools that bench/compare.sh measures the command-line tool
# against. They are large, so the project's setup does not install them.
set -euo pipefail
packages=(darktable gegl)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
((${#missing[@]} == 0)) && exit 0
SUDO=""
if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
echo "peers-setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
