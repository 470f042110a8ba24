#!/bin/bash
# Serves the reference scripts on 127.0.0.1, in the foreground:
#   serve.sh [PORT]           PHP's built-in server (php -S), default port 8080,
#                             with PHP_CLI_SERVER_WORKERS (default 4) workers
#   serve.sh --nginx [PORT]   nginx + PHP-FPM configured from deploy/, as a
#                             vendor runs them; Ctrl-C or SIGTERM stops both
#   serve.sh --nginx PORT --tls CERT KEY
#                             the same over HTTPS, with the certificate chain
#                             CERT and its key KEY (PEM files)
# Only the three scripts below DOWNLOADER/ answer; everything else is 404.
# The folders can be moved with KALVORAN_SERVER_FILES / _MARKS / _STATS; marks
# and statistics default to $XDG_STATE_HOME/kalvoran-server (else
# ~/.local/state/kalvoran-server). KALVORAN_SERVER_STATS_LIMIT (bytes, default
# 1 GiB) stops the statistics at that size; KALVORAN_SERVER_DELETE=no keeps
# every file whatever the keys ask.
# With --nginx, run as root, the workers run as KALVORAN_SERVER_USER, else as
# the user who called sudo, else as nobody. KALVORAN_NGINX and
# KALVORAN_PHP_FPM name the programs when they are not found by themselves,
# and KALVORAN_PHP the PHP of the built-in server.
here=$(cd "$(dirname "$0")" && pwd)
# A checkout has a files folder with a sample; an installed copy (the
# vendor's package) has none, and the vendor names his own.
if [ -z "${KALVORAN_SERVER_FILES:-}" ] && [ ! -d "$here/files" ]; then
  echo "serve.sh: no folder $here/files: name the folder of the packages in KALVORAN_SERVER_FILES" >&2
  exit 1
fi
if [ "${1:-}" != --nginx ]; then
  # php -S answers one request at a time, so a stalled download would hold up
  # every other one, its own resumption included: it gets workers. They are
  # children of php, which leaves them running when a signal ends it; so php
  # runs in a process group of its own (job control), and a signal ends the
  # group. The router answers the three scripts only: the folder itself is
  # served by no one.
  export PHP_CLI_SERVER_WORKERS=${PHP_CLI_SERVER_WORKERS:-4}
  set -m
  "${KALVORAN_PHP:-php}" -S "127.0.0.1:${1:-8080}" -t "$here" "$here/lib/router.php" &
  php=$!
  set +m
  trap 'kill -TERM -- "-$php" 2>/dev/null; wait "$php"; exit 0' INT TERM HUP
  wait "$php"
  exit
fi
port=${2:-8080}
cert=
key=
if [ "${3:-}" = --tls ]; then
  [ $# -eq 5 ] || { echo "usage: serve.sh --nginx PORT --tls CERT KEY" >&2; exit 2; }
  cert=$(cd "$(dirname "$4")" && pwd)/$(basename "$4")
  key=$(cd "$(dirname "$5")" && pwd)/$(basename "$5")
elif [ $# -gt 2 ]; then
  echo "usage: serve.sh --nginx [PORT] [--tls CERT KEY]" >&2
  exit 2
fi

fail() {
  echo "serve.sh: $*" >&2
  exit 1
}

# The first of the names found in PATH or in the system folders.
find_program() {
  local name dir
  for name in "$@"; do
    command -v "$name" 2>/dev/null && return 0
    for dir in /usr/sbin /usr/local/sbin /sbin; do
      [ -x "$dir/$name" ] && echo "$dir/$name" && return 0
    done
  done
  return 1
}
nginx=${KALVORAN_NGINX:-$(find_program nginx)} || fail "nginx is not installed (nginx-light)"
fpm=${KALVORAN_PHP_FPM:-$(find_program php-fpm php-fpm8.4 php-fpm8.3 php-fpm8.2 php-fpm8.1)} ||
  fail "PHP-FPM is not installed (php-fpm)"

# Workers: this user, or when root one without its powers.
user=
if [ "$(id -u)" -eq 0 ]; then
  user=${KALVORAN_SERVER_USER:-${SUDO_USER:-nobody}}
  [ "$user" = root ] && [ -z "${KALVORAN_SERVER_USER:-}" ] && user=nobody
  group=$(id -gn "$user") || fail "no user $user"
fi
# Runs a test as the workers' user.
as_worker() {
  if [ -n "$user" ] && [ "$user" != root ]; then
    runuser -u "$user" -- "$@"
  else
    "$@"
  fi
}

# The folders, absolute; the configuration quotes them, so a few characters
# cannot be part of them. The marks and statistics folders are made when
# missing, for the workers.
absolute() { (cd "$1" 2>/dev/null && pwd); }
writable_folder() {
  if [ ! -d "$1" ]; then
    mkdir -p "$(dirname "$1")" && mkdir -m 700 "$1" || fail "cannot make $1"
    if [ -n "$user" ]; then chown "$user:$group" "$1"; fi
  fi
  as_worker test -w "$1" -a -x "$1" || echo "serve.sh: ${user:-$(id -un)} cannot write $1" >&2
  absolute "$1"
}
files=$(absolute "${KALVORAN_SERVER_FILES:-$here/files}") || fail "no folder ${KALVORAN_SERVER_FILES:-$here/files}"
as_worker test -r "$files" -a -x "$files" || echo "serve.sh: ${user:-$(id -un)} cannot read $files" >&2
# The scripts' own default, which nginx does not pass on: the user's state.
state=${XDG_STATE_HOME:-}
[[ $state == /* ]] || state=$HOME/.local/state
marks=$(writable_folder "${KALVORAN_SERVER_MARKS:-$state/kalvoran-server/marks}") || exit 1
stats=$(writable_folder "${KALVORAN_SERVER_STATS:-$state/kalvoran-server/stats}") || exit 1
limit=${KALVORAN_SERVER_STATS_LIMIT:-1073741824}
[[ $limit =~ ^[0-9]+$ ]] || fail "KALVORAN_SERVER_STATS_LIMIT is no number of bytes: $limit"
delete=${KALVORAN_SERVER_DELETE:-yes}
[[ $delete =~ ^[A-Za-z0-9]+$ ]] || fail "KALVORAN_SERVER_DELETE is neither yes nor no: $delete"
[ -z "$cert" ] || [ -r "$cert" ] || fail "cannot read $cert"
[ -z "$key" ] || [ -r "$key" ] || fail "cannot read $key"
for path in "$here" "$files" "$marks" "$stats" ${cert:+"$cert"} ${key:+"$key"}; do
  case $path in *[\"\\\$]* | *$'\n'*) fail "a folder name with \", \\, \$ or a line end: $path" ;; esac
done

tmp=$(mktemp -d "${TMPDIR:-/tmp}/kalvoran-serve.XXXXXX") || fail "no temporary folder"
chmod 755 "$tmp"  # the workers reach the PHP-FPM socket in it
fpm_pid=
nginx_pid=
stop() {
  trap - INT TERM HUP EXIT
  [ -n "$nginx_pid" ] && kill -TERM "$nginx_pid" 2>/dev/null
  [ -n "$fpm_pid" ] && kill -TERM "$fpm_pid" 2>/dev/null
  wait
  rm -rf "$tmp"
}
trap 'stop; exit 0' INT TERM HUP
trap 'stop' EXIT

# Literal replacement in the deploy files: sed's special characters escaped.
escape() { printf '%s' "$1" | sed -e 's/[\\&|]/\\&/g'; }
if [ -n "$user" ]; then
  pool_user=(-e "s|^user = .*|user = $user|" -e "s|^group = .*|group = $group|"
    -e "s|^listen.owner = .*|listen.owner = $user|" -e "s|^listen.group = .*|listen.group = $group|")
else
  pool_user=(-e '/^user = /d' -e '/^group = /d' -e '/^listen.owner = /d' -e '/^listen.group = /d')
fi
{
  echo "[global]"
  echo "pid = $tmp/php-fpm.pid"
  echo "error_log = /proc/self/fd/2"
  echo "log_level = warning"
  echo "daemonize = no"
  sed -e "s|^listen = .*|listen = $(escape "$tmp/php-fpm.sock")|" "${pool_user[@]}" \
    "$here/deploy/php-fpm-pool.conf"
} >"$tmp/php-fpm.conf"
if [ -n "$cert" ]; then
  listen="listen 127.0.0.1:$port ssl; ssl_certificate \"$cert\"; ssl_certificate_key \"$key\";"
  scheme=https
else
  listen="listen 127.0.0.1:$port;"
  scheme=http
fi
# The site's root becomes this script's folder, whatever the file names: the
# checkout's example path, or the folder the vendor's package installed.
sed -e "s|^\( *\)listen 80;|\1$(escape "$listen")|" \
  -e "s|^\( *root \)\"[^\"]*\";|\1\"$(escape "$here")\";|" \
  -e "s|/srv/kalvoran/files|$(escape "$files")|" \
  -e "s|/srv/kalvoran/marks|$(escape "$marks")|" \
  -e "s|/srv/kalvoran/stats|$(escape "$stats")|" \
  -e "s|KALVORAN_SERVER_STATS_LIMIT [0-9]*;|KALVORAN_SERVER_STATS_LIMIT $limit;|" \
  -e "s|KALVORAN_SERVER_DELETE [A-Za-z0-9]*;|KALVORAN_SERVER_DELETE $delete;|" \
  -e "s|unix:/run/php/kalvoran-fpm.sock|unix:$(escape "$tmp/php-fpm.sock")|" \
  "$here/deploy/nginx-site.conf" >"$tmp/site.conf"
mkdir "$tmp/temp"
cat >"$tmp/nginx.conf" <<CONF
${user:+user $user $group;}
worker_processes auto;
pid $tmp/nginx.pid;
error_log stderr;
events { worker_connections 1024; }
http {
  sendfile on;
  tcp_nopush on;
  default_type application/octet-stream;
  access_log $tmp/access.log;
  client_body_temp_path $tmp/temp/body;
  proxy_temp_path $tmp/temp/proxy;
  fastcgi_temp_path $tmp/temp/fastcgi;
  uwsgi_temp_path $tmp/temp/uwsgi;
  scgi_temp_path $tmp/temp/scgi;
  include $tmp/site.conf;
}
CONF

# PHP-FPM first: nginx answers only once the socket is there.
as_root=()
[ "$user" = root ] && as_root=(--allow-to-run-as-root)
"$fpm" --nodaemonize --fpm-config "$tmp/php-fpm.conf" --prefix "$tmp" "${as_root[@]}" &
fpm_pid=$!
for _ in $(seq 200); do
  [ -S "$tmp/php-fpm.sock" ] && break
  kill -0 "$fpm_pid" 2>/dev/null || break
  sleep 0.05
done
[ -S "$tmp/php-fpm.sock" ] || fail "PHP-FPM did not start"
"$nginx" -p "$tmp" -e stderr -c "$tmp/nginx.conf" -g 'daemon off;' &
nginx_pid=$!
echo "serve.sh: nginx + PHP-FPM on $scheme://127.0.0.1:$port/DOWNLOADER/ (files: $files)" >&2

# Until either ends (nginx cannot listen, say) or a signal comes.
wait -n
status=$?
exit $((status == 0 ? 1 : status))
