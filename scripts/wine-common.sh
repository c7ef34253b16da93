# shellcheck shell=bash
# Sourced by the scripts that run the Windows build under wine (64-bit only): the settings that
# keep wine quiet and away from the host's desktop, a fresh scratch prefix, and an X server of
# its own for the program's windows.
#
#   source scripts/wine-common.sh
#   wine_new_prefix DIR [--fonts]   # WINEPREFIX=DIR and HOME=DIR-home, made afresh
#   wine_start_xvfb                 # DISPLAY=:N, a free display; stopped by wine_stop
#   ...
#   wine_stop                       # ends the prefix's processes and the X server

# winemenubuilder off, so that nothing reaches the host's desktop menu; mscoree and mshtml off,
# so that a new prefix does not ask for Mono or Gecko.
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
export WINEDEBUG=-all
export WINEARCH=win64
wine_xvfb_pid=
# A new prefix links its Documents, Desktop ... folders to the home folder's: the scripts give
# wine a home folder of their own beside the prefix, so that nothing lands in the user's.
wine_host_home=${wine_host_home:-$HOME}

# wine_new_prefix DIR [--fonts]: a new prefix in DIR. With --fonts, the Liberation fonts (the
# files that fontconfig gives the Linux build for Arial, Times New Roman and Courier New) are
# installed in it under those Windows names, so that text is measured alike on both systems.
wine_new_prefix() {
  export WINEPREFIX=$1
  export HOME="$1-home"
  rm -rf "$WINEPREFIX" "$HOME"
  mkdir -p "$HOME"
  wineboot -i >/dev/null 2>&1
  wineserver -w
  [ "${2:-}" = --fonts ] || return 0
  local fonts=/usr/share/fonts/truetype/liberation2
  cp "$fonts"/Liberation{Sans,Serif,Mono}-*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  printf '%s\r\n' 'REGEDIT4' '' '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
    '"Arial"="Liberation Sans"' '"Times New Roman"="Liberation Serif"' \
    '"Courier New"="Liberation Mono"' >"$WINEPREFIX/drive_c/fonts.reg"
  wine regedit 'C:\fonts.reg'
  wineserver -w
}

# wine_start_xvfb: an X server on a free display, for the windows platform plugin.
wine_start_xvfb() {
  local fifo number
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  wine_xvfb_pid=$!
  read -r number <"$fifo"
  rm -f "$fifo"
  export DISPLAY=":$number"
}

wine_stop() {
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    wineserver -k 2>/dev/null || true
  fi
  if [ -n "$wine_xvfb_pid" ]; then
    kill "$wine_xvfb_pid" 2>/dev/null || true
    wait "$wine_xvfb_pid" 2>/dev/null || true
    wine_xvfb_pid=
  fi
  return 0
}
