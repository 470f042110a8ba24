#!/bin/sh
# Runs a program of the Windows build under Wine:
#   wine-run.sh WINE PREFIX PROGRAM [ARGUMENT...]
# in the Wine prefix PREFIX, without a display and without Wine's own
# diagnostics. The prefix is made on first use. Wine's session (its server and
# services) is started apart from the program, with no output of its own, and
# kept for a minute after the last program: programs start fast, and no Wine
# process stays behind holding the program's output open. One starter at a
# time: programs started together wait for it (the lock is not handed on to
# the Wine session, which would keep it).
set -e
wine=$1
prefix=$2
shift 2
export WINEPREFIX="$prefix" WINEDEBUG=-all
# No .NET or HTML engine: the prefix would otherwise offer to fetch them.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$(dirname "$prefix")"
flock -o "$prefix.lock" sh -c '
  "$(dirname "$1")/wineserver" -p60 || exit 0  # a session runs already
  "$1" wineboot
' sh "$wine" </dev/null >/dev/null 2>&1
exec "$wine" "$@"
