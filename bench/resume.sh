#!/usr/bin/env bash
# A 1 GiB download through a relay that cuts the connection after every
# 100 MiB it forwards, with four clients: a whole job in the window (offscreen,
# as in window_job.sh), kalvoran-get -O DIR, wget with its defaults and curl
# with retries and -C -. Every run gets a fresh relay (bench/fault_relay.py)
# in front of nginx on loopback; the script measures the run's wall time and
# the bytes the relay forwarded to the client (the bytes on the wire), and
# checks the saved file with cmp. A client that cannot take up a broken
# download where it stopped either fails at the first cut or starts over and
# is cut again at 100 MiB every time; a run that passes the time limit is
# ended and counted as failed.
# Usage: bench/resume.sh [ROUNDS]   (default 3)
# Environment: KALVORAN_RESUME_LIMIT  seconds a run may take (default 300)
#              KALVORAN_RESUME_RESET  1: the relay cuts with a reset instead
#                                     of an orderly close
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/bench/common.sh"
rounds=${1:-3}
limit=${KALVORAN_RESUME_LIMIT:-300}
build=$root/build/bench-window
size=$((1 << 30))

bench_need /usr/bin/time time curl curl wget wget python3 python3 /usr/sbin/nginx nginx-light

# The same build folder as window_job.sh: the job needs the window library
# anyway, and kalvoran-get built beside it costs no second HTTP library.
echo "== building the window library, kalvoran-get and the job program (Release)"
bench_build_window "$build" kalvoran-get
get=$build/tools/kalvoran-get/kalvoran-get

work=$(mktemp -d /tmp/kalvoran_resume_bench.XXXXXX)
relay_pid=
stop_relay() {
  [ -n "$relay_pid" ] || return 0
  kill -TERM "$relay_pid" 2>/dev/null || true
  wait "$relay_pid" 2>/dev/null || true
  relay_pid=
}
cleanup() {
  stop_relay
  bench_stop_nginx
  rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"
mkdir -p "$work/www/DOWNLOADER" "$work/out"
echo "== generating 1 GiB of random bytes"
# nginx ignores the query: the download script's address serves the file,
# with the ETag and Last-Modified nginx gives every static file.
big=$work/www/DOWNLOADER/DownloadStream1v1.php
head -c "$size" /dev/urandom >"$big"

port=$(bench_free_port)
bench_start_nginx "$work" "$port" "  access_log off;"
bench_wait_for "http://127.0.0.1:$port/"
key=$("$build/tools/kalvoran-key/kalvoran-key" encode "0;noo;bench;big.bin;")

# A fresh relay in front of nginx; sets relay_pid and relay_port.
start_relay() {
  local reset=()
  [ "${KALVORAN_RESUME_RESET:-0}" = 1 ] && reset=(--reset)
  rm -f "$work/relay.out" "$work/relay.report"
  python3 "$root/bench/fault_relay.py" "${reset[@]}" --report "$work/relay.report" \
    "127.0.0.1:$port" >"$work/relay.out" &
  relay_pid=$!
  for _ in $(seq 100); do
    relay_port=$(awk '$1 == "listening" { print $2 }' "$work/relay.out" 2>/dev/null)
    [ -n "$relay_port" ] && return 0
    sleep 0.05
  done
  echo "the relay does not start" >&2
  return 1
}

# One measured run of client NAME (job, kalvoran-get, wget, curl), each
# through a relay of its own; appends "wall wire exit cmp" to $work/NAME.runs.
run() {
  local name=$1 saved=big.bin cmd
  start_relay
  local host=127.0.0.1:$relay_port
  local url="http://$host/DOWNLOADER/DownloadStream1v1.php?Reg=OK&Zmazat=false&Cesta=bench&Subor=big.bin"
  case $name in
    job)
      saved="Kalvoran Downloader/big.bin"
      cmd=(env QT_QPA_PLATFORM=offscreen "$build/window_job" "$host" "$key") ;;
    kalvoran-get)
      saved=1.body
      cmd=("$get" -O . "$url") ;;
    # wget's defaults: 20 tries, and each try after a break asks for the rest
    # with Range (-O does not stop that; only a second run needs -c).
    wget) cmd=(wget -q -O big.bin "$url") ;;
    curl) cmd=(curl --retry 20 --retry-all-errors -C - -s -o big.bin "$url") ;;
  esac
  rm -rf "$work/out"
  mkdir -p "$work/out"
  # /usr/bin/time puts a line of its own before the figures when the command
  # fails; the figures are the last line. timeout ends a run that is not done
  # within the limit (exit 124).
  (cd "$work/out" && /usr/bin/time -f '%e %x' -o "$work/time" \
    timeout -k 5 "$limit" "${cmd[@]}" >>"$work/$name.log" 2>&1) || true
  stop_relay
  local wall status wire same=failed
  read -r wall status < <(tail -1 "$work/time")
  wire=$(awk '{ print $2 }' "$work/relay.report")
  cmp -s "$big" "$work/out/$saved" 2>/dev/null && same=ok
  echo "$wall $wire $status $same" >>"$work/$name.runs"
  printf '  %-13s %7s s %11s bytes on the wire (%s), exit %s, cmp %s\n' "$name" "$wall" "$wire" \
    "$(cut -d' ' -f5- "$work/relay.report")" "$status" "$same"
  rm -rf "$work/out"
}

clients=(job kalvoran-get wget curl)
for c in "${clients[@]}"; do : >"$work/$c.runs"; : >"$work/$c.log"; done
for r in $(seq "$rounds"); do
  echo "== round $r"
  for c in "${clients[@]}"; do run "$c"; done
done

# One table line: median wall time, median bytes on the wire, their ratio to
# the file, how many runs brought the exact file, and the exit statuses seen.
report() {
  local name=$1 label=$2 runs=$work/$1.runs wall wire
  wall=$(cut -d' ' -f1 "$runs" | bench_median)
  wire=$(cut -d' ' -f2 "$runs" | bench_median)
  printf '%-20s %8s %12.0f %9.4f %7s %s\n' "$label" "$wall" "$wire" \
    "$(awk -v w="$wire" -v s="$size" 'BEGIN { print w / s }')" \
    "$(awk '$4 == "ok"' "$runs" | wc -l)/$(wc -l <"$runs")" \
    "$(cut -d' ' -f3 "$runs" | sort -g | uniq -c | awk '{ printf "%s%sx %s", (NR > 1 ? ", " : ""), $1, $2 }')"
}
echo
cut_kind="an orderly close"
[ "${KALVORAN_RESUME_RESET:-0}" = 1 ] && cut_kind="a reset"
echo "medians of $rounds rounds, 1 GiB from nginx $(/usr/sbin/nginx -v 2>&1 | sed 's/.*\///')" \
  "through a relay that cuts with $cut_kind every 100 MiB; limit ${limit} s a run"
printf '%-20s %8s %12s %9s %7s %s\n' "" "wall s" "wire bytes" "wire/file" "cmp ok" "exit status"
report job "window job"
report kalvoran-get "kalvoran-get -O"
report wget "wget $(wget --version | head -1 | cut -d' ' -f3)"
report curl "curl $(curl --version | head -1 | cut -d' ' -f2)"
echo
# The goal for the downloader's own clients: every file whole, at most 1.02 x
# the file on the wire, and no slower than wget.
wget_wall=$(cut -d' ' -f1 "$work/wget.runs" | bench_median)
for c in job kalvoran-get; do
  runs=$work/$c.runs
  awk -v s="$size" -v ww="$wget_wall" -v c="$c" -v n="$(wc -l <"$runs")" \
    -v ok="$(awk '$4 == "ok"' "$runs" | wc -l)" -v mw="$(cut -d' ' -f1 "$runs" | bench_median)" \
    -v mwire="$(cut -d' ' -f2 "$runs" | bench_median)" 'BEGIN {
      met = ok == n && mwire / s <= 1.02 && mw <= ww
      printf "goal %s: %s (whole files %d/%d, wire/file %.4f <= 1.02, wall %s s <= wget %s s)\n",
        c, met ? "met" : "NOT met", ok, n, mwire / s, mw, ww
    }'
done
echo
# What a client that failed printed, each line once with its count (Qt's
# notes about the offscreen platform left out).
for c in "${clients[@]}"; do
  if awk '$4 != "ok"' "$work/$c.runs" | grep -q .; then
    echo "$c printed:"
    grep -v '^$\|XDG_RUNTIME_DIR\|window masks\|raise()' "$work/$c.log" | sort | uniq -c | sort -rn | head -3 || true
  fi
done
bench_machine
