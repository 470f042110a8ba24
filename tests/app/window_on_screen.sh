#!/usr/bin/env bash
# window_on_screen.sh wayland|scale2 PROGRAM ASSETS OUT: the built window on weston (only the octagon
# shows) or on Xvfb at scale 2 (the sharp skin), from a screenshot kept as OUT/screenshot-MODE.png.
set -euo pipefail
mode=$1 program=$2 assets=$3 out=$4 background='#3C8C50'
fail() { echo "window_on_screen.sh: $*" >&2 && exit 1; }
tmp=$(mktemp -d "${TMPDIR:-/tmp}/kalvoran-screen.XXXXXX") pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$tmp"' EXIT
mkdir -m 700 "$tmp/run" "$tmp/config" "$tmp/work" && cd "$tmp/work"
export XDG_RUNTIME_DIR=$tmp/run XDG_CONFIG_HOME=$tmp/config
pixel() { convert "$1" -crop "1x1+$2+$3" -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}'; } && export -f pixel
trimmed() { convert "$1" -bordercolor "$2" -border 1 -format '%@\n' info: | tr 'x+' '  '; }
differing() { compare -metric AE -fuzz 1% "$1" "$2" null: 2>&1 || true; }

if [ "$mode" = wayland ]; then
  # Skipped (77) without weston or Qt's Wayland platform.
  command -v weston-screenshooter >/dev/null && compgen -G "$(qtpaths6 --plugin-dir)/platforms/libqwayland-*.so" >/dev/null || exit 77
  printf '[shell]\nbackground-color=0xff%s\npanel-position=none\n' "${background#\#}" >weston.ini
  weston --backend=headless-backend.so --use-pixman --debug --socket=kalvoran --width=800 \
    --height=700 --config="$PWD/weston.ini" >weston.log 2>&1 &
  pids+=($!)
  timeout 30 bash -c "until [ -S '$tmp/run/kalvoran' ]; do sleep 0.1; done" || fail "no weston: $(cat weston.log)"
  export WAYLAND_DISPLAY=kalvoran
  QT_QPA_PLATFORM=wayland WAYLAND_DEBUG=client "$program" >program.log 2>&1 &
  pids+=($!)
  # Where the compositor put it: the box of all but background, less the octagon's place in the skin.
  read -r _ _ kx ky < <(trimmed "$assets/skin.png" '#FF00FF')
  for _ in $(seq 100); do
    rm -f wayland-screenshot-*.png && weston-screenshooter && mv wayland-screenshot-*.png shot.png
    read -r _ _ x y < <(trimmed shot.png "$background")
    x=$((x - kx)) y=$((y - ky))
    [ "$(pixel shot.png $((x + 232)) $((y + 190)))" = "$(pixel "$assets/skin.png" 232 190)" ] && break
  done
  convert shot.png -crop "465x465+$x+$y" +repage "$out/screenshot-wayland.png"
  keyed=$(convert shot.png -fill black +opaque '#FF00FF' -fill white -opaque '#FF00FF' -format '%[fx:round(mean*w*h)]' info:)
  [ "$keyed" = 0 ] || fail "$keyed key-colour pixels on the screen"
  for at in "2 2" "462 2" "2 462" "462 462"; do set -- $at
    [ "$(pixel shot.png $((x + $1)) $((y + $2)))" = "$background" ] || fail "the corner at $at is not see-through"; done
  [ "$(pixel shot.png $((x + 232)) $((y + 190)))" = "$(pixel "$assets/skin.png" 232 190)" ] || fail "no skin in the window"
  # Clicks in the corners reach what lies behind; told it is opaque, weston could ignore see-through pixels.
  grep -q 'set_input_region(wl_region@' program.log || fail "the window set no input region"
  ! grep -q 'set_opaque_region(wl_region@' program.log || fail "the window says it is opaque"
  exit 0
fi

env -u QT_QPA_PLATFORM QT_SCALE_FACTOR=2 xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  "$0" >program.log 2>&1 &
  window=$(timeout 60 xdotool search --sync --onlyvisible --name "^Kalvoran Downloader\$" | head -n 1)
  eval "$(xdotool getwindowgeometry --shell "$window")"
  echo "$WIDTH $HEIGHT $X $Y" >geometry
  for _ in $(seq 100); do  # until its middle shows the skin
    import -window root shot.png
    [ "$(pixel shot.png $((X + 464)) $((Y + 380)))" = "$(pixel "$1/skin@2x.png" 464 380)" ] && break
  done
  kill $!' "$program" "$assets" || fail "no window on Xvfb: $(cat program.log)"
read -r w h x y <geometry
[ "$w $h" = "930 930" ] || fail "the window is $w x $h, not 930 x 930"
convert shot.png -crop "930x930+$x+$y" +repage "$out/screenshot-scale2.png"
# The top-left diagonal inside the key colour, where the plain skin doubled differs.
convert "$out/screenshot-scale2.png" -crop 80x80+140+140 +repage shown.png
convert "$assets/skin@2x.png" -crop 80x80+140+140 +repage sharp.png
convert "$assets/skin.png" -scale 200% -crop 80x80+140+140 +repage doubled.png
[ "$(differing shown.png sharp.png)" = 0 ] || fail "the skin's edge is not the sharp picture"
[ "$(differing shown.png doubled.png)" -gt 50 ] || fail "the skin's edge is the plain skin doubled"
