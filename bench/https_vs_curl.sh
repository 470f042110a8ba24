#!/usr/bin/env bash
# Downloads a 1 GiB file of random bytes over HTTPS from nginx on loopback,
# alternately with the bench program (HttpClient::Get into a file stream,
# OnWork attached, trusting a test CA) and with curl (--cacert, the same CA),
# ROUNDS rounds each, and prints the medians of wall time, CPU time (user +
# system) and peak resident memory. The CA, the server's certificate and its
# key are made for the run by the openssl command and go with the run's
# temporary folder.
# Usage: bench/https_vs_curl.sh [ROUNDS]   (default 5)
# Environment: KALVORAN_BENCH_BUILD  the build folder (default build/bench-https)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-5}
build=${KALVORAN_BENCH_BUILD:-$root/build/bench-https}

need=()
[ -x /usr/bin/time ] || need+=(time)
command -v curl >/dev/null || need+=(curl)
command -v openssl >/dev/null || need+=(openssl)
[ -x /usr/sbin/nginx ] || need+=(nginx-light)
[ -e /usr/include/openssl/ssl.h ] || need+=(libssl-dev)
if [ ${#need[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

echo "== building the client library and the bench program (Release)"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKALVORAN_BUILD_APP=OFF \
  -DKALVORAN_BUILD_TESTS=OFF -DKALVORAN_TLS=ON >/dev/null
cmake --build "$build" --target kalvoran_http >/dev/null
g++ -std=c++20 -O2 -DNDEBUG -I"$root/src/http" "$root/bench/kalvoran_bench.cpp" \
  "$build/src/http/libkalvoran_http.a" -lssl -lcrypto -pthread -o "$build/kalvoran_bench"

work=$(mktemp -d /tmp/kalvoran_bench_https.XXXXXX)
nginx_pid=
cleanup() {
  [ -n "$nginx_pid" ] && kill -QUIT "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"
mkdir -p "$work/www" "$work/tmp" "$work/out" "$work/pki"

echo "== making a test CA and a certificate for 127.0.0.1"
pki=$work/pki
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout "$pki/ca.key" \
  -out "$pki/ca.pem" -days 2 -subj "/CN=Kalvoran bench CA" \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout "$pki/server.key" \
  -out "$pki/server.csr" -subj /CN=127.0.0.1 2>/dev/null
printf 'subjectAltName = IP:127.0.0.1\nextendedKeyUsage = serverAuth\n' >"$pki/ext.cnf"
openssl x509 -req -in "$pki/server.csr" -CA "$pki/ca.pem" -CAkey "$pki/ca.key" -CAcreateserial \
  -days 2 -extfile "$pki/ext.cnf" -out "$pki/server.pem" 2>/dev/null

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
  log_format tls '\$ssl_protocol \$ssl_cipher \$status \$body_bytes_sent "\$http_user_agent"';
  access_log $work/access.log tls;
  sendfile on;
  client_body_temp_path $work/tmp;
  proxy_temp_path $work/tmp;
  fastcgi_temp_path $work/tmp;
  uwsgi_temp_path $work/tmp;
  scgi_temp_path $work/tmp;
  server {
    listen 127.0.0.1:$port ssl;
    ssl_protocols TLSv1.2 TLSv1.3;  # nginx 1.22 leaves TLS 1.3 out by default
    ssl_certificate $pki/server.pem;
    ssl_certificate_key $pki/server.key;
    root $work/www;
  }
}
CONF
/usr/sbin/nginx -p "$work" -e "$work/error.log" -c "$work/nginx.conf" -g 'daemon off;' &
nginx_pid=$!
for _ in $(seq 100); do
  curl -s --cacert "$pki/ca.pem" -o /dev/null "https://127.0.0.1:$port/" 2>/dev/null && break
  sleep 0.1
done
url=https://127.0.0.1:$port/big.bin

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
  measure "$work/kalvoran" "$build/kalvoran_bench" --cacert "$pki/ca.pem" "$url" "$work/out/body" 2>/dev/null
  measure "$work/curl" curl -s --cacert "$pki/ca.pem" -o "$work/out/body" "$url"
done

# Both tools must have brought the same bytes.
"$build/kalvoran_bench" --cacert "$pki/ca.pem" "$url" "$work/out/k.bin" 2>/dev/null
curl -s --cacert "$pki/ca.pem" -o "$work/out/c.bin" "$url"
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
echo "medians of $rounds rounds, 1 GiB over TLS on loopback from nginx $(/usr/sbin/nginx -v 2>&1 | sed 's/.*\///')"
printf '%-16s %10s %10s %12s\n' "" "wall s" "cpu s" "peak KiB"
report kalvoran_bench "$work/kalvoran"
report "curl $(curl --version | head -1 | cut -d' ' -f2)" "$work/curl"
echo
echo "negotiated (protocol cipher, per client):"
awk '$3 == 200 { print "  " $1, $2, $5, $6, $7 }' "$work/access.log" | sort | uniq -c
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(uname -sr), $(openssl version)"
