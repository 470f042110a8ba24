#!/usr/bin/env bash
# Downloads a 1 GiB file of random bytes from nginx on loopback, alternately
# with the bench program (HttpClient::Get into a file stream, OnWork attached)
# and with curl, ROUNDS rounds each, and prints the medians of wall time, CPU
# time (user + system) and peak resident memory.
# With --https the same over TLS: both clients trust a test CA (kalvoran_bench
# and curl with --cacert); the CA, the server's certificate and its key are
# made for the run by the openssl command and go with the run's temporary
# folder.
# Usage: bench/client_vs_curl.sh [--https] [ROUNDS]   (default 5)
# Environment: KALVORAN_BENCH_BUILD  the build folder (default build/bench,
#              build/bench-https with --https)
#              KALVORAN_BENCH_WINDOWS  a Windows build's kalvoran-get.exe: it
#              runs too, under Wine (its own prefix, whose server is started
#              before and not counted), over Windows' own TLS with --https
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/bench/common.sh"
https=false
if [ "${1:-}" = --https ]; then
  https=true
  shift
fi
rounds=${1:-5}
if $https; then
  build=${KALVORAN_BENCH_BUILD:-$root/build/bench-https}
else
  build=${KALVORAN_BENCH_BUILD:-$root/build/bench}
fi

bench_need /usr/bin/time time curl curl /usr/sbin/nginx nginx-light openssl openssl \
  /usr/include/openssl/ssl.h libssl-dev

echo "== building the client library and the bench program (Release)"
bench_build_client "$build" -DKALVORAN_TLS=ON

work=$(mktemp -d /tmp/kalvoran_bench.XXXXXX)
cleanup() {
  bench_stop_nginx
  rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"
mkdir -p "$work/www" "$work/out"
echo "== generating 1 GiB of random bytes"
head -c $((1 << 30)) /dev/urandom >"$work/www/big.bin"

port=$(bench_free_port)
trust=()  # what both clients need to trust the server
if $https; then
  echo "== making a test CA and a certificate for 127.0.0.1"
  pki=$work/pki
  mkdir -p "$pki"
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout "$pki/ca.key" \
    -out "$pki/ca.pem" -days 2 -subj "/CN=Kalvoran bench CA" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
  openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout "$pki/server.key" \
    -out "$pki/server.csr" -subj /CN=127.0.0.1 2>/dev/null
  printf 'subjectAltName = IP:127.0.0.1\nextendedKeyUsage = serverAuth\n' >"$pki/ext.cnf"
  openssl x509 -req -in "$pki/server.csr" -CA "$pki/ca.pem" -CAkey "$pki/ca.key" -CAcreateserial \
    -days 2 -extfile "$pki/ext.cnf" -out "$pki/server.pem" 2>/dev/null
  trust=(--cacert "$pki/ca.pem")
  bench_start_nginx "$work" "$port ssl" \
    "  log_format tls '\$ssl_protocol \$ssl_cipher \$status \$body_bytes_sent \"\$http_user_agent\"';
  access_log $work/access.log tls;" \
    "    ssl_protocols TLSv1.2 TLSv1.3;  # nginx 1.22 leaves TLS 1.3 out by default
    ssl_certificate $pki/server.pem;
    ssl_certificate_key $pki/server.key;"
  url=https://127.0.0.1:$port/big.bin
else
  bench_start_nginx "$work" "$port" "  access_log off;"
  url=http://127.0.0.1:$port/big.bin
fi
bench_wait_for "${url%big.bin}" "${trust[@]}"

# One measured run: wall seconds, user + system seconds, peak RSS in KiB.
measure() {
  local out=$1
  shift
  /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@"
  read -r wall user sys rss <"$work/time"
  awk -v w="$wall" -v u="$user" -v s="$sys" -v m="$rss" 'BEGIN { printf "%s %.2f %s\n", w, u + s, m }' >>"$out"
  rm -f "$work/out/body"
}

: >"$work/kalvoran"
: >"$work/curl"
: >"$work/windows"
windows=${KALVORAN_BENCH_WINDOWS:-}
if [ -n "$windows" ]; then
  export WINEPREFIX=$work/wineprefix WINEDLLOVERRIDES=winemenubuilder.exe=d WINEDEBUG=-all
  mkdir -p "$WINEPREFIX"
  /usr/lib/wine/wineserver -p 600
  /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
  windows_get=(/usr/lib/wine/wine64 "$windows" "${trust[@]}" -O "$work/out" "$url")
fi
for r in $(seq "$rounds"); do
  echo "== round $r"
  measure "$work/kalvoran" "$build/kalvoran_bench" "${trust[@]}" "$url" "$work/out/body" 2>/dev/null
  measure "$work/curl" curl -s "${trust[@]}" -o "$work/out/body" "$url"
  if [ -n "$windows" ]; then
    measure "$work/windows" "${windows_get[@]}" 2>/dev/null
    rm -f "$work/out/1.body"
  fi
done
if [ -n "$windows" ]; then
  "${windows_get[@]}" 2>/dev/null
  cmp -s "$work/www/big.bin" "$work/out/1.body" || { echo "kalvoran-get.exe body differs" >&2; exit 1; }
  rm -f "$work/out/1.body"
  /usr/lib/wine/wineserver -k
fi

# Both tools must have brought the same bytes.
"$build/kalvoran_bench" "${trust[@]}" "$url" "$work/out/k.bin" 2>/dev/null
curl -s "${trust[@]}" -o "$work/out/c.bin" "$url"
cmp -s "$work/www/big.bin" "$work/out/k.bin" || { echo "kalvoran_bench body differs" >&2; exit 1; }
cmp -s "$work/www/big.bin" "$work/out/c.bin" || { echo "curl body differs" >&2; exit 1; }

report() {
  local name=$1 file=$2
  printf '%-16s %10s %10s %12s\n' "$name" \
    "$(cut -d' ' -f1 "$file" | bench_median)" "$(cut -d' ' -f2 "$file" | bench_median)" \
    "$(cut -d' ' -f3 "$file" | bench_median)"
}
echo
over=""
$https && over=" over TLS"
echo "medians of $rounds rounds, 1 GiB$over on loopback from nginx $(/usr/sbin/nginx -v 2>&1 | sed 's/.*\///')"
printf '%-16s %10s %10s %12s\n' "" "wall s" "cpu s" "peak KiB"
report kalvoran_bench "$work/kalvoran"
report "curl $(curl --version | head -1 | cut -d' ' -f2)" "$work/curl"
[ -z "$windows" ] || report "kalvoran-get.exe" "$work/windows"
echo
if $https; then
  echo "negotiated (protocol cipher, per client):"
  awk '$3 == 200 { print "  " $1, $2, $5, $6, $7 }' "$work/access.log" | sort | uniq -c
  echo "$(bench_machine), $(openssl version)"
else
  bench_machine
fi
