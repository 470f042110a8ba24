#!/usr/bin/env bash
# The built window on real display servers, judged from a screenshot that is
# kept as OUT/screenshot-MODE.png (the window cropped):
#   window_on_screen.sh wayland PROGRAM ASSETS OUT   weston: the octagon alone
#   window_on_screen.sh scale2 PROGRAM ASSETS OUT    Xvfb at scale 2: the sharp skin
# Exits 77 (skipped) when weston or Qt's Wayland platform is missing.
set -euo pipefail
mode=$1 program=$2 assets=$3 out=$4
background='#3C8C50'
fail() {
  echo "window_on_screen.sh: $*" >&2
  exit 1
}
tmp=$(mktemp -d "${TMPDIR:-/tmp}/kalvoran-screen.XXXXXX")
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$tmp"' EXIT
mkdir -m 700 "$tmp/run" "$tmp/config" "$tmp/work"
cd "$tmp/work"
export XDG_RUNTIME_DIR=$tmp/run XDG_CONFIG_HOME=$tmp/config
pixel() { convert "$1" -crop "1x1+$2+$3" -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}'; }
differing() { compare -metric AE -fuzz 1% "$1" "$2" null: 2>&1 || true; }
# Tries a screenshot until the window shows fully drawn (check_shot), bounded.
until_shown() {
  for _ in $(seq 100); do "$@" && check_shot && return 0; done
  fail "the window never showed as it should; last screenshot kept in $out; the program said:
$(cat "$tmp/program.log")"
}

if [ "$mode" = wayland ]; then
  command -v weston-screenshooter >/dev/null && compgen -G "$(qtpaths6 --plugin-dir)/platforms/libqwayland-*.so" >/dev/null || exit 77
  printf '[shell]\nbackground-color=0xff%s\npanel-position=none\n' "${background#\#}" >"$tmp/weston.ini"
  weston --backend=headless-backend.so --use-pixman --debug --socket=kalvoran --width=800 \
    --height=700 --config="$tmp/weston.ini" >"$tmp/weston.log" 2>&1 &
  pids+=($!)
  timeout 30 bash -c "until [ -S '$tmp/run/kalvoran' ]; do sleep 0.1; done" || fail "weston did not start: $(cat "$tmp/weston.log")"
  export WAYLAND_DISPLAY=kalvoran
  QT_QPA_PLATFORM=wayland WAYLAND_DEBUG=client "$program" >"$tmp/program.log" 2>&1 &
  pids+=($!)
  # The window is where the compositor put it: the box of everything not
  # background, less where the octagon lies within the skin.
  shoot() { rm -f wayland-screenshot-*.png && weston-screenshooter && mv wayland-screenshot-*.png shot.png; }
  check_shot() {
    read -r w h sx sy < <(convert shot.png -bordercolor "$background" -border 1 -format '%@' info: | tr 'x+' '  ')
    read -r _ _ kx ky < <(convert "$assets/skin.png" -bordercolor '#FF00FF' -border 1 -format '%@' info: | tr 'x+' '  ')
    x=$((sx - kx)) y=$((sy - ky))
    convert shot.png -crop "465x465+$x+$y" +repage "$out/screenshot-wayland.png"
    [ "$w" -gt 400 ] && [ "$(pixel shot.png $((x + 232)) $((y + 190)))" = "$(pixel "$assets/skin.png" 232 190)" ]
  }
  until_shown shoot
  keyed=$(convert shot.png -fill black +opaque '#FF00FF' -fill white -opaque '#FF00FF' -format '%[fx:round(mean*w*h)]' info:)
  [ "$keyed" = 0 ] || fail "$keyed key-colour pixels on the screen"
  for at in "2 2" "462 2" "2 462" "462 462"; do
    set -- $at
    [ "$(pixel shot.png $((x + $1)) $((y + $2)))" = "$background" ] || fail "the corner at $at is not see-through"
  done
  [ "$(pixel shot.png $((x + 30)) $((y + 232)))" = "$(pixel "$assets/skin.png" 30 232)" ] || fail "the skin's left edge is not shown"
  # Clicks in the corners go to what lies behind: only the octagon takes input.
  grep -q 'set_input_region(wl_region@' "$tmp/program.log" || fail "the window set no input region"
  # Told it is opaque, a compositor may ignore the see-through pixels.
  ! grep -q 'set_opaque_region(wl_region@' "$tmp/program.log" || fail "the window says it is opaque"
else
  env -u QT_QPA_PLATFORM QT_SCALE_FACTOR=2 xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    "$0" >"$1/program.log" 2>&1 &
    pid=$!
    window=$(timeout 60 xdotool search --sync --onlyvisible --name "^Kalvoran Downloader\$" | head -n 1)
    for _ in $(seq 100); do
      import -window root "$1/shot.png"
      # Drawn once its middle shows the skin.
      eval "$(xdotool getwindowgeometry --shell "$window")"
      [ "$(convert "$1/shot.png" -crop "1x1+$((X + 464))+$((Y + 380))" -depth 8 txt:- | grep -o "#[0-9A-F]*")" = \
        "$(convert "$2/skin@2x.png" -crop 1x1+464+380 -depth 8 txt:- | grep -o "#[0-9A-F]*")" ] && break
    done
    echo "$WIDTH $HEIGHT $X $Y" >"$1/geometry"
    kill "$pid"' "$program" "$tmp" "$assets" || fail "no window on Xvfb: $(cat "$tmp/program.log")"
  read -r w h x y <"$tmp/geometry"
  [ "$w $h" = "930 930" ] || fail "the window is $w x $h, not 930 x 930"
  convert "$tmp/shot.png" -crop "930x930+$x+$y" +repage "$out/screenshot-scale2.png"
  # The top-left diagonal, inside the key colour: drawn at twice the size,
  # it differs from the plain skin doubled.
  box=80x80+140+140
  convert "$out/screenshot-scale2.png" -crop $box +repage shown.png
  convert "$assets/skin@2x.png" -crop $box +repage sharp.png
  convert "$assets/skin.png" -scale 200% -crop $box +repage doubled.png
  [ "$(differing shown.png sharp.png)" = 0 ] || fail "the skin's edge is not the sharp picture"
  [ "$(differing shown.png doubled.png)" -gt 50 ] || fail "the skin's edge is the plain picture doubled"
fi
