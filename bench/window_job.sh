#!/usr/bin/env bash
# A whole download job in the window (offscreen) against curl: both fetch a
# 1 GiB file of random bytes from nginx on loopback, alternately, ROUNDS rounds
# each. Prints the medians of wall time (whole process, from start to exit),
# the window's own times (DOWNLOAD to result, DOWNLOAD to the end of the
# completion step) and its progress hand-over counts.
# Usage: bench/window_job.sh [ROUNDS]   (default 5)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-5}
build=$root/build/bench-window

need=()
[ -x /usr/bin/time ] || need+=(time)
command -v curl >/dev/null || need+=(curl)
[ -x /usr/sbin/nginx ] || need+=(nginx-light)
if [ ${#need[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

echo "== building the window library and the bench program (Release)"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKALVORAN_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target kalvoran_app kalvoran-key >/dev/null
# shellcheck disable=SC2046
g++ -std=c++20 -O2 -DNDEBUG -fPIC -I"$root/src/app" -I"$root/src/job" -I"$root/src/http" \
  -I"$root/src/key" -I"$build/src/generated" $(pkg-config --cflags Qt6Widgets) \
  "$root/bench/window_job.cpp" "$build/src/app/libkalvoran_app.a" \
  "$build/src/job/libkalvoran_job.a" "$build/src/http/libkalvoran_http.a" \
  "$build/src/key/libkalvoran_key.a" $(pkg-config --libs Qt6Widgets) -lssl -lcrypto -pthread \
  -o "$build/window_job"

work=$(mktemp -d /tmp/kalvoran_window_bench.XXXXXX)
nginx_pid=
cleanup() {
  [ -n "$nginx_pid" ] && kill -QUIT "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"
mkdir -p "$work/www/DOWNLOADER" "$work/tmp" "$work/job" "$work/curl"
echo "== generating 1 GiB of random bytes"
# nginx ignores the query: the download script's address serves the file.
big=$work/www/DOWNLOADER/DownloadStream1v1.php
head -c $((1 << 30)) /dev/urandom >"$big"

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
user_line=""; [ "$(id -u)" -eq 0 ] && user_line="user root;"
cat >"$work/nginx.conf" <<CONF
worker_processes 1;
pid $work/nginx.pid;
error_log $work/error.log;
$user_line
events { worker_connections 16; }
http {
  access_log off;
  sendfile on;
  default_type application/octet-stream;
  client_body_temp_path $work/tmp;
  proxy_temp_path $work/tmp;
  fastcgi_temp_path $work/tmp;
  uwsgi_temp_path $work/tmp;
  scgi_temp_path $work/tmp;
  server { listen 127.0.0.1:$port; root $work/www; }
}
CONF
/usr/sbin/nginx -p "$work" -e "$work/error.log" -c "$work/nginx.conf" -g 'daemon off;' &
nginx_pid=$!
for _ in $(seq 100); do
  curl -s -o /dev/null "http://127.0.0.1:$port/" 2>/dev/null && break
  sleep 0.1
done
host=127.0.0.1:$port
url="http://$host/DOWNLOADER/DownloadStream1v1.php?Reg=OK&Zmazat=false&Cesta=bench&Subor=big.bin"
key=$("$build/tools/kalvoran-key/kalvoran-key" encode "0;noo;bench;big.bin;")
saved="$work/job/Kalvoran Downloader/big.bin"

# One measured run: wall seconds into $1.
measure() {
  local out=$1; shift
  /usr/bin/time -f '%e' -o "$work/time" "$@"
  cat "$work/time" >>"$out"
}

: >"$work/window"; : >"$work/curl.wall"; : >"$work/window.lines"
for r in $(seq "$rounds"); do
  echo "== round $r"
  rm -rf "$work/job/Kalvoran Downloader"
  (cd "$work/job" && measure "$work/window" env QT_QPA_PLATFORM=offscreen "$build/window_job" \
    "$host" "$key" >>"$work/window.lines" 2>/dev/null)
  tail -1 "$work/window.lines"
  cmp -s "$big" "$saved" || { echo "the job's file differs" >&2; exit 1; }
  measure "$work/curl.wall" curl -s -o "$work/curl/body" "$url"
  cmp -s "$big" "$work/curl/body" || { echo "curl's file differs" >&2; exit 1; }
  rm -f "$work/curl/body"
done

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
field() { awk -v k="$1" '{ for (i = 1; i < NF; i++) if ($i == k) print $(i + 1) }' "$work/window.lines"; }
w=$(median <"$work/window"); c=$(median <"$work/curl.wall")
echo
echo "medians of $rounds rounds, 1 GiB over loopback from nginx $(/usr/sbin/nginx -v 2>&1 | sed 's/.*\///')"
printf '%-28s %8s\n' "window job, process wall s" "$w"
printf '%-28s %8s\n' "  DOWNLOAD to result s" "$(field result_s | median)"
printf '%-28s %8s\n' "  DOWNLOAD to completion s" "$(field completed_s | median)"
printf '%-28s %8s\n' "curl $(curl --version | head -1 | cut -d' ' -f2), wall s" "$c"
awk -v w="$w" -v c="$c" 'BEGIN { printf "%-28s %8.3f\n", "ratio window / curl", w / c }'
echo "deliveries queued / run per round: $(field posted | paste -sd' ') / $(field delivered | paste -sd' ')"
echo "most deliveries waiting at once:   $(field most_behind | sort -g | tail -1)"
echo
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(uname -sr)"
