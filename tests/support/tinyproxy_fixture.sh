#!/bin/bash
# tinyproxy on loopback for tests that go through a real proxy:
#   tinyproxy_fixture.sh start|stop DIR [--auth USER PASSWORD] [--refuse]
# start runs it on a free port, logging each request to DIR/log, and once it
# accepts writes the port to DIR/port; stop ends it by its pid file. --auth
# asks for Basic credentials (letters and digits only); --refuse answers 403.
set -u
action=$1 dir=$2
allow=127.0.0.1 auth=()
shift 2
while [ $# -gt 0 ]; do
  case $1 in
    --auth) auth=("BasicAuth $2 $3"); shift 3 ;;
    --refuse) allow=192.0.2.1; shift ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
# A process that ended but nobody reaped still answers kill -0.
alive() { local s; s=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) && [ "$s" != Z ]; }
# The pid file is ours: tinyproxy deletes its own when it ends, which can
# come after the next start wrote it.
stop() {
  [ -s "$dir/pid" ] || return 0
  kill "$(cat "$dir/pid")" 2>/dev/null
  rm -f "$dir/pid" "$dir/port"
}
stop
[ "$action" = stop ] && exit 0
mkdir -p "$dir" || exit 1
for attempt in 1 2 3 4 5; do
  # Another program may take the port first: tinyproxy then exits at once
  # and the next attempt tries another port.
  port=$((20000 + RANDOM % 40000))
  rm -f "$dir/log"
  printf '%s\n' "Listen 127.0.0.1" "Port $port" "LogFile \"$dir/log\"" "LogLevel Info" \
    "Allow $allow" "DisableViaHeader Yes" "${auth[@]}" >"$dir/tinyproxy.conf"
  tinyproxy -d -c "$dir/tinyproxy.conf" </dev/null >"$dir/output" 2>&1 &
  echo $! >"$dir/pid"
  for _ in $(seq 50); do
    if grep -q "Accepting connections" "$dir/log" 2>/dev/null; then
      echo "$port" >"$dir/port"
      exit 0
    fi
    alive $! || break
    sleep 0.1
  done
  stop
done
echo "tinyproxy did not start (see $dir/output and $dir/log)" >&2
exit 1
