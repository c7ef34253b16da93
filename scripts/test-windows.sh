#!/usr/bin/env bash
# The Windows part of the test command, under wine (64-bit only):
#   1. builds the Windows program, its DLLs, the installer and the test programs
#      (scripts/build-windows.sh --tests);
#   2. runs the Qt-free suites and the driver binding's Windows cases with CTest, each test
#      program under wine;
#   3. captures from the simulated scope with the Windows program, through the windows platform
#      plugin in an X server of its own, and compares the text files it writes to c:\junk\, the
#      metafile vistrel.wmf and the simulator's bus traffic with the Linux program's for the same
#      simulated signal, byte for byte (the prefix has the Linux build's fonts as Arial and Times
#      New Roman, so that text is measured alike); then the same text files through the adapters'
#      driver DLL to the Linux build's fake adapter, over TCP and over COM12, and through the VISA
#      driver DLL to the test build's fake VISA;
#   4. tries the installer: a silent install, the program from its Start-menu shortcut, the
#      silent uninstaller (scripts/try-windows-installer.sh).
# Ends with the line "windows: P passed, F failed" (a CTest test or a check each) and exits
# non-zero on any failure.
#
#   scripts/test-windows.sh LINUX_BUILD    (a Linux build folder with app/hp54200a in it)
#
# Needs Qt for mingw-w64 as scripts/build-windows.sh does. Without that archive the Windows part
# cannot be built: the script says so, prints "windows: 0 passed, 0 failed (not built)" and
# exits 0.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
linux_build=$(cd "${1:?a Linux build folder}" && pwd)
build="$here/build-windows"
started=$SECONDS

if ! archive=$("$here/scripts/build-windows.sh" --find-archive); then
  echo "windows: no Qt for mingw-w64 archive (see scripts/build-windows.sh): the Windows part" \
    "is not built here"
  echo "windows: 0 passed, 0 failed (not built)"
  exit 0
fi
echo "======== windows: building with $archive ========"
"$here/scripts/install-missing.sh" --with-recommends wine wine64 xvfb x11-utils fonts-liberation2
mkdir -p "$build"
"$here/scripts/build-windows.sh" --tests >"$build/build.log" 2>&1 || {
  tail -40 "$build/build.log"
  echo "windows: 0 passed, 1 failed (the build failed; log: build-windows/build.log)"
  exit 1
}
echo "windows: built in $((SECONDS - started)) s (log: build-windows/build.log)"

# shellcheck source=scripts/wine-common.sh
source "$here/scripts/wine-common.sh"
trap wine_stop EXIT
# shellcheck source=scripts/tally.sh
source "$here/scripts/tally.sh"

# ---- 2. The suites -------------------------------------------------------------------------------
wine_new_prefix "$build/wine-test" --fonts
echo "======== windows: the suites under $(wine --version) ========"
log=$(mktemp)
(cd "$build/out" && ctest --output-on-failure -j "$(nproc)") 2>&1 | tee "$log" || true
add_counts "$(counts_of "$log")"
rm -f "$log"

# ---- 3. A capture compared with the Linux program's ----------------------------------------------
echo "======== windows: a capture compared with the Linux program's ========"
wine_start_xvfb
scratch="$build/compare"
rm -rf "$scratch"
mkdir -p "$scratch/linux/junk" "$scratch/windows"
junk="$WINEPREFIX/drive_c/junk"
rm -rf "$junk"
capture=(capture --resource SIM::5::INSTR --ch1 both --ch2 both --wmf vistrel.wmf)
(cd "$scratch/linux" && HP_SIM_LOG="$scratch/linux/traffic.log" \
  "$linux_build/app/hp54200a" "${capture[@]}" --text "$scratch/linux/junk" >stdout.txt)
windows_run() {
  (cd "$scratch/windows" && HP_SIM_LOG='Z:'"${scratch//\//\\}"'\windows\traffic.log' \
    wine "$build/dist/hp54200a.exe" "${capture[@]}" --text 'c:\junk' >stdout.txt 2>stderr.txt)
}
check "the Windows program's capture exits 0" windows_run
for name in waveform1_data.dat fft1_data.dat waveform2_data.dat fft2_data.dat; do
  check "c:\\junk\\$name equals the Linux program's" cmp "$scratch/linux/junk/$name" "$junk/$name"
done
check "vistrel.wmf equals the Linux program's" cmp "$scratch/linux/vistrel.wmf" \
  "$scratch/windows/vistrel.wmf"
# The simulator's log without its first column, the seconds since it was loaded.
traffic() { cut -f 2- "$1" | tr -d '\r'; }
same_traffic() { diff <(traffic "$scratch/linux/traffic.log") <(traffic "$scratch/windows/traffic.log"); }
check "the bus traffic equals the Linux program's" same_traffic
printed() { tr -d '\r' <"$scratch/windows/stdout.txt" | grep -qxF "$1"; }
check "the capture prints c:\\junk\\waveform1_data.dat" printed 'c:\junk\waveform1_data.dat'
# Unpacked into a folder whose name is not ASCII (a user's Downloads, say), the program still
# finds the simulator beside it.
from_accented_folder() {
  local folder="$scratch/Jürgen"
  mkdir -p "$folder"
  cp -al "$build/dist" "$folder/dist"
  (cd "$scratch/windows" && wine "$folder/dist/hp54200a.exe" capture --resource SIM::5::INSTR \
    --text 'c:\accented' >/dev/null 2>&1) && [ -f "$WINEPREFIX/drive_c/accented/waveform1_data.dat" ]
}
check "the program runs from a folder named Jürgen" from_accented_folder
# The "++" adapters' driver gpib_prologix.dll, to the Linux build's fake adapter (the simulated
# scope's model behind a fake Prologix): over TCP through Winsock, and over a pseudo-terminal
# that wine shows as COM12.
fake_pid=
fake_port=
start_fake() { # start_fake tcp|pty: sets fake_port, the fake's host:port or /dev/pts/N
  local fifo="$scratch/fake.in" _
  rm -f "$fifo"
  mkfifo "$fifo"
  "$linux_build/tests/hp54200a_fake_adapter" "$1" <"$fifo" >"$scratch/fake.out" 2>&1 &
  fake_pid=$!
  exec 4>"$fifo" # the fake serves until its standard input closes
  for _ in $(seq 50); do
    grep -q '^PROLOGIX_PORT=' "$scratch/fake.out" && break
    sleep 0.1
  done
  fake_port=$(sed -n 's/^PROLOGIX_PORT=//p' "$scratch/fake.out")
}
stop_fake() {
  exec 4>&-
  wait "$fake_pid" 2>/dev/null || true
}
capture_through() { # capture_through RESOURCE FOLDER: the text files equal the Linux program's
  local folder=$2 name
  [ -n "$fake_port" ] || return 1
  (cd "$scratch/windows" && wine "$build/dist/hp54200a.exe" capture --resource "$1" --address 5 \
    --ch1 both --ch2 both --text "c:\\$folder" >/dev/null 2>&1) || return 1
  for name in waveform1_data.dat fft1_data.dat waveform2_data.dat fft2_data.dat; do
    cmp "$scratch/linux/junk/$name" "$WINEPREFIX/drive_c/$folder/$name" || return 1
  done
}
start_fake tcp
check "through gpib_prologix.dll over TCP: the text files equal the Linux program's" \
  capture_through "PRLGX-TCPIP::${fake_port%:*}::${fake_port##*:}::INTFC" via-tcp
stop_fake
start_fake pty
wine reg add 'HKLM\Software\Wine\Ports' /v COM12 /d "$fake_port" /f >/dev/null 2>&1
wineserver -k # wine reads its ports when it starts
check "through gpib_prologix.dll over COM12: the text files equal the Linux program's" \
  capture_through 'PRLGX-ASRL::COM12::INTFC' via-com12
stop_fake

# The VISA driver gpib_visa.dll, to the Windows test build's fake VISA (visa64.dll, the simulated
# scope's model behind GPIB0::5::INSTR), named by VISA_LIBRARY.
capture_through_visa() {
  local fake="$build/out/tests/fake_visa/visa64.dll" name
  [ -f "$fake" ] || return 1
  (cd "$scratch/windows" && VISA_LIBRARY='Z:'"${fake//\//\\}" wine "$build/dist/hp54200a.exe" \
    capture --resource VISA::GPIB0::5::INSTR --ch1 both --ch2 both --text 'c:\via-visa' \
    >/dev/null 2>&1) || return 1
  for name in waveform1_data.dat fft1_data.dat waveform2_data.dat fft2_data.dat; do
    cmp "$scratch/linux/junk/$name" "$WINEPREFIX/drive_c/via-visa/$name" || return 1
  done
}
check "through gpib_visa.dll and a fake visa64.dll: the text files equal the Linux program's" \
  capture_through_visa

# The help names what a Windows user has: NI-488.2, the DLLs, a COM port, c:\junk\.
help_names_windows() {
  local text
  text=$(wine "$build/dist/hp54200a.exe" --help | tr -d '\r')
  grep -qF 'the NI-488.2 board 0' <<<"$text" && grep -qF 'hp54200a_sim.dll' <<<"$text" &&
    grep -qF 'PROLOGIX_PORT=COM3' <<<"$text" && grep -qF 'c:\junk\ ' <<<"$text" &&
    ! grep -qE 'linux-gpib|\.so\b|/dev/' <<<"$text"
}
check "--help names NI-488.2, the DLLs, COM3 and c:\junk\, nothing of Linux" help_names_windows
wine_stop

# ---- 4. The installer -----------------------------------------------------------------------------
echo "======== windows: the installer ========"
log=$(mktemp)
"$here/scripts/try-windows-installer.sh" 2>&1 | tee "$log" || true
add_counts "$(counts_of "$log" try-windows-installer)"
rm -f "$log"

echo "windows: the whole Windows part took $((SECONDS - started)) s"
echo "windows: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
