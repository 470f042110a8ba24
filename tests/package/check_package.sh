#!/usr/bin/env bash
# Checks of the Debian packages that CPack makes from a build: the customer's
# kalvoran-downloader and the vendor's kalvoran-vendor-tools.
#   check_package.sh make DEB_DIR BUILD          makes the packages of BUILD into DEB_DIR
#   check_package.sh lint DEB_DIR VERSION S0 S1 S2
#       their names, versions, contents and computed dependencies, the servers
#       S0..S2 in their descriptions; desktop-file-validate, appstreamcli, lintian
#   check_package.sh start DEB_DIR VERSION
#       the customer's, unpacked into a temporary root: the window shows on Xvfb
#   check_package.sh serve DEB_DIR VERSION HEADLESS_JOB
#       the vendor's, unpacked into a temporary root: its serve.sh runs its
#       example site, its kalvoran-key makes the key of a job that HEADLESS_JOB
#       runs there, and its kalvoran-get fetches a file
set -euo pipefail

fail() {
  echo "check_package.sh: $*" >&2
  exit 1
}
need() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null ||
      fail "$tool is missing (tools/setup-packages.sh installs it: ./test.sh does)"
  done
}

step=$1
deb_dir=$(realpath -m "$2")
tmp=$(mktemp -d "${TMPDIR:-/tmp}/kalvoran-package.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

if [ "$step" = make ]; then
  build=$(realpath "$3")
  need cpack dpkg-deb dpkg-shlibdeps file
  [ -f "$build/CPackConfig.cmake" ] || fail "no CPack configuration in $build"
  mkdir -p "$deb_dir"
  rm -f "$deb_dir"/kalvoran-*.deb
  cpack --config "$build/CPackConfig.cmake" -B "$deb_dir"
  exit 0
fi

version=$3
need dpkg dpkg-deb
# unpack NAME: the package NAME into $tmp/NAME; sets deb and root.
unpack() {
  deb=$deb_dir/${1}_${version}_$(dpkg --print-architecture).deb
  [ -f "$deb" ] || fail "no $deb; in $deb_dir: $(ls "$deb_dir" 2>&1 | tr '\n' ' ')"
  root=$tmp/$1
  dpkg-deb -x "$deb" "$root"
}

case $step in
lint)
  need desktop-file-validate appstreamcli lintian
  servers=("${@:4}")
  for package in kalvoran-downloader kalvoran-vendor-tools; do
    unpack "$package"
    # Its programs (with their manual pages), the libraries dpkg-shlibdeps
    # must find beside libc6 and libstdc++6, and its other files.
    if [ "$package" = kalvoran-downloader ]; then
      programs=(kalvoran-downloader) libraries=(libqt6core6 libqt6gui6 libqt6widgets6)
      contents=(usr/share/applications/kalvoran-downloader.desktop
        usr/share/metainfo/com.kalvoran.downloader.metainfo.xml
        usr/share/icons/hicolor/{16x16,32x32,48x48,64x64}/apps/kalvoran-downloader.png
        usr/share/icons/hicolor/scalable/apps/kalvoran-downloader.svg)
    else
      programs=(kalvoran-get kalvoran-key) libraries=(libssl3)
      contents=(usr/share/kalvoran-server/{serve.sh,deploy/nginx-site.conf,deploy/php-fpm-pool.conf}
        usr/share/kalvoran-server/DOWNLOADER/{DownloadStream1v1,DownloadCleaner1v1,DownloaderStats1v1}.php
        usr/share/kalvoran-server/lib/{downloader,router}.php)
    fi
    [ "$(dpkg-deb --field "$deb" Version)" = "$version" ] || fail "$package: version is not $version"
    for path in "${contents[@]}" usr/share/doc/"$package"/{copyright,changelog.gz}; do
      [ -f "$root/$path" ] || fail "$package lacks /$path"
    done
    [ "$(ls "$root/usr/bin")" = "$(printf '%s\n' "${programs[@]}")" ] ||
      fail "$package: the programs are: $(ls "$root/usr/bin" | tr '\n' ' ')"
    [ "$(ls "$root/usr/share/man/man1")" = "$(printf '%s.1.gz\n' "${programs[@]}")" ] ||
      fail "$package: the manual pages are: $(ls "$root/usr/share/man/man1" | tr '\n' ' ')"
    for page in "${programs[@]}"; do
      zgrep -q "^\.TH .*\"Kalvoran Downloader $version\"" "$root/usr/share/man/man1/$page.1.gz" ||
        fail "the manual page of $page is not for $version"
    done
    depends=$(dpkg-deb --field "$deb" Depends)
    echo "$package Depends: $depends"
    for library in libc6 libstdc++6 "${libraries[@]}"; do
      [[ ", $depends" == *", $library "* ]] || fail "$package: Depends lacks $library"
    done
    # The vendor's servers in both, and the version everywhere it is shown.
    description=$(dpkg-deb --field "$deb" Description)
    for i in 0 1 2; do
      [[ $description == *"  $i: ${servers[i]}"* ]] ||
        fail "$package: the description lacks server $i ${servers[i]}"
    done
    [ "$package" = kalvoran-vendor-tools ] || [[ $description != *kalvoran-key* ]] ||
      fail "the customer's package says it holds kalvoran-key"
    zgrep -q "^kalvoran-downloader ($version) " "$root/usr/share/doc/$package/changelog.gz" ||
      fail "$package: the changelog's entry is not $version"
  done
  # Besides the vendor's programs and pages (the lists above are exact), a
  # customer gets no server; the vendor's example site runs from where his
  # package puts it.
  customer=$tmp/kalvoran-downloader
  [ ! -e "$customer/usr/share/kalvoran-server" ] || fail "the customer's package holds the server"
  server=$tmp/kalvoran-vendor-tools/usr/share/kalvoran-server
  grep -q '^ *root "/usr/share/kalvoran-server";$' "$server/deploy/nginx-site.conf" ||
    fail "the example site's root is not /usr/share/kalvoran-server"
  [ -x "$server/serve.sh" ] || fail "serve.sh is not executable"

  grep -q "<release version=\"$version\"" "$customer/usr/share/metainfo/com.kalvoran.downloader.metainfo.xml" ||
    fail "the AppStream release is not $version"
  desktop-file-validate "$customer/usr/share/applications/kalvoran-downloader.desktop"
  appstreamcli validate --no-net "$customer/usr/share/metainfo/com.kalvoran.downloader.metainfo.xml"
  # Warnings fail as errors do; information tags are only shown.
  lintian --display-info --fail-on error,warning "$deb_dir"/kalvoran-{downloader,vendor-tools}_"$version"_*.deb
  ;;

start)
  need xvfb-run xauth xdotool
  unpack kalvoran-downloader
  # The window on a real X server: visible, by its title, at its fixed size,
  # with the class that the desktop entry names. Downloads would land in the
  # working directory: a fresh one.
  mkdir "$tmp/work"
  cd "$tmp/work"
  export KALVORAN_PROGRAM=$root/usr/bin/kalvoran-downloader KALVORAN_LOG=$tmp/program.log
  KALVORAN_WM_CLASS=$(sed -n 's/^StartupWMClass=//p' "$root/usr/share/applications/kalvoran-downloader.desktop")
  export KALVORAN_WM_CLASS
  env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    "$KALVORAN_PROGRAM" >"$KALVORAN_LOG" 2>&1 &
    pid=$!
    window=$(timeout 60 xdotool search --sync --onlyvisible --name "^Kalvoran Downloader\$" | head -n 1)
    geometry=$(xdotool getwindowgeometry "$window" 2>&1 || true)
    class=$(xdotool search --onlyvisible --classname "^$KALVORAN_WM_CLASS\$" || true)
    alive=yes
    kill "$pid" 2>/dev/null || alive=no
    wait "$pid" || true
    echo "window: ${window:-none}; class: ${class:-none}; program still running: $alive"
    echo "$geometry"
    [ -n "$window" ] && [ "$alive" = yes ] && [ "$class" = "$window" ] &&
      [[ $geometry == *"Geometry: 465x465"* ]]
  ' || fail "the window did not show as it should; the program said:
$(cat "$tmp/program.log")"
  ;;

serve)
  need php curl iconv cmp
  headless_job=$4
  unpack kalvoran-vendor-tools
  bin=$root/usr/bin
  [ "$("$bin/kalvoran-key" --version)" = "kalvoran-key $version" ] ||
    fail "kalvoran-key --version does not say $version"
  # A package with an accented folder and file name, and its key, which the
  # packaged tool reads back as the downloader will.
  chmod 755 "$tmp" # as root, the workers run as nobody and reach the folders through it
  files=$tmp/site/files
  package="$files/Balík 2"
  mkdir -p "$package"
  head -c 3000000 /dev/urandom >"$package/game.bin"
  echo "Ďakujeme za nákup." >"$package/čítaj ma.txt"
  descriptor='1;noo;Balík 2;game.bin*čítaj ma.txt;čítaj ma.txt'
  decoded=$("$bin/kalvoran-key" decode "$("$bin/kalvoran-key" encode "$descriptor")")
  [ "$decoded" = "descriptor: $descriptor
server: 1
delete: false
folder: Balík 2
files: game.bin*čítaj ma.txt
run: čítaj ma.txt" ] || fail "kalvoran-key from the package read its key as:
$decoded"

  # The package's own serve.sh with its example site, stopped however this ends.
  port=$(php -r '$s = stream_socket_server("tcp://127.0.0.1:0"); echo explode(":", stream_socket_get_name($s, false))[1];')
  server=127.0.0.1:$port
  KALVORAN_SERVER_FILES=$files KALVORAN_SERVER_MARKS=$tmp/site/marks KALVORAN_SERVER_STATS=$tmp/site/stats \
    KALVORAN_SERVER_USER=nobody "$root/usr/share/kalvoran-server/serve.sh" --nginx "$port" 2>"$tmp/serve.log" &
  serve_pid=$!
  trap 'kill "$serve_pid" 2>/dev/null; wait "$serve_pid"; rm -rf "$tmp"' EXIT
  for _ in $(seq 300); do
    curl --silent --output /dev/null "http://$server/" && break
    kill -0 "$serve_pid" 2>/dev/null || fail "serve.sh ended: $(cat "$tmp/serve.log")"
    sleep 0.1
  done

  # A whole job of the downloader's core; its descriptor travels as
  # Windows-1250 bytes, as in a key.
  mkdir "$tmp/job"
  status=0
  "$headless_job" "$server" "$tmp/job" "$(iconv -f UTF-8 -t WINDOWS-1250 <<<"$descriptor")" || status=$?
  [ "$status" -eq 0 ] || fail "the job ended with $status; the server said: $(cat "$tmp/serve.log")"
  [ "$(ls "$tmp/job/Kalvoran Downloader")" = "$(ls "$package")" ] ||
    fail "the job saved: $(ls "$tmp/job/Kalvoran Downloader" | tr '\n' ' ')"
  for name in game.bin "čítaj ma.txt"; do
    cmp "$package/$name" "$tmp/job/Kalvoran Downloader/$name"
  done
  record=$(cat "$tmp"/site/stats/*.txt | iconv -f WINDOWS-1250 -t UTF-8)
  if [[ $record != [0-3][0-9].[01][0-9].20[0-9][0-9]" "[0-2][0-9]:[0-5][0-9]:[0-5][0-9]"*"*"*$descriptor*$version*" ]] ||
    [ "$(wc -l <<<"$record")" -ne 1 ]; then
    fail "the statistics read: $record"
  fi

  "$bin/kalvoran-get" -O "$tmp" \
    "http://$server/DOWNLOADER/DownloadStream1v1.php?Reg=OK&Zmazat=false&Cesta=Bal%EDk+2&Subor=%E8%EDtaj+ma.txt"
  cmp "$tmp/1.body" "$package/čítaj ma.txt"
  ;;

*) fail "unknown step $step" ;;
esac
