#!/usr/bin/env bash
# Sets up what is missing, builds the downloader and starts its window on the
# user's display. Downloads land in "Kalvoran Downloader" under the current
# directory.
# Usage: ./run.sh
set -euo pipefail

usage() { echo "usage: ./run.sh" >&2; exit 2; }

# Options of this script, not of the program (which takes none).
while [ $# -gt 0 ]; do
  case $1 in
    -h|--help) echo "usage: ./run.sh   (builds and starts Kalvoran Downloader)"; exit 0 ;;
    *) usage ;;
  esac
done

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: no display to show the window on (\$DISPLAY and \$WAYLAND_DISPLAY are empty); on a machine without one, run: xvfb-run -a ./run.sh" >&2
  exit 1
fi

here=$(cd "$(dirname "$0")" && pwd)
(
  cd "$here"
  . tools/setup-packages.sh
  kalvoran_install_packages build run
  cmake -S . -B build/run -G Ninja -DCMAKE_BUILD_TYPE=Release -DKALVORAN_BUILD_TESTS=OFF >/dev/null
  cmake --build build/run --target kalvoran-downloader
)
exec "$here/build/run/src/app/kalvoran-downloader"
