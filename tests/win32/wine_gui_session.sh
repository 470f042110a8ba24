#!/bin/bash
# A display and a Wine session of their own for the window's tests:
#   wine_gui_session.sh start|stop DIR WINE
# start runs Xvfb on a free display, makes the
# Wine prefix DIR/prefix for windows without a window manager, starts its
# Wine server and writes DIR/env, which the tests source (DISPLAY,
# WINEPREFIX, WINE, ...). stop ends that prefix's session and the display.
set -u
action=$1 dir=$2 wine=$3
wineserver=$(dirname "$wine")/wineserver
export WINEPREFIX=$dir/prefix WINEDEBUG=-all
# No .NET or HTML engine (the prefix would offer to fetch them), and no menu
# entries written into the host's home.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

stop() {
  [ -d "$WINEPREFIX" ] && "$wineserver" -k 2>/dev/null
  if [ -s "$dir/xvfb.pid" ]; then
    kill "$(cat "$dir/xvfb.pid")" 2>/dev/null
    rm -f "$dir/xvfb.pid"
  fi
  rm -f "$dir/env"
}
stop
[ "$action" = stop ] && exit 0
mkdir -p "$dir" || exit 1

# Xvfb writes the display it took once it is ready; the screen holds the
# window at 200 % (930 x 930).
rm -f "$dir/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
echo $! >"$dir/xvfb.pid"
for _ in $(seq 200); do
  [ -s "$dir/display" ] && break
  sleep 0.1
done
[ -s "$dir/display" ] || { echo "Xvfb did not start (see $dir/xvfb.log)" >&2; exit 1; }
export DISPLAY=:$(cat "$dir/display")

reg() { "$wine" reg add "$@" /f </dev/null >/dev/null 2>&1; }
mkdir -p "$WINEPREFIX"
# The session outlives each program (ten minutes at most after the last).
# Nothing it starts may keep this script's output open: the test runner
# waits for that to close.
"$wineserver" -p600 </dev/null >/dev/null 2>&1 || exit 1
"$wine" wineboot </dev/null >/dev/null 2>&1
# Windows stand alone on the display (no window manager): Wine must not wait
# for one; a crash must not wait on a dialog; the fonts the window asks for
# are Liberation's, which hold the Central European letters.
reg 'HKCU\Software\Wine\X11 Driver' /v Managed /d N
reg 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N
reg 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0
# 96 dpi, whatever a case that changed it left behind.
"$wine" reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f </dev/null >/dev/null 2>&1
for pair in "Arial=Liberation Sans" "Times New Roman=Liberation Serif" "Tahoma=DejaVu Sans" \
            "MS Sans Serif=Liberation Sans" "MS Shell Dlg=Liberation Sans" "MS Shell Dlg 2=Liberation Sans"; do
  reg 'HKCU\Software\Wine\Fonts\Replacements' /v "${pair%%=*}" /d "${pair#*=}"
done
{
  echo "export DISPLAY=$DISPLAY WINEPREFIX=$WINEPREFIX WINEDEBUG=-all"
  echo "export WINEDLLOVERRIDES='$WINEDLLOVERRIDES' WINE='$wine'"
} >"$dir/env"
