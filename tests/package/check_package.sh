#!/usr/bin/env bash
# Checks of the Debian package that CPack makes from a build:
#   check_package.sh make DEB_DIR BUILD          makes the package of BUILD into DEB_DIR
#   check_package.sh lint DEB_DIR VERSION S0 S1 S2
#       its name, version, contents and computed dependencies, the servers S0..S2
#       in its description; desktop-file-validate, appstreamcli, lintian
#   check_package.sh start DEB_DIR VERSION
#       unpacked into a temporary root, the window shows on Xvfb and
#       kalvoran-key works from there
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
  rm -f "$deb_dir"/kalvoran-downloader_*.deb
  cpack --config "$build/CPackConfig.cmake" -B "$deb_dir"
  exit 0
fi

version=$3
need dpkg dpkg-deb
deb=$deb_dir/kalvoran-downloader_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $deb; in $deb_dir: $(ls "$deb_dir" 2>&1 | tr '\n' ' ')"
root=$tmp/root
dpkg-deb -x "$deb" "$root"

case $step in
lint)
  need desktop-file-validate appstreamcli lintian
  servers=("${@:4}")
  [ "$(dpkg-deb --field "$deb" Version)" = "$version" ] || fail "package version is not $version"

  for path in usr/bin/kalvoran-downloader usr/bin/kalvoran-key \
    usr/share/applications/kalvoran-downloader.desktop \
    usr/share/metainfo/com.kalvoran.downloader.metainfo.xml \
    usr/share/icons/hicolor/{16x16,32x32,48x48,64x64}/apps/kalvoran-downloader.png \
    usr/share/icons/hicolor/scalable/apps/kalvoran-downloader.svg \
    usr/share/man/man1/{kalvoran-downloader,kalvoran-key}.1.gz \
    usr/share/doc/kalvoran-downloader/{copyright,changelog.gz}; do
    [ -f "$root/$path" ] || fail "the package lacks /$path"
  done
  programs=$(ls "$root/usr/bin" | tr '\n' ' ')
  [ "$programs" = "kalvoran-downloader kalvoran-key " ] || fail "the programs are: $programs"

  # Dependencies come from dpkg-shlibdeps: the Qt libraries the window links.
  depends=$(dpkg-deb --field "$deb" Depends)
  echo "Depends: $depends"
  for library in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6; do
    [[ ", $depends" == *", $library "* ]] || fail "Depends lacks $library"
  done
  # The vendor's servers, and the version everywhere it is shown.
  description=$(dpkg-deb --field "$deb" Description)
  for i in 0 1 2; do
    [[ $description == *"  $i: ${servers[i]}"* ]] || fail "the description lacks server $i ${servers[i]}"
  done
  grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/com.kalvoran.downloader.metainfo.xml" ||
    fail "the AppStream release is not $version"
  for page in kalvoran-downloader kalvoran-key; do
    zgrep -q "^\.TH .*\"Kalvoran Downloader $version\"" "$root/usr/share/man/man1/$page.1.gz" ||
      fail "the manual page of $page is not for $version"
  done
  zgrep -q "^kalvoran-downloader ($version) " "$root/usr/share/doc/kalvoran-downloader/changelog.gz" ||
    fail "the changelog's entry is not $version"

  desktop-file-validate "$root/usr/share/applications/kalvoran-downloader.desktop"
  appstreamcli validate --no-net "$root/usr/share/metainfo/com.kalvoran.downloader.metainfo.xml"
  # Warnings fail as errors do; information tags are only shown.
  lintian --display-info --fail-on error,warning "$deb"
  ;;

start)
  need xvfb-run xauth xdotool
  [ "$("$root/usr/bin/kalvoran-key" --version)" = "kalvoran-key $version" ] ||
    fail "kalvoran-key --version does not say $version"
  descriptor='2;x;Balík 2;a b.zip*č.pdf;č.pdf'
  key=$("$root/usr/bin/kalvoran-key" encode "$descriptor")
  expected="descriptor: $descriptor
server: 2
delete: true
folder: Balík 2
files: a b.zip*č.pdf
run: č.pdf"
  decoded=$("$root/usr/bin/kalvoran-key" decode "$key")
  [ "$decoded" = "$expected" ] || fail "kalvoran-key decode from the package printed:
$decoded"

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

*) fail "unknown step $step" ;;
esac
