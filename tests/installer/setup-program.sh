#!/usr/bin/env bash
# The setup program in a fresh Wine prefix with editors registered in both
# registry views: silent install (twice, the second an upgrade in place), its
# files, keys and copies, the installed plug-in applied by gwhost, and the quiet
# uninstall leaving nothing of ours behind; then the same into a folder whose
# name has spaces and non-ASCII letters, with an editor folder deleted by hand
# before the uninstall.
#
# Usage: setup-program.sh WINE_RUN PREFIX X64_BUILD X86_BUILD GWHOST_EXE SETUP_DRIVER_EXE
#                         VERSION ARTEFACT_DIR
# The setup is built first from the two build trees. Exits 77 (skipped) where
# 32-bit programs (the setup is one) cannot run, or without the x86 build.
set -euo pipefail
wine_run="$1"; prefix="$2"; x64="$3"; x86="$4"; gwhost="$5"; driver="$6"; version="$7"
artefacts="$8"
here="$(cd "$(dirname "$0")" && pwd)"
if [[ ! -f "$x86/installer/gwdeploy.exe" || ! -f "$x86/plugin/Gladewick.8bf" ]]; then
  echo "skipped: the setup needs the x86 build in $x86 (build the win32 preset first)" >&2
  exit 77
fi
setup="$x64/setup/Gladewick-Setup.exe"
"$here/../../installer/setup/make-setup.sh" "$version" "$x64" "$x86" "$setup"
# Non-ASCII paths reach Wine as UTF-8.
export LC_ALL=C.UTF-8

failures=0
check() { # check DESCRIPTION COMMAND...: one named expectation
  local what="$1"; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
w() { "$wine_run" "$prefix" "$@"; }
# The machine field of a PE image: 014c for x86, 8664 for x64.
pe_machine() {
  local off
  off=$(od -An -tu4 -j 60 -N 4 "$1" | tr -d ' ')
  od -An -tx2 -j $((off + 4)) -N 2 "$1" | tr -d ' '
}
# reg's output is in the console's code page (437), not in UTF-8.
from_console() { iconv -f CP437 -t UTF-8 | tr -d '\r'; }
# reg_value VIEW KEY NAME: the data of one value, empty when missing.
reg_value() {
  w reg query "$2" /v "$3" "/reg:$1" 2>/dev/null | from_console |
    awk -F '    ' -v n="$3" '$2 == n { print $4 }'
}
reg_exists() { w reg query "$2" "/reg:$1" >/dev/null 2>&1; }
no_settings() { ! reg_exists 64 "$settings" && ! reg_exists 32 "$settings"; }
no_uninstall_entry() { ! reg_exists 64 "$uninstall"; }

# A fresh prefix of this test's own; x86 programs cannot run everywhere.
rm -rf "$prefix" "$prefix.lock"
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo "skipped: this machine cannot run 32-bit programs, and the setup is one" >&2
  exit 77
fi
w cmd /c exit 0
w reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f /reg:64 >/dev/null 2>&1 || true

c="$prefix/drive_c"
pf64="$c/Program Files"
settings='HKLM\SOFTWARE\Corvane Technologies\Gladewick Pro'
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Gladewick Pro'
ps="$c/Editors/Photoshop 64/Plug-ins/Filters"      # 64-bit view
psp="$c/Editors/Paint Shop Pro 9/PlugIns"           # 32-bit view
locked="$c/Editors/Picture It 10/Plugins"           # 64-bit view, cannot take the file
user="$c/Editors/User Filters"                      # current user's key: bitness unknown
mkdir -p "$ps" "$psp" "$locked/Gladewick.8bf" "$user"
echo "a user's own file" > "$psp/Other Filter.8bf"
w reg add 'HKLM\SOFTWARE\Adobe\Photoshop\13.0\PluginPath' /ve /d 'C:\Editors\Photoshop 64\Plug-ins\' /f /reg:64 >/dev/null
w reg add 'HKLM\SOFTWARE\Jasc\Paint Shop Pro 9\FileLocations\PlugIns\0' /v Dir /d 'C:\Editors\Paint Shop Pro 9\PlugIns' /f /reg:32 >/dev/null
w reg add 'HKLM\SOFTWARE\Microsoft\Picture It!\10.0' /v PluginDir /d 'C:\Editors\Picture It 10\Plugins' /f /reg:64 >/dev/null
w reg add 'HKCU\SOFTWARE\Jasc\Paint Shop Pro X\FileLocations\PlugIns\0' /v Dir /d 'C:\Editors\User Filters' /f /reg:64 >/dev/null

show_state() { # what the note shows: the files and the keys
  echo "\$ find 'drive_c/Program Files/Gladewick' 'drive_c/Editors'"
  (cd "$c/.." && find "drive_c/Program Files/Gladewick" drive_c/Editors 2>/dev/null | sort) || true
  for f in "$ps/Gladewick.8bf" "$psp/Gladewick.8bf" "$user/Gladewick.8bf"; do
    [[ -f "$f" ]] && echo "machine of ${f#$c/}: $(pe_machine "$f")"
  done
  for view in 64 32; do
    echo "\$ wine reg query '$settings' /reg:$view"
    w reg query "$settings" "/reg:$view" 2>&1 | from_console | grep -v '^$' || true
  done
  echo "\$ wine reg query '$uninstall' /reg:64"
  w reg query "$uninstall" /reg:64 2>&1 | from_console | grep -v '^$' || true
}

install_checks() { # install_checks INSTDIR_UNIX INSTDIR_WINDOWS
  local dir="$1" win="$2"
  check "both plug-ins, Plugferry, the manual and the uninstaller installed" \
    test -f "$dir/Gladewick-x64.8bf" -a -f "$dir/Gladewick-x86.8bf" -a -f "$dir/Plugferry.exe" \
         -a -f "$dir/GW-User-Manual.pdf" -a -f "$dir/Uninstall.exe"
  check "the 64-bit view names the x64 plug-in" test "$(reg_value 64 "$settings" Pathname)" == "$win\\Gladewick-x64.8bf"
  check "the 32-bit view names the x86 plug-in" test "$(reg_value 32 "$settings" Pathname)" == "$win\\Gladewick-x86.8bf"
  check "the settings carry revision 8 and the log off" \
    test "$(reg_value 64 "$settings" 'Product Revision')/$(reg_value 32 "$settings" Diagnostics)" == "0x8/0x0"
  check "the uninstall entry: name, version, publisher" \
    test "$(reg_value 64 "$uninstall" DisplayName)/$(reg_value 64 "$uninstall" DisplayVersion)/$(reg_value 64 "$uninstall" Publisher)" \
         == "Gladewick Pro/$version/Corvane Technologies"
  check "the uninstall entry's quiet uninstall" test "$(reg_value 64 "$uninstall" QuietUninstallString)" == "\"$win\\Uninstall.exe\" /S"
  check "the 64-bit editor has the x64 plug-in" test "$(pe_machine "$ps/Gladewick.8bf")" == 8664
  check "the 32-bit editor has the x86 plug-in" test "$(pe_machine "$psp/Gladewick.8bf")" == 014c
  check "the current user's editor has the product location's (x64) plug-in" \
    cmp -s "$user/Gladewick.8bf" "$dir/Gladewick-x64.8bf"
  check "the Start menu has Plugferry and the manual" \
    test -f "$c/ProgramData/Microsoft/Windows/Start Menu/Programs/Gladewick/Plugferry.lnk" \
         -a -f "$c/ProgramData/Microsoft/Windows/Start Menu/Programs/Gladewick/Gladewick User Manual.lnk"
}

uninstall_checks() { # uninstall_checks INSTDIR_UNIX
  local dir="$1"
  check "the installation folder is gone" test ! -e "$dir"
  check "no copy is left in any editor" test -z "$(find "$c/Editors" -type f -name Gladewick.8bf)"
  check "the user's own file stays" test -f "$psp/Other Filter.8bf"
  check "the product settings are gone from both views" no_settings
  check "the uninstall entry is gone" no_uninstall_entry
  check "the Start menu folder is gone" test ! -e "$c/ProgramData/Microsoft/Windows/Start Menu/Programs/Gladewick"
}

quiet_uninstall() { # runs the uninstall entry's QuietUninstallString and waits for it
  local command
  command=$(reg_value 64 "$uninstall" QuietUninstallString)
  echo "\$ wine $command"
  local exe="${command#\"}"
  exe="${exe%%\"*}"
  # The uninstaller runs on from a copy of itself; the prefix's server knows when all ended.
  w "$exe" "${command##*\" }" || true
  WINEPREFIX="$prefix" wineserver -w
}

echo "=== silent setup into the default folder"
rc=0; w "$setup" /S || rc=$?
echo "setup exit code: $rc"
check "a copy that failed makes the silent setup fail (exit 2)" test "$rc" == 2
check "the failure is reported, the other editors went on" \
  grep -qF 'FAILED to copy into C:\Editors\Picture It 10\Plugins' $(find "$c/users" -name Gladewick-Setup.log)
show_state
install_checks "$pf64/Gladewick" 'C:\Program Files\Gladewick'

echo "=== the installed x64 plug-in, as the 64-bit editor loads it"
img=$(mktemp -d); trap 'rm -rf "$img"' EXIT
python3 -c "import sys; open(sys.argv[1],'wb').write(b'P6\n4 4\n255\n' + bytes(range(48)))" "$img/in.ppm"
rc=0; w "$gwhost" apply "$ps/Gladewick.8bf" "$img/in.ppm" "$img/out.ppm" --timeout 120 >"$img/gwhost.log" 2>&1 || rc=$?
check "gwhost applies the installed plug-in" test "$rc" == 0 -a -s "$img/out.ppm"
[[ $rc == 0 ]] || cat "$img/gwhost.log"

echo "=== the setup run again over the installed version"
rm -f "$psp/Gladewick.8bf"
w reg add "$settings" /v Diagnostics /t REG_DWORD /d 1 /f /reg:64 >/dev/null
rc=0; w "$setup" /S || rc=$?
check "a second setup puts back the copies" test -f "$psp/Gladewick.8bf" -a "$rc" == 2
check "the upgrade keeps the chosen diagnostics" test "$(reg_value 64 "$settings" Diagnostics)" == 0x1
echo "a user's notes" > "$pf64/Gladewick/notes.txt"

echo "=== quiet uninstall"
quiet_uninstall
show_state
check "the user's file in the installation folder stays" test -f "$pf64/Gladewick/notes.txt"
rm -f "$pf64/Gladewick/notes.txt"; rmdir "$pf64/Gladewick" 2>/dev/null || true
uninstall_checks "$pf64/Gladewick"

echo "=== a folder with spaces and non-ASCII letters; an editor folder deleted by hand"
rmdir "$locked/Gladewick.8bf"
special='C:\Programme Ä\Gladé wick'
rc=0; w "$driver" --run "$setup" "/S /D=$special" || rc=$?
check "the silent setup succeeds when every copy can be made" test "$rc" == 0
install_checks "$c/Programme Ä/Gladé wick" "$special"
check "the installed x64 plug-in is found by its settings" test -f "$c/Programme Ä/Gladé wick/Gladewick-x64.8bf"
rm -rf "$c/Editors/Photoshop 64"
quiet_uninstall
uninstall_checks "$c/Programme Ä/Gladé wick"

echo "=== interactive setup, then Plugferry started by it"
rc=0; w "$driver" "$setup" "$(printf 'Z:%s' "$artefacts/setup-last-page.bmp" | tr / '\\')" \
  "$(printf 'Z:%s' "$artefacts/setup-plugferry.bmp" | tr / '\\')" || rc=$?
check "the interactive setup runs through and its Plugferry copies" test "$rc" == 0
check "Plugferry's OK gave the 32-bit editor the x86 plug-in" test "$(pe_machine "$psp/Gladewick.8bf")" == 014c
for shot in setup-last-page setup-plugferry; do
  [[ -f "$artefacts/$shot.bmp" ]] && convert "$artefacts/$shot.bmp" "$artefacts/$shot.png" || true
done
quiet_uninstall
uninstall_checks "$pf64/Gladewick"

echo "setup program: $failures failure(s)"
[[ $failures == 0 ]]
