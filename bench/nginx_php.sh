#!/usr/bin/env bash
# The reference server's download script behind nginx + PHP-FPM (PHP checks,
# nginx sends the file with X-Accel-Redirect) against the same file as a plain
# static nginx file, and against PHP's built-in server (php -S, PHP sends the
# file itself). Three measurements, ROUNDS rounds each (default 5), the three
# servers taking turns:
#   one client fetching a 1 GiB file;
#   32 clients at once, each fetching the same 64 MiB file;
#   500 requests of a 1 KiB file on one connection: the cost of a request.
# The client is the bench program (HttpClient::Get into a file stream, OnWork
# attached, as a download job does); `cmp` checks the bodies. Prints medians.
# Usage: bench/nginx_php.sh [ROUNDS]
# The client library is built in KALVORAN_BENCH_BUILD (default build/bench).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-5}
clients=32
build=${KALVORAN_BENCH_BUILD:-$root/build/bench}
case $build in /*) ;; *) build=$root/$build ;; esac
. "$root/bench/common.sh"

bench_need /usr/bin/time time curl curl php php-cli /usr/sbin/nginx nginx-light \
  "/usr/sbin/php-fpm*" php-fpm

echo "== building the client library and the bench program (Release) in $build"
bench_build_client "$build"
client=$build/kalvoran_bench

work=$(mktemp -d /tmp/kalvoran_bench_server.XXXXXX)
out=$work/out
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work" "$out"
}
trap cleanup EXIT
chmod 755 "$work"
mkdir -p "$work/files" "$work/marks" "$work/stats" "$work/temp"
# The bodies land in memory when it can hold them, so that writing them to
# disk does not blur the difference between the servers.
[ -d /dev/shm ] && [ -w /dev/shm ] && out=$(mktemp -d /dev/shm/kalvoran_bench_out.XXXXXX)
mkdir -p "$out"
echo "== generating 1 GiB and 64 MiB of random bytes"
head -c $((1 << 30)) /dev/urandom >"$work/files/big.bin"
head -c $((64 << 20)) /dev/urandom >"$work/files/m64.bin"
head -c 1024 /dev/urandom >"$work/files/k1.bin"
if [ "$(id -u)" -eq 0 ]; then
  # serve.sh gives its workers to nobody; they write marks and statistics.
  chown nobody "$work/marks" "$work/stats"
fi

export KALVORAN_SERVER_FILES=$work/files KALVORAN_SERVER_MARKS=$work/marks \
  KALVORAN_SERVER_STATS=$work/stats KALVORAN_SERVER_USER=nobody

fpm_port=$(bench_free_port)
"$root/server/serve.sh" --nginx "$fpm_port" 2>"$work/serve-nginx.log" &
pids+=($!)
php_port=$(bench_free_port)
"$root/server/serve.sh" "$php_port" 2>"$work/serve-php.log" &
pids+=($!)

# The static nginx: the same settings as serve.sh's, the files folder as root.
static_port=$(bench_free_port)
user_line=""; [ "$(id -u)" -eq 0 ] && user_line="user nobody nogroup;"
cat >"$work/static.conf" <<CONF
$user_line
worker_processes auto;
pid $work/static.pid;
error_log stderr;
events { worker_connections 1024; }
http {
  sendfile on;
  tcp_nopush on;
  types { }
  default_type application/octet-stream;
  access_log $work/static-access.log;
  client_body_temp_path $work/temp/body;
  proxy_temp_path $work/temp/proxy;
  fastcgi_temp_path $work/temp/fastcgi;
  uwsgi_temp_path $work/temp/uwsgi;
  scgi_temp_path $work/temp/scgi;
  server { listen 127.0.0.1:$static_port; root $work/files; }
}
CONF
/usr/sbin/nginx -p "$work" -e stderr -c "$work/static.conf" -g 'daemon off;' 2>"$work/static.log" &
pids+=($!)
for p in "$fpm_port" "$php_port" "$static_port"; do bench_wait_for "http://127.0.0.1:$p/"; done

script() { echo "http://127.0.0.1:$1/DOWNLOADER/DownloadStream1v1.php?Reg=OK&Zmazat=false&Cesta=&Subor=$2"; }
declare -A url1 url32
url1[fpm]=$(script "$fpm_port" big.bin)
url1[static]=http://127.0.0.1:$static_port/big.bin
url1[php]=$(script "$php_port" big.bin)
url32[fpm]=$(script "$fpm_port" m64.bin)
url32[static]=http://127.0.0.1:$static_port/m64.bin
url32[php]=$(script "$php_port" m64.bin)
declare -A urlk
urlk[fpm]=$(script "$fpm_port" k1.bin)
urlk[static]=http://127.0.0.1:$static_port/k1.bin
urlk[php]=$(script "$php_port" k1.bin)
kinds=(fpm static php)

# Every server brings the exact bytes, one client and many.
for kind in "${kinds[@]}"; do
  "$client" "${url1[$kind]}" "$out/check" 2>/dev/null
  cmp -s "$work/files/big.bin" "$out/check" || { echo "$kind: 1 GiB body differs" >&2; exit 1; }
done
rm -f "$out/check"

# One client: wall seconds.
one() {
  /usr/bin/time -f '%e' -o "$work/time" "$client" "$1" "$out/body" 2>/dev/null
  cat "$work/time"
  rm -f "$out/body"
}
# 32 clients at once: wall seconds until the last has its file; every body
# compared with the original.
many() {
  local start end i pid started=()
  start=$(date +%s.%N)
  for i in $(seq "$clients"); do
    "$client" "$1" "$out/c$i" 2>/dev/null &
    started+=($!)
  done
  for pid in "${started[@]}"; do wait "$pid"; done
  end=$(date +%s.%N)
  for i in $(seq "$clients"); do
    cmp -s "$work/files/m64.bin" "$out/c$i" || { echo "client $i: body differs" >&2; exit 1; }
  done
  rm -f "$out"/c*
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.2f\n", e - s }'
}

# What a request costs beyond its body: 500 requests of a 1 KiB file over
# one kept connection (curl), milliseconds per request.
small() {
  local urls=() i start end
  for i in $(seq 500); do urls+=("$1"); done
  start=$(date +%s.%N)
  curl -s "${urls[@]}" >/dev/null
  end=$(date +%s.%N)
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f\n", (e - s) * 1000 / 500 }'
}

for kind in "${kinds[@]}"; do : >"$work/one-$kind"; : >"$work/many-$kind"; : >"$work/small-$kind"; done
for r in $(seq "$rounds"); do
  echo "== round $r"
  # Each round another server goes first.
  order=("${kinds[@]:r%3}" "${kinds[@]:0:r%3}")
  for kind in "${order[@]}"; do one "${url1[$kind]}" >>"$work/one-$kind"; done
  for kind in "${order[@]}"; do many "${url32[$kind]}" >>"$work/many-$kind"; done
  for kind in "${order[@]}"; do small "${urlk[$kind]}" >>"$work/small-$kind"; done
done

# The median of the round-by-round ratios a / b: the two ran minutes apart
# at most, under the same load.
ratio() { paste -d' ' "$1" "$2" | awk '{ printf "%.3f\n", $1 / $2 }' | bench_median; }
declare -A name=([fpm]="script, nginx + PHP-FPM" [static]="static file, nginx" [php]="script, php -S")
echo
echo "medians of $rounds rounds; nginx $(/usr/sbin/nginx -v 2>&1 | sed 's/.*\///'), PHP $(php -r 'echo PHP_VERSION;')"
printf '%-26s %12s %16s %14s\n' "" "1 x 1 GiB s" "$clients x 64 MiB s" "ms / request"
for kind in "${kinds[@]}"; do
  printf '%-26s %12s %16s %14s\n' "${name[$kind]}" "$(bench_median <"$work/one-$kind")" \
    "$(bench_median <"$work/many-$kind")" "$(bench_median <"$work/small-$kind")"
done
for kind in fpm php; do
  printf '%-26s %12s %16s %14s\n' "${name[$kind]%%,*} / static (${kind/fpm/nginx})" \
    "$(ratio "$work/one-$kind" "$work/one-static")" "$(ratio "$work/many-$kind" "$work/many-static")" \
    "$(ratio "$work/small-$kind" "$work/small-static")"
done
echo "every round:"
for kind in "${kinds[@]}"; do
  echo "  ${name[$kind]}: 1 GiB $(tr '\n' ' ' <"$work/one-$kind")| $clients x 64 MiB $(tr '\n' ' ' <"$work/many-$kind")| ms $(tr '\n' ' ' <"$work/small-$kind")"
done
echo "$(bench_machine), load $(cut -d' ' -f1-3 /proc/loadavg)"
