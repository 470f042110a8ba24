#!/usr/bin/env bash
# Runs the vendor's worked sequence of README.md exactly as it is written
# there, on loopback:  vendor_path.sh README SOURCE_DIR WORK_DIR
#
# In the section "## For vendors", every ```sh block is run in turn in this
# one shell, from SOURCE_DIR, stopping at the first failing command. A ```text
# block right after a ```sh block is that block's output, compared exactly.
# The first ```sh block holds the settings; after it this script moves the
# port, the build and the server's folders to its own (a free port, WORK_DIR).
set -euo pipefail

readme=$1
source_dir=$2
work=$3

fail() {
  echo "vendor_path.sh: $*" >&2
  exit 1
}

steps=$work/steps
rm -rf "$steps" "$work/site"
mkdir -p "$steps"
awk -v dir="$steps" '
  /^## / { section = ($0 ~ /^## For vendors/) }
  !section { next }
  open && /^```$/ { open = 0; next }
  open { print > file; next }
  /^```sh$/ { n++; file = sprintf("%s/%02d.sh", dir, n); printf "" > file; open = 1; next }
  /^```text$/ {
    if (n == 0 || seen[n]) { print "a text block without its sh block" > "/dev/stderr"; exit 1 }
    seen[n] = 1; file = sprintf("%s/%02d.expected", dir, n); printf "" > file; open = 1; next
  }
' "$readme"
blocks=("$steps"/*.sh)
[ -f "${blocks[0]}" ] || fail "no ## For vendors section with sh blocks in $readme"

# The sequence must still walk the whole path, whatever else the README says.
all=$(cat "${blocks[@]}")
for part in '-DKALVORAN_DOWNLOAD_SERVER_1=' '--target package' 'server/serve.sh --nginx' \
  'kalvoran-key" encode' 'kalvoran-key" decode' 'DownloadStream1v1.php?' \
  'DownloaderStats1v1.php?' "\$site/stats/"; do
  [[ $all == *"$part"* ]] || fail "the vendor's sequence no longer holds: $part"
done

free_port() {
  php -r '$s = stream_socket_server("tcp://127.0.0.1:0"); echo explode(":", stream_socket_get_name($s, false))[1];'
}

# A failing command ends the run (set -e) with its step's output; a server
# the sequence started is stopped however it ends.
out=
finish() {
  local status=$?
  if [ "$status" -ne 0 ] && [ -n "$out" ]; then
    cat "$out"
    echo "vendor_path.sh: step $(basename "$out" .out) failed" >&2
  fi
  if [ -n "${serve_pid:-}" ]; then
    kill "$serve_pid" 2>/dev/null && wait "$serve_pid" 2>/dev/null
  fi
  exit "$status"
}
trap finish EXIT

cd "$source_dir"
for block in "${blocks[@]}"; do
  name=$(basename "$block" .sh)
  echo "== step $name"
  cat "$block"
  out=$steps/$name.out
  . "$block" >"$out" 2>&1
  cat "$out"
  [ ! -s "$out" ] || [ -z "$(tail -c 1 "$out")" ] || echo
  out_done=$out
  out=
  if [ -f "$steps/$name.expected" ] && [ "$(cat "$out_done")" != "$(cat "$steps/$name.expected")" ]; then
    echo "-- expected:"
    cat "$steps/$name.expected"
    fail "step $name printed something else than README.md shows"
  fi
  if [ "$block" = "${blocks[0]}" ]; then
    port=$(free_port)
    build=$work/build
    site=$work/site
    echo "-- this run: port=$port build=$build site=$site"
  fi
done
echo "== the vendor's sequence ran through: ${#blocks[@]} steps"
