#!/usr/bin/env bash
# Downloads a 1 GiB file of random bytes from nginx on loopback, alternately
# with the bench program (HttpClient::Get into a file stream, OnWork attached)
# and with curl, ROUNDS rounds each, and prints the medians of wall time,
# CPU time (user + system) and peak resident memory.
# Usage: bench/http_vs_curl.sh [ROUNDS]   (default 5)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-5}
build=$root/build/bench

need=()
[ -x /usr/bin/time ] || need+=(time)
command -v curl >/dev/null || need+=(curl)
[ -x /usr/sbin/nginx ] || need+=(nginx-light)
if [ ${#need[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

echo "== building the client library and the bench program (Release)"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKALVORAN_BUILD_APP=OFF \
  -DKALVORAN_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target kalvoran_http >/dev/null
g++ -std=c++20 -O2 -DNDEBUG -I"$root/src/http" "$root/bench/kalvoran_bench.cpp" \
  "$build/src/http/libkalvoran_http.a" -lssl -lcrypto -pthread -o "$build/kalvoran_bench"

work=$(mktemp -d /tmp/kalvoran_bench.XXXXXX)
nginx_pid=
cleanup() {
  [ -n "$nginx_pid" ] && kill -QUIT "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"
mkdir -p "$work/www" "$work/tmp" "$work/out"
echo "== generating 1 GiB of random bytes"
head -c $((1 << 30)) /dev/urandom >"$work/www/big.bin"

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
url=http://127.0.0.1:$port/big.bin

# One measured run: wall seconds, user + system seconds, peak RSS in KiB.
measure() {
  local out=$1; shift
  /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@"
  read -r wall user sys rss <"$work/time"
  awk -v w="$wall" -v u="$user" -v s="$sys" -v m="$rss" 'BEGIN { printf "%s %.2f %s\n", w, u + s, m }' >>"$out"
  rm -f "$work/out/body"
}

: >"$work/kalvoran"; : >"$work/curl"
for r in $(seq "$rounds"); do
  echo "== round $r"
  measure "$work/kalvoran" "$build/kalvoran_bench" "$url" "$work/out/body" 2>/dev/null
  measure "$work/curl" curl -s -o "$work/out/body" "$url"
done

# Both tools must have brought the same bytes.
"$build/kalvoran_bench" "$url" "$work/out/k.bin" 2>/dev/null
curl -s -o "$work/out/c.bin" "$url"
cmp -s "$work/www/big.bin" "$work/out/k.bin" || { echo "kalvoran_bench body differs" >&2; exit 1; }
cmp -s "$work/www/big.bin" "$work/out/c.bin" || { echo "curl body differs" >&2; exit 1; }

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
report() {
  local name=$1 file=$2
  printf '%-16s %10s %10s %12s\n' "$name" \
    "$(cut -d' ' -f1 "$file" | median)" "$(cut -d' ' -f2 "$file" | median)" \
    "$(cut -d' ' -f3 "$file" | median)"
}
echo
echo "medians of $rounds rounds, 1 GiB over loopback from nginx $(/usr/sbin/nginx -v 2>&1 | sed 's/.*\///')"
printf '%-16s %10s %10s %12s\n' "" "wall s" "cpu s" "peak KiB"
report kalvoran_bench "$work/kalvoran"
report "curl $(curl --version | head -1 | cut -d' ' -f2)" "$work/curl"
echo
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(uname -sr)"
