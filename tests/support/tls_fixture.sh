#!/bin/bash
# HTTPS servers on loopback for tests that cannot start Linux programs
# themselves (the Windows build under Wine):
#   tls_fixture.sh start|stop DIR
# start makes test certificates in DIR/pki (ca.pem, ca.der, other-ca.pem and
# NAME.pem + NAME.key for each server certificate), files in DIR/www, runs
# nginx with one site per certificate plus a plain one, and the misbehaving
# servers of tls_faults.py. Once each accepts, its port is in DIR/port-SITE
# (local, other-host, expired, unknown-ca, self-signed, plain) and
# DIR/port-fault-KIND (plain, reset, close, cut, notify, kept). nginx logs each
# request to DIR/nginx/access.log. stop ends both and removes the port files.
set -u
if [ $# -ne 2 ] || { [ "$1" != start ] && [ "$1" != stop ]; }; then
  echo "usage: $0 start|stop DIR" >&2
  exit 2
fi
action=$1 dir=$(realpath -m "$2")
here=$(dirname "$(realpath "${BASH_SOURCE[0]}")")
sites=(local other-host expired unknown-ca self-signed plain)
faults=(plain reset close cut notify kept)

# A process that ended but nobody reaped still answers kill -0; a pid file
# left from before a reboot may name someone else's process.
alive() { local s; s=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) && [ "$s" != Z ]; }
ours() {
  alive "$1" && grep -qaF -- "$2" "/proc/$1/cmdline" && grep -qaF -- "$dir" "/proc/$1/cmdline"
}
# Waits up to $2 tenths of a second for process $1 to end.
gone_within() {
  for _ in $(seq "$2"); do
    alive "$1" || return 0
    sleep 0.1
  done
  ! alive "$1"
}
stop_nginx() {
  [ -s "$dir/pid-nginx" ] || return 0
  local pid workers=()
  pid=$(cat "$dir/pid-nginx")
  if ours "$pid" nginx; then
    # Graceful, so the access log holds every request; worker_shutdown_timeout
    # bounds how long open connections keep it.
    kill -QUIT "$pid"
    if ! gone_within "$pid" 100; then
      mapfile -t workers < <(pgrep -P "$pid")
      kill -KILL "$pid" "${workers[@]}" 2>/dev/null
    fi
  fi
  rm -f "$dir/pid-nginx"
}
stop_faults() {
  [ -s "$dir/pid-faults" ] || return 0
  local pid
  pid=$(cat "$dir/pid-faults")
  if ours "$pid" tls_faults.py; then
    kill "$pid"
    gone_within "$pid" 30 || kill -KILL "$pid" 2>/dev/null
  fi
  rm -f "$dir/pid-faults"
}
stop() {
  stop_nginx
  stop_faults
  rm -f "${sites[@]/#/$dir/port-}" "${faults[@]/#/$dir/port-fault-}"
}
fail() {
  echo "tls fixture: $*" >&2
  stop
  exit 1
}
stop
[ "$action" = stop ] && exit 0

# ---- certificates
pki=$dir/pki
mkdir -p "$dir/www/pack" "$dir/nginx/tmp" || fail "cannot create $dir"
out=$(bash "$here/make_certificates.sh" "$pki" 2>&1) || fail "$out"

# ---- files to download
# The same key every run, so big.bin is the same 64 MiB each time.
key=4b616c766f72616e4b616c766f72616e
head -c 67108864 /dev/zero | openssl enc -aes-128-ctr -nosalt -K $key -iv "${key//?/0}" \
  >"$dir/www/big.bin" || fail "cannot write $dir/www/big.bin"
printf ok >"$dir/www/f.txt"
head -c 300000 /dev/urandom >"$dir/www/pack/a.bin"
printf c >"$dir/www/pack/c.bin"

# ---- nginx
# site_conf SITE PORT: one server block; every site also answers the three
# requests of a download job, so a whole job runs against any of them.
site_conf() {
  local site=$1 port=$2
  echo "  server {"
  if [ "$site" = plain ]; then
    echo "    listen 127.0.0.1:$port;"
  else
    echo "    listen 127.0.0.1:$port ssl;"
    echo "    ssl_certificate $pki/$site.pem;"
    echo "    ssl_certificate_key $pki/$site.key;"
  fi
  # Wine's Schannel speaks TLS 1.2 only: the main site holds every client to it.
  [ "$site" = local ] && echo "    ssl_protocols TLSv1.2;"
  cat <<EOF
    root $dir/www;
    location = /DOWNLOADER/DownloadStream1v1.php { try_files /\$arg_Cesta/\$arg_Subor =404; }
    location = /DOWNLOADER/DownloadCleaner1v1.php { return 200 " Saved"; }
    location = /DOWNLOADER/DownloaderStats1v1.php { return 200 " Saved"; }
  }
EOF
}
# write_conf: one site on each of $ports, in the order of $sites.
write_conf() {
  local i temp
  {
    echo "worker_processes 1;"
    echo "pid $dir/nginx/nginx.pid;"
    echo "error_log $dir/nginx/error.log;"
    # A stop must not wait on a client that stalled mid-download.
    echo "worker_shutdown_timeout 5s;"
    # As root nginx would hand its workers to nobody, who may not read DIR.
    [ "$(id -u)" = 0 ] && echo "user root;"
    echo "events { worker_connections 256; }"
    echo "http {"
    echo "  log_format conn '\$server_port \$connection \"\$request\" \$status" \
      "\$body_bytes_sent \$ssl_protocol';"
    echo "  access_log $dir/nginx/access.log conn;"
    echo "  default_type application/octet-stream;"
    # A slow test under Wine must still find its kept connection.
    echo "  keepalive_timeout 600s;"
    echo "  send_timeout 600s;"
    for temp in client_body proxy fastcgi uwsgi scgi; do
      echo "  ${temp}_temp_path $dir/nginx/tmp;"
    done
    for i in "${!sites[@]}"; do
      site_conf "${sites[$i]}" "${ports[$i]}"
    done
    echo "}"
  } >"$dir/nginx/nginx.conf"
}
# answers PORT: the plain site serves f.txt, so nginx runs with this config
# (it binds every port before it accepts on any).
answers() {
  local reply
  # shellcheck disable=SC2016 # $0 is the inner shell's
  reply=$(timeout 2 bash -c 'exec 3<>"/dev/tcp/127.0.0.1/$0" &&
    printf "GET /f.txt HTTP/1.0\r\n\r\n" >&3 && cat <&3' "$1" 2>/dev/null) &&
    [[ $reply == *$'\r\n\r\nok' ]]
}
# Renamed into place, so a reader never sees a half-written port file.
put() { printf '%s\n' "$2" >"$1.tmp" && mv "$1.tmp" "$1"; }

rm -f "$dir/nginx/access.log" "$dir/nginx/error.log"
started=
for _ in 1 2 3 4 5; do
  # Another program may take one of the ports first: nginx then exits (after
  # its own retries) and the next attempt tries other ones.
  ports=()
  while [ ${#ports[@]} -lt ${#sites[@]} ]; do
    port=$((20000 + RANDOM % 40000))
    [[ " ${ports[*]} " == *" $port "* ]] || ports+=("$port")
  done
  write_conf
  /usr/sbin/nginx -p "$dir/nginx" -e "$dir/nginx/error.log" -c "$dir/nginx/nginx.conf" \
    -g 'daemon off;' </dev/null >"$dir/nginx/output" 2>&1 &
  echo $! >"$dir/pid-nginx"
  for _ in $(seq 100); do
    alive $! || break
    if answers "${ports[5]}"; then
      started=1
      break 2
    fi
    sleep 0.1
  done
  stop_nginx
done
[ -n "$started" ] || fail "nginx did not start (see $dir/nginx/output and error.log)"
for i in "${!sites[@]}"; do put "$dir/port-${sites[$i]}" "${ports[$i]}"; done

# ---- servers that break TLS on purpose; they write their own port files
python3 "$here/tls_faults.py" "$dir" </dev/null >"$dir/faults.log" 2>&1 &
echo $! >"$dir/pid-faults"
for _ in $(seq 100); do
  missing=0
  for fault in "${faults[@]}"; do [ -s "$dir/port-fault-$fault" ] || missing=1; done
  [ $missing = 0 ] && exit 0
  alive $! || break
  sleep 0.1
done
fail "tls_faults.py did not start (see $dir/faults.log)"
