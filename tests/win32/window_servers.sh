#!/bin/bash
# The reference server for the window's tests, and a slow way to it:
#   window_servers.sh start|stop DIR
# start lays out a package "pack" under DIR/server (big.bin, 3 MB of random
# bytes; slow.bin, 16 MB; readme.txt), runs the reference scripts with PHP's
# built-in server on a free port (written to DIR/port) and a relay to it that
# answers at 1 MB/s (DIR/slow_port). stop ends both.
set -u
action=$1 dir=$2
here=$(cd "$(dirname "$0")" && pwd)
stop() {
  for name in php relay; do
    [ -s "$dir/$name.pid" ] && kill -TERM "$(cat "$dir/$name.pid")" 2>/dev/null
    rm -f "$dir/$name.pid"
  done
  rm -f "$dir/port" "$dir/slow_port"
}
stop
[ "$action" = stop ] && exit 0
rm -rf "$dir/server"
mkdir -p "$dir/server/files/pack" "$dir/server/marks" "$dir/server/stats" || exit 1
head -c 3000000 /dev/urandom >"$dir/server/files/pack/big.bin"
head -c 16000000 /dev/urandom >"$dir/server/files/pack/slow.bin"
printf 'read me\r\n' >"$dir/server/files/pack/readme.txt"
export KALVORAN_SERVER_FILES=$dir/server/files KALVORAN_SERVER_MARKS=$dir/server/marks
export KALVORAN_SERVER_STATS=$dir/server/stats KALVORAN_SERVER_DELETE=no
for attempt in 1 2 3 4 5; do
  port=$((20000 + RANDOM % 40000))
  # serve.sh ends its php with the signal it gets.
  bash "$here/../../server/serve.sh" "$port" </dev/null >"$dir/php.log" 2>&1 &
  echo $! >"$dir/php.pid"
  for _ in $(seq 50); do
    if curl -s -o /dev/null "http://127.0.0.1:$port/DOWNLOADER/DownloaderStats1v1.php"; then
      echo "$port" >"$dir/port"
      break 2
    fi
    kill -0 "$(cat "$dir/php.pid")" 2>/dev/null || break
    sleep 0.1
  done
  stop
done
[ -s "$dir/port" ] || { echo "the server did not start (see $dir/php.log)" >&2; exit 1; }
python3 "$here/slow_relay.py" "$dir/slow_port" "$port" 1000000 </dev/null >"$dir/relay.log" 2>&1 &
echo $! >"$dir/relay.pid"
for _ in $(seq 50); do
  [ -s "$dir/slow_port" ] && exit 0
  sleep 0.1
done
echo "the relay did not start (see $dir/relay.log)" >&2
exit 1
