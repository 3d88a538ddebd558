#!/usr/bin/env bash
# Three registered hosts: the list the installer shows, the copies it makes,
# then "Plugferry.exe remove" taking them away.
# Usage: three-hosts.sh WINE_RUN PREFIX DRIVER_EXE PLUGFERRY_EXE ARTEFACT_DIR
set -euo pipefail
wine_run="$1"; prefix="$2"; driver="$3"; plugferry="$4"; artefacts="$5"

run() { printf '$'; printf ' %q' "$@"; printf '\n'; "$wine_run" "$prefix" "$@"; }

# The fixtures go into the view of Plugferry's own bitness, where it finds its product
# key, and they name it: which view a bare "reg" writes depends on whether the
# machine's Wine runs 32-bit programs.
pe_offset=$(od -An -tu4 -j 60 -N 4 "$plugferry" | tr -d ' ')
case "$(od -An -tx2 -j $((${pe_offset:-0} + 4)) -N 2 "$plugferry" | tr -d ' ')" in
  8664) view=/reg:64 ;;
  014c) view=/reg:32 ;;
  *) echo "$plugferry is not an x86 or x64 program" >&2; exit 1 ;;
esac

# The first start of a prefix makes it; x86 programs cannot run here (77 = skipped).
"$wine_run" "$prefix" "$driver" --help >/dev/null 2>&1 || { rc=$?; [[ $rc == 77 ]] && exit 77; }

demo="$prefix/drive_c/gwdemo"
rm -rf "$demo"
mkdir -p "$demo/Product" "$demo/Photoshop CS2/Plug-Ins/Filters" "$demo/Paint Shop Pro 9/PlugIns" \
         "$demo/Picture It 10/Plugins"
echo "stand-in for the installed plug-in" > "$demo/Product/Gladewick-x64.8bf"

for key in 'HKLM\SOFTWARE\Adobe' 'HKCU\SOFTWARE\Jasc' 'HKLM\SOFTWARE\Microsoft\Picture It!' \
           'HKLM\SOFTWARE\Corvane Technologies'; do
  # Plugferry reads both views on 64-bit Windows, and other tests of this prefix write either.
  for any_view in /reg:64 /reg:32; do
    "$wine_run" "$prefix" reg delete "$key" /f "$any_view" >/dev/null 2>&1 || true
  done
done
# One fixture value: the key and value arguments of "reg add"; the view is named here.
add_fixture() {
  if [ "$view" = /reg:64 ]; then run reg add "$@" /f /reg:64; else run reg add "$@" /f /reg:32; fi
}
# Wine draws captions itself (no window manager under Xvfb), for the screenshot.
add_fixture 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N >/dev/null
add_fixture 'HKLM\SOFTWARE\Corvane Technologies\Gladewick Pro' /v Pathname /d 'C:\gwdemo\Product\Gladewick-x64.8bf'
add_fixture 'HKLM\SOFTWARE\Corvane Technologies\Gladewick Pro' /v Description /d 'Gladewick Pro'
add_fixture 'HKLM\SOFTWARE\Corvane Technologies\Gladewick Pro' /v 'Product Revision' /t REG_DWORD /d 8
add_fixture 'HKLM\SOFTWARE\Corvane Technologies\Gladewick Pro' /v Diagnostics /t REG_DWORD /d 0
add_fixture 'HKLM\SOFTWARE\Corvane Technologies\Gladewick Pro' /v Website /d 'https://example.invalid/'
add_fixture 'HKLM\SOFTWARE\Adobe\Photoshop\9.0\PluginPath' /ve /d 'C:\gwdemo\Photoshop CS2\Plug-Ins\'
add_fixture 'HKCU\SOFTWARE\Jasc\Paint Shop Pro 9\FileLocations\PlugIns\0' /v Dir /d 'C:\gwdemo\Paint Shop Pro 9\PlugIns'
add_fixture 'HKLM\SOFTWARE\Microsoft\Picture It!\10.0' /v PluginDir /d 'C:\gwdemo\Picture It 10\Plugins'

run "$driver" --screenshot "$(printf 'Z:%s' "$artefacts/three-hosts.bmp" | tr / '\\')" --press ok "$plugferry"
echo "\$ find gwdemo -name Gladewick.8bf"
(cd "$prefix/drive_c" && find gwdemo -name Gladewick.8bf | sort)
[[ $(cd "$demo" && find . -name Gladewick.8bf | wc -l) == 3 ]]
cmp "$demo/Product/Gladewick-x64.8bf" "$demo/Paint Shop Pro 9/PlugIns/Gladewick.8bf"

run "$driver" --press ok "$plugferry" remove
echo "\$ find gwdemo -name Gladewick.8bf"
(cd "$prefix/drive_c" && find gwdemo -name Gladewick.8bf | sort)
[[ $(cd "$demo" && find . -name Gladewick.8bf | wc -l) == 0 ]]
echo "three hosts: copied and removed"
