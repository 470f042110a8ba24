#!/usr/bin/env bash
# Sets up what is missing, builds the downloader and starts its window on the
# user's display. Downloads land in "Kalvoran Downloader" under the current
# directory.
#
# With --demo it runs a whole job on this machine instead: the reference
# server on loopback with sample files, a downloader built to fetch from it,
# and a key for those files, printed and put on the clipboard.
#
# With --package it starts nothing: it makes the Debian packages of the
# release build for the download servers set in build/run (or given as -D
# options after --package): build/run/kalvoran-downloader_<version>_<arch>.deb
# for the customers and build/run/kalvoran-vendor-tools_<version>_<arch>.deb
# (the key maker, kalvoran-get and the server) for the vendor.
# Usage: ./run.sh [--demo | --package [-DNAME=VALUE...]]
set -euo pipefail

usage() { echo "usage: ./run.sh [--demo | --package [-DNAME=VALUE...]]" >&2; exit 2; }

demo=false
package=false
cmake_options=()
# Options of this script, not of the program (which takes none).
while [ $# -gt 0 ]; do
  case $1 in
    --demo) demo=true ;;
    --package) package=true ;;
    -D?*) [ "$package" = true ] || usage; cmake_options+=("$1") ;;
    -h|--help)
      echo "usage: ./run.sh          builds and starts Kalvoran Downloader"
      echo "       ./run.sh --demo   the same against a local server, with a key to try"
      echo "       ./run.sh --package [-DKALVORAN_DOWNLOAD_SERVER_0=host ...]"
      echo "                         makes build/run/kalvoran-downloader_<version>_<arch>.deb"
      echo "                         and build/run/kalvoran-vendor-tools_<version>_<arch>.deb"
      exit 0 ;;
    *) usage ;;
  esac
  shift
done
[ "$demo" = true ] && [ "$package" = true ] && usage

here=$(cd "$(dirname "$0")" && pwd)

if [ "$package" = true ]; then
  cd "$here"
  . tools/setup-packages.sh
  kalvoran_install_packages build package
  cmake -S . -B build/run -G Ninja -DCMAKE_BUILD_TYPE=Release -DKALVORAN_BUILD_TESTS=OFF \
    "${cmake_options[@]}" >/dev/null
  cmake --build build/run --target package
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/run/CMakeCache.txt)
  suffix=${version}_$(dpkg --print-architecture).deb
  # Without the window (-DKALVORAN_BUILD_APP=OFF) there is no customer's package.
  [ ! -f "build/run/kalvoran-downloader_$suffix" ] ||
    echo "== for the customers: build/run/kalvoran-downloader_$suffix"
  echo "== for the vendor:    build/run/kalvoran-vendor-tools_$suffix"
  echo "== for the download servers:"
  dpkg-deb --field "build/run/kalvoran-vendor-tools_$suffix" Description | sed -n 's/^ *\([0-2]: \)/  \1/p'
  exit 0
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: no display to show the window on (\$DISPLAY and \$WAYLAND_DISPLAY are empty); on a machine without one, run: xvfb-run -a ./run.sh $([ "$demo" = true ] && echo --demo)" >&2
  exit 1
fi

if [ "$demo" != true ]; then
  (
    cd "$here"
    . tools/setup-packages.sh
    kalvoran_install_packages build run
    cmake -S . -B build/run -G Ninja -DCMAKE_BUILD_TYPE=Release -DKALVORAN_BUILD_TESTS=OFF >/dev/null
    cmake --build build/run --target kalvoran-downloader
  )
  exec "$here/build/run/src/app/kalvoran-downloader"
fi

# ---- the demo ----
cd "$here"
. tools/setup-packages.sh
kalvoran_install_packages build demo

demo_dir=$here/build/demo
files=$demo_dir/server/files
work=$demo_dir/work
mkdir -p "$files/demo" "$work"

# The sample package: a large file to watch the bar move, a name with a blank,
# and a page that opens when the job is done. Made once, kept for later runs.
large=$files/demo/sample-200MiB.bin
if [ "$(stat -c %s "$large" 2>/dev/null || echo 0)" != $((200 * 1024 * 1024)) ]; then
  echo "== making the sample files in $files/demo"
  head -c $((200 * 1024 * 1024)) /dev/urandom >"$large.part"
  mv "$large.part" "$large"
fi
printf 'Kalvoran Downloader demo\n\nThis file has a blank in its name; it travels as "+".\n' \
  >"$files/demo/release notes.txt"
cat >"$files/demo/welcome.html" <<'HTML'
<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>Kalvoran Downloader demo</title></head>
<body><h1>Download complete</h1>
<p>This page was the last file of the demo job; the downloader opened it when the
job was done. The other files are beside it in the folder "Kalvoran Downloader".</p>
</body></html>
HTML

# A port that stays the same between runs spares a rebuild: the server address
# is compiled into the program.
port_free() {
  php -r '$s = @stream_socket_server("tcp://127.0.0.1:" . $argv[1]); exit($s === false ? 1 : 0);' "$1"
}
port=$(cat "$demo_dir/port" 2>/dev/null || echo 8765)
if ! port_free "$port"; then
  port=$(php -r '$s = stream_socket_server("tcp://127.0.0.1:0"); echo explode(":", stream_socket_get_name($s, false))[1];')
fi
echo "$port" >"$demo_dir/port"
host=127.0.0.1:$port

echo "== building the downloader for $host into build/demo"
cmake -S . -B "$demo_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKALVORAN_BUILD_TESTS=OFF \
  -DKALVORAN_DOWNLOAD_SERVER_0="$host" -DKALVORAN_DOWNLOAD_SERVER_1="$host" \
  -DKALVORAN_DOWNLOAD_SERVER_2="$host" >/dev/null
cmake --build "$demo_dir" --target kalvoran-downloader kalvoran-key

echo "== starting the reference server on $host (log: build/demo/server.log)"
KALVORAN_SERVER_FILES=$files KALVORAN_SERVER_MARKS=$demo_dir/server/marks \
  KALVORAN_SERVER_STATS=$demo_dir/server/stats \
  "$here/server/serve.sh" "$port" >"$demo_dir/server.log" 2>&1 &
server_pid=$!
trap 'kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  port_free "$port" || break
  sleep 0.1
done

# Server 1, keep the files on the server ("noo"), folder "demo", three files,
# open welcome.html at the end.
key=$("$demo_dir/tools/kalvoran-key/kalvoran-key" encode \
  "1;noo;demo;sample-200MiB.bin*release notes.txt*welcome.html;welcome.html")
echo
echo "Download key for the sample files:"
echo
echo "$key"
echo
clipboard=""
if [ -n "${WAYLAND_DISPLAY:-}" ] && command -v wl-copy >/dev/null; then
  printf '%s' "$key" | wl-copy && clipboard=yes
elif [ -n "${DISPLAY:-}" ] && command -v xclip >/dev/null; then
  printf '%s' "$key" | xclip -selection clipboard && clipboard=yes
fi
if [ -n "$clipboard" ]; then
  echo "The key is on the clipboard: right-click the key field, choose the first item (paste), press DOWNLOAD."
else
  echo "Copy the key into the key field (right-click it, first item pastes) and press DOWNLOAD."
fi
echo "Downloads land in $work/Kalvoran Downloader. Close the window to stop the demo."

cd "$work"
"$demo_dir/src/app/kalvoran-downloader" || true
