#!/bin/sh
# Serves the reference scripts on loopback: serve.sh [port] (default 8080).
# The folders can be moved with KALVORAN_SERVER_FILES / _MARKS / _STATS.
here=$(cd "$(dirname "$0")" && pwd)
exec php -S "127.0.0.1:${1:-8080}" -t "$here"
