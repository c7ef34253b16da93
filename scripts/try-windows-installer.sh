#!/usr/bin/env bash
# Tries the Windows installer that scripts/build-windows.sh made, under wine (64-bit only), in a
# scratch wine prefix build-windows/wine-installer (made afresh on every run): a silent install,
# the installed files, Start-menu shortcuts and registry keys, the installed program (--version,
# then its window on the simulated scope in Xvfb, started from its Start-menu shortcut), an
# install over the installed copy, and a silent uninstall that must leave no folder, shortcut or
# registry key behind. Prints a report and a last line "try-windows-installer: P passed, F
# failed"; exits non-zero when a check fails. scripts/test-windows.sh runs it.
#
#   scripts/build-windows.sh && scripts/try-windows-installer.sh
#
# Needs wine64, xvfb and x11-utils (installed with apt-get when missing). The program's window
# goes to an X server of its own (scripts/wine-common.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build="$here/build-windows"
dist="$build/dist"
# shellcheck source=scripts/wine-common.sh
source "$here/scripts/wine-common.sh"

"$here/scripts/install-missing.sh" --with-recommends wine wine64 xvfb x11-utils

version=$(sed -n '/^project(/,/)/s/.*[[:space:]]VERSION[[:space:]]\+\([0-9][0-9.]*\).*/\1/p' \
  "$here/CMakeLists.txt" | head -n 1)
setup="$build/hp54200a-$version-win64-setup.exe"
if [ ! -f "$setup" ] || [ ! -d "$dist" ]; then
  echo "try-windows-installer: no $setup or $dist: run scripts/build-windows.sh first" >&2
  exit 1
fi

unset DISPLAY
export WINEPREFIX="$build/wine-installer"
program_files="$WINEPREFIX/drive_c/Program Files/HP 54200A"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/HP 54200A"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\hp54200a'
install_key='HKLM\Software\hp54200a'
junk="$WINEPREFIX/drive_c/junk"
log="$build/wine-installer.log"
: >"$log"

trap wine_stop EXIT

# shellcheck source=scripts/tally.sh
source "$here/scripts/tally.sh"
check_log=$log

# The files an installation must hold: dist's, the uninstaller and the icon.
expected_files() {
  { (cd "$dist" && find . -type f | sed 's|^\./||'); printf '%s\n' Uninstall.exe hp54200a.ico; } |
    sort
}
installed_files_match() {
  diff <(expected_files) <(cd "$program_files" && find . -type f | sed 's|^\./||' | sort)
}
# A shortcut holds its target, arguments and working folder as UTF-16 or 8-bit strings.
shortcut_has() { # shortcut_has <file.lnk> <text>...
  local file=$1 text found
  shift
  found=$(strings -a -el "$file"; strings -a "$file")
  for text in "$@"; do
    grep -qxF -- "$text" <<<"$found" || return 1
  done
}
reg_has() { # reg_has <key> <value name> <data>
  local out
  out=$(wine reg query "$1" /v "$2")
  grep -E "^\s+$2\s+REG_" <<<"$out" | grep -F -- "$3" >/dev/null
}
reg_absent() {
  ! wine reg query "$1"
}
absent() { [ ! -e "$1" ]; }
version_prints() {
  wine 'C:\Program Files\HP 54200A\hp54200a.exe' --version | tr -d '\r' | tee -a "$log" |
    grep -x "hp54200a $version" >/dev/null
}
window_shows() {
  local _
  for _ in $(seq 60); do
    if xwininfo -root -tree | grep -F '"hp54200a.exe"' |
      grep -F 'SIM::5::INSTR' | tee -a "$log" | grep . >/dev/null; then
      return 0
    fi
    sleep 0.5
  done
  return 1
}
host_menu_untouched() {
  ! grep -rlsF 'HP 54200A' "${XDG_DATA_HOME:-$wine_host_home/.local/share}/applications" \
    "${XDG_CONFIG_HOME:-$wine_host_home/.config}/menus" "$HOME/.local/share/applications"
}
installed_checks() {
  check "the installed files are dist's, Uninstall.exe and hp54200a.ico" installed_files_match
  check "the text files' folder C:\\junk exists" test -d "$junk"
  check "Start menu: HP 54200A.lnk runs hp54200a.exe --choose-connection in Documents" \
    shortcut_has "$menu/HP 54200A.lnk" 'C:\Program Files\HP 54200A\hp54200a.exe' \
    '--choose-connection' '%USERPROFILE%\Documents'
  check "Start menu: HP 54200A (simulated scope).lnk runs hp54200a.exe --resource SIM::5::INSTR" \
    shortcut_has "$menu/HP 54200A (simulated scope).lnk" \
    'C:\Program Files\HP 54200A\hp54200a.exe' '--resource SIM::5::INSTR'
  check "registry: install folder under $install_key" \
    reg_has "$install_key" InstallDir 'C:\Program Files\HP 54200A'
  local name data
  for name in DisplayName DisplayVersion Publisher UninstallString InstallLocation NoModify \
    NoRepair EstimatedSize; do
    case $name in
      DisplayVersion) data=$version ;;
      UninstallString) data='"C:\Program Files\HP 54200A\Uninstall.exe"' ;;
      InstallLocation) data='C:\Program Files\HP 54200A' ;;
      NoModify | NoRepair) data=0x1 ;;
      EstimatedSize) data=0x ;;
      *) data=HP ;;
    esac
    check "registry: $name under the Uninstall key" reg_has "$uninstall_key" "$name" "$data"
  done
}

echo "try-windows-installer: $(basename "$setup") under $(wine --version) (log: ${log#"$here"/})"
echo "- a new wine prefix"
check "wineboot -i" wine_new_prefix "$WINEPREFIX"

echo "- silent install"
started=$SECONDS
check "the installer exits 0" wine "$setup" /S
wineserver -w
echo "        (installed in $((SECONDS - started)) s)"
installed_checks

echo "- the installed program"
check "--version prints hp54200a $version" version_prints
# A wine session started without a display stays without one: a new session for the window.
wine_stop
wine_start_xvfb
# As the Start menu starts it: the shortcut, opened by the shell.
wine start "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\HP 54200A\\HP 54200A (simulated scope).lnk" \
  >>"$log" 2>&1
check "the Start-menu shortcut (simulated scope) shows the window on SIM::5::INSTR" window_shows
# A windowed program: no console window beside it.
check "no console window beside it" bash -c "! xwininfo -root -tree | grep -qF conhost.exe"
wine_stop

echo "- silent install over the installed copy"
check "the installer exits 0" wine "$setup" /S
wineserver -w
installed_checks

echo "- silent uninstall"
# A connection saved by the Connection dialog, as QSettings keeps it on Windows.
wine reg add 'HKCU\Software\hp54200a\hp54200a\connection' /v resource /d SIM::5::INSTR /f \
  >>"$log" 2>&1
check "the uninstaller exits 0" wine 'C:\Program Files\HP 54200A\Uninstall.exe' /S
wineserver -w
check "the folder C:\\Program Files\\HP 54200A is gone" absent "$program_files"
check "the Start-menu folder and shortcuts are gone" absent "$menu"
check "the Uninstall key is gone" reg_absent "$uninstall_key"
check "the $install_key key is gone" reg_absent "$install_key"
check "C:\\junk, made by the installer and empty, is gone" absent "$junk"
check "the saved connection (HKCU\\Software\\hp54200a) is gone" reg_absent 'HKCU\Software\hp54200a'
check "nothing in the host's desktop menu" host_menu_untouched

echo "- the text files kept"
wine "$setup" /S >>"$log" 2>&1
wineserver -w
echo data >"$junk/waveform1_data.dat"
check "the uninstaller exits 0" wine 'C:\Program Files\HP 54200A\Uninstall.exe' /S
wineserver -w
check "C:\\junk\\waveform1_data.dat is kept" test -f "$junk/waveform1_data.dat"

echo "try-windows-installer: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
