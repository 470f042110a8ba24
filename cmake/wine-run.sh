#!/bin/sh
# Runs a program of the Windows build under Wine:
#   wine-run.sh WINE PREFIX PROGRAM [ARGUMENT...]
# in the Wine prefix PREFIX, without a display and without Wine's own
# diagnostics. The prefix is made on first use.
#
# Wine's session (its server and services) is started here, apart from the
# program and with no output of its own, and kept for a minute after the last
# program: programs start fast, and no Wine process stays behind holding the
# program's output open. It must be started here and nowhere else. A server
# that Wine's loader starts by itself quits the moment its last program ends
# (Debian's wineserver wrapper sets no persistence): with several test
# programs starting and ending side by side, a program then starts against a
# server that is quitting, loses it, and waits for ever on a reply; the
# services of each such session stay behind without a server. That is why
# the prefix's folder is made before the server starts (a server cannot start
# without it, and a brand-new prefix would fall to the loader's server), and
# why the start runs under a lock that every starter takes. The lock is not
# handed on to the session, which would keep it.
set -e
wine=$1
prefix=$2
shift 2
export WINEPREFIX="$prefix" WINEDEBUG=-all
# No .NET or HTML engine (the prefix would offer to fetch them), and no menu
# entries written into the host's home.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$prefix" || exit 125
flock -o "$prefix.lock" sh -c '
  wine=$1 prefix=$2
  # Fails only when a session of this prefix runs already: one started here.
  "$(dirname "$wine")/wineserver" -p60 || exit 0
  "$wine" wineboot
  if [ ! -e "$prefix/.crash-dialog-off" ]; then
    # A crashing program would otherwise wait on a dialog nobody answers.
    "$wine" reg add "HKCU\\Software\\Wine\\WineDbg" /v ShowCrashDialog /t REG_DWORD /d 0 /f
    : >"$prefix/.crash-dialog-off"
  fi
' sh "$wine" "$prefix" </dev/null >/dev/null 2>&1 || {
  echo "wine-run.sh: the Wine session of $prefix did not start" >&2
  exit 125
}
exec "$wine" "$@"
