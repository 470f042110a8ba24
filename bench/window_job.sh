#!/usr/bin/env bash
# A whole download job in the window (offscreen) against curl: both fetch a
# 1 GiB file of random bytes from nginx on loopback, alternately, ROUNDS rounds
# each. Prints the medians of wall time (whole process, from start to exit),
# the window's own times (DOWNLOAD to result, DOWNLOAD to the end of the
# completion step) and its progress hand-over counts.
# Usage: bench/window_job.sh [ROUNDS]   (default 5)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/bench/common.sh"
rounds=${1:-5}
build=$root/build/bench-window

bench_need /usr/bin/time time curl curl /usr/sbin/nginx nginx-light

echo "== building the window library and the bench program (Release)"
bench_build_window "$build"

work=$(mktemp -d /tmp/kalvoran_window_bench.XXXXXX)
cleanup() {
  bench_stop_nginx
  rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"
mkdir -p "$work/www/DOWNLOADER" "$work/job" "$work/curl"
echo "== generating 1 GiB of random bytes"
# nginx ignores the query: the download script's address serves the file.
big=$work/www/DOWNLOADER/DownloadStream1v1.php
head -c $((1 << 30)) /dev/urandom >"$big"

port=$(bench_free_port)
bench_start_nginx "$work" "$port" "  access_log off;"
bench_wait_for "http://127.0.0.1:$port/"
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

field() { awk -v k="$1" '{ for (i = 1; i < NF; i++) if ($i == k) print $(i + 1) }' "$work/window.lines"; }
w=$(bench_median <"$work/window"); c=$(bench_median <"$work/curl.wall")
echo
echo "medians of $rounds rounds, 1 GiB over loopback from nginx $(/usr/sbin/nginx -v 2>&1 | sed 's/.*\///')"
printf '%-28s %8s\n' "window job, process wall s" "$w"
printf '%-28s %8s\n' "  DOWNLOAD to result s" "$(field result_s | bench_median)"
printf '%-28s %8s\n' "  DOWNLOAD to completion s" "$(field completed_s | bench_median)"
printf '%-28s %8s\n' "curl $(curl --version | head -1 | cut -d' ' -f2), wall s" "$c"
awk -v w="$w" -v c="$c" 'BEGIN { printf "%-28s %8.3f\n", "ratio window / curl", w / c }'
echo "deliveries queued / run per round: $(field posted | paste -sd' ') / $(field delivered | paste -sd' ')"
echo "most deliveries waiting at once:   $(field most_behind | sort -g | tail -1)"
echo
bench_machine
