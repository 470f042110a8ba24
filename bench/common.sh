# What the benchmark scripts share. Sourced after `root` (the repository) is
# set; every function's name starts with bench_.

# Installs, in one go, the Debian packages whose mark is missing:
#   bench_need MARK PACKAGE [MARK PACKAGE]...
# A mark is a command on the PATH or a path (a pattern is allowed).
bench_need() {
  local need=() mark package
  while [ $# -ge 2 ]; do
    mark=$1 package=$2
    shift 2
    case $mark in
      /*) compgen -G "$mark" >/dev/null || need+=("$package") ;;
      *) command -v "$mark" >/dev/null || need+=("$package") ;;
    esac
  done
  [ ${#need[@]} -gt 0 ] || return 0
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
}

# Builds the client library (Release) in BUILD and the bench program beside it,
# BUILD/kalvoran_bench: bench_build_client BUILD [CMAKE ARGUMENT]...
bench_build_client() {
  local build=$1
  shift
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKALVORAN_BUILD_APP=OFF \
    -DKALVORAN_BUILD_TESTS=OFF "$@" >/dev/null
  cmake --build "$build" --target kalvoran_http >/dev/null
  g++ -std=c++20 -O2 -DNDEBUG -I"$root/src/http" "$root/bench/kalvoran_bench.cpp" \
    "$build/src/http/libkalvoran_http.a" -lssl -lcrypto -pthread -o "$build/kalvoran_bench"
}

# Builds the window library (Release) in BUILD, with any further TARGETs, and
# the whole-job program BUILD/window_job: bench_build_window BUILD [TARGET]...
bench_build_window() {
  local build=$1
  shift
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKALVORAN_BUILD_TESTS=OFF \
    >/dev/null
  cmake --build "$build" --target kalvoran_app kalvoran-key "$@" >/dev/null
  # shellcheck disable=SC2046
  g++ -std=c++20 -O2 -DNDEBUG -fPIC -I"$root/src/app" -I"$root/src/window_core" -I"$root/src/job" -I"$root/src/http" \
    -I"$root/src/key" -I"$build/src/generated" $(pkg-config --cflags Qt6Widgets) \
    "$root/bench/window_job.cpp" "$build/src/app/libkalvoran_app.a" "$build/src/window_core/libkalvoran_window_core.a" \
    "$build/src/job/libkalvoran_job.a" "$build/src/http/libkalvoran_http.a" \
    "$build/src/key/libkalvoran_key.a" $(pkg-config --libs Qt6Widgets) -lssl -lcrypto -pthread \
    -o "$build/window_job"
}

bench_free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Waits up to 20 s until curl gets an answer from URL (more curl arguments
# may follow the URL).
bench_wait_for() {
  for _ in $(seq 200); do
    curl -s -o /dev/null "$@" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "nothing answers at $1" >&2
  return 1
}

# nginx in the background with everything it writes in WORK, one server on
# 127.0.0.1 (PORT, with "ssl" after it for TLS), sending files from WORK/www:
#   bench_start_nginx WORK LISTEN [HTTP LINES] [SERVER LINES]
# Sets bench_nginx_pid; nginx answers once this returns.
bench_start_nginx() {
  local work=$1 listen=$2 http_lines=${3:-} server_lines=${4:-} user_line=""
  [ "$(id -u)" -eq 0 ] && user_line="user root;"
  mkdir -p "$work/www" "$work/tmp"
  cat >"$work/nginx.conf" <<CONF
worker_processes 1;
pid $work/nginx.pid;
error_log $work/error.log;
$user_line
events { worker_connections 16; }
http {
  sendfile on;
  default_type application/octet-stream;
  client_body_temp_path $work/tmp;
  proxy_temp_path $work/tmp;
  fastcgi_temp_path $work/tmp;
  uwsgi_temp_path $work/tmp;
  scgi_temp_path $work/tmp;
$http_lines
  server {
    listen 127.0.0.1:$listen;
    root $work/www;
$server_lines
  }
}
CONF
  /usr/sbin/nginx -p "$work" -e "$work/error.log" -c "$work/nginx.conf" -g 'daemon off;' &
  bench_nginx_pid=$!
}

# Stops the nginx of bench_start_nginx, if one runs.
bench_stop_nginx() {
  [ -n "${bench_nginx_pid:-}" ] || return 0
  kill -QUIT "$bench_nginx_pid" 2>/dev/null && wait "$bench_nginx_pid" 2>/dev/null
  bench_nginx_pid=
  return 0
}

# The median of the numbers on standard input, one a line.
bench_median() {
  sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

bench_machine() {
  echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(uname -sr)"
}
