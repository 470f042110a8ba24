#!/bin/bash
# The Win32 window as a person drives it, one case per run:
#   window_test.sh CASE
# with the display and Wine session of wine_gui_session.sh (SESSION), the
# servers of window_servers.sh (SERVERS), a fresh working folder (WORK), the
# program (PROGRAM), the test's build of it (PROBE: the test's servers, its
# launches written down), the key tool (KEYTOOL), nginx over TLS
# (TLS_SERVERS, tests/support/tls_fixture.sh), screenshots to SHOTS, and
# for the picture comparison the Qt window (QT_WINDOW) and the pictures
# (ASSETS).
set -u
case=$1
. "$SESSION/env"
port=$(cat "$SERVERS/port") slow_port=$(cat "$SERVERS/slow_port")
rm -rf "$WORK"
mkdir -p "$WORK" "$SHOTS"
cd "$WORK" || exit 1
folder="$WORK/Kalvoran Downloader"
title="Kalvoran Downloader"
background=4080c0  # the display's, see wine_gui_session.sh
skin=$ASSETS/skin.png  # the skin drawn for the display's density
pids=()

fail() {
  echo "FAIL: $*" >&2
  import -window root "$SHOTS/$case-failed.png" 2>/dev/null
  exit 1
}
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  # Whatever Wine program is left of this case (a hung window, say).
  for p in $(pgrep -f 'kalvoran-(downloader|window-probe)'); do
    tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && kill "$p"
  done
}
trap cleanup EXIT

. "$(dirname "$0")/wait_for.sh"
# The shown windows of the program, one per line: the window first (during a
# job its title starts with the percentage), then its dialogs (titled as the
# program, "Warning" or "Error").
windows() {
  xdotool search --onlyvisible --name "^(([0-9]+% )?$title|Warning|Error)\$" 2>/dev/null
}
window_count() { windows | wc -l; }
has_windows() { [ "$(window_count)" -ge "$1" ]; }

# Starts the probe (or with "program", the program itself) and sets X, Y,
# WIDTH, HEIGHT to the window's place on the display.
start() {
  exe=$(basename "$PROBE")
  [ "${1:-}" != program ] || exe=$(basename "$PROGRAM")
  if [ "${1:-}" = program ]; then
    "$WINE" "$PROGRAM" </dev/null >"$WORK/output" 2>&1 &
  else
    local server=${1:-$port}
    [[ $server == https://* ]] || server=127.0.0.1:$server
    "$WINE" "$PROBE" "$server" launches rectangles layout </dev/null >"$WORK/output" 2>&1 &
  fi
  pids+=($!)
  wait_for 300 has_windows 1 || fail "no window"
  # A background that no pixel of the window has: what shows it is cut away.
  # (Set once the window shows: Wine's start clears it.)
  display -window root -size 8x8 "xc:#$background" </dev/null >/dev/null 2>&1
  window=$(windows | head -1)
  eval "$(xdotool getwindowgeometry --shell "$window")"
  wait_for 50 test -s "$WORK/rectangles" || [ "${1:-}" = program ] || fail "no rectangles"
  wait_for 50 painted || fail "not painted"
}
# The window's middle shows on the display, drawn: the skin's pixel there.
painted() {
  local half=$((WIDTH / 2))
  import -window root -crop 1x1+$((X + half))+$((Y + half)) +repage "$WORK/middle.png"
  [ "$(pixel "$WORK/middle.png" 0 0)" = "$(pixel "$skin" $half $half)" ]
}
# The centre of a control, from the probe's rectangles.
centre() {
  awk -v n="$1" -v x="$X" -v y="$Y" '$1 == n { print x + $2 + int($4 / 2), y + $3 + int($5 / 2) }' \
    "$WORK/rectangles"
}
click() { xdotool mousemove $(centre "$1") click "${2:-1}"; }
# (Wine's console host outlives the tool: it must not hold the test's output.)
key_for() { "$WINE" "$KEYTOOL" encode "$1" </dev/null 2>/dev/null | tr -d '\r'; }
# A pop-up menu shows: a window of the program's without a title.
menu_open() {
  [ "$(xdotool search --onlyvisible --classname "$exe" 2>/dev/null | wc -l)" -gt \
    "$(window_count)" ]
}
# Right-clicks the control, then picks the menu's item with the keys given.
menu_item() {
  local control=$1
  shift
  click "$control" 3
  wait_for 50 menu_open || fail "no menu on $control"
  xdotool key "$@"
  wait_for 50 eval '! menu_open' || fail "the menu on $control stayed"
}
# Pastes the key through the key field's menu, its first item.
paste_key() {
  # xclip serves the clipboard until the end of the case (in the foreground
  # with -quiet, so that it can be ended).
  printf '%s' "$1" | xclip -quiet -selection clipboard >/dev/null 2>&1 &
  pids+=($!)
  menu_item RichEdit1 Down Return
}
launched() { cat "$WORK/launches" 2>/dev/null; }
ended() { ! kill -0 "${pids[0]}" 2>/dev/null; }
window_crop() { import -window root -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage "$1"; }
pixel() { convert "$1" -format "%[hex:p{$2,$3}]" info:- | cut -c1-6 | tr 'A-F' 'a-f'; }

case $case in
  start)
    # The program itself: 465 x 465, its corners cut away, the display
    # behind showing there.
    start program
    [ "$WIDTH" = 465 ] && [ "$HEIGHT" = 465 ] || fail "the window is $WIDTH x $HEIGHT"
    window_crop "$SHOTS/start.png"
    for at in "0 0" "464 0" "0 464" "464 464" "20 20"; do
      [ "$(pixel "$SHOTS/start.png" $at)" = $background ] || fail "the corner at $at is drawn"
    done
    [ "$(pixel "$SHOTS/start.png" 232 232)" != $background ] || fail "the middle is cut away"
    xdotool mousemove $((X + 283)) $((Y + 348)) click 1  # CLOSE
    wait_for 100 ended || fail "CLOSE did not end the program"
    ;;

  job)
    # A whole job: the run file opened at the end, every file byte for byte.
    start
    paste_key "$(key_for "0;noo;pack;big.bin*readme.txt;readme.txt")"
    click Button1
    wait_for 600 has_windows 2 || fail "no end dialog"
    import -window root "$SHOTS/job-end.png"
    xdotool key Return
    wait_for 100 grep -q "^file " "$WORK/launches" || fail "nothing launched: $(launched)"
    cmp "$SERVERS/server/files/pack/big.bin" "$folder/big.bin" || fail "big.bin differs"
    cmp "$SERVERS/server/files/pack/readme.txt" "$folder/readme.txt" || fail "readme.txt differs"
    [ ! -e "$folder/tmp.tmp" ] || fail "tmp.tmp left"
    [ "$(launched)" = "file Kalvoran Downloader/readme.txt" ] || fail "launched: $(launched)"
    [ "$(window_count)" = 1 ] || fail "the dialog stayed"
    ;;

  job_over_https)
    # The same over Windows' own TLS, to nginx, trusting the test CA because
    # the user's root store holds it: Windows keeps it in the registry, a
    # serialised certificate (property 32: the certificate) under its SHA-1.
    ca=$TLS_SERVERS/pki/ca.pem
    thumb=$(openssl x509 -in "$ca" -noout -fingerprint -sha1 | sed 's/.*=//; s/://g')
    key="HKCU\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\$thumb"
    le32() { printf '%08x' "$1" | sed 's/\(..\)\(..\)\(..\)\(..\)/\4\3\2\1/'; }
    der=$(od -An -v -tx1 "$TLS_SERVERS/pki/ca.der" | tr -d ' \n')
    blob=$(le32 32)$(le32 1)$(le32 $((${#der} / 2)))$der
    "$WINE" reg add "$key" /v Blob /t REG_BINARY /d "$blob" /f </dev/null >/dev/null 2>&1 || fail "reg add"
    trap '"$WINE" reg delete "$key" /f </dev/null >/dev/null 2>&1; cleanup' EXIT
    start "https://localhost:$(cat "$TLS_SERVERS/port-local")"
    paste_key "$(key_for "0;;pack;a.bin*c.bin;c.bin")"
    click Button1
    wait_for 600 has_windows 2 || fail "no end dialog"
    xdotool key Return
    wait_for 100 grep -q "^file " "$WORK/launches" || fail "nothing launched: $(launched)"
    for name in a.bin c.bin; do
      cmp "$TLS_SERVERS/www/pack/$name" "$folder/$name" || fail "$name differs"
    done
    [ "$(launched)" = "file Kalvoran Downloader/c.bin" ] || fail "launched: $(launched)"
    ;;

  close_during_job)
    # CLOSE while a slow job runs: the title shows its percentage; the
    # question, answered Yes, ends the job and the program, no tmp.tmp left.
    start "$slow_port"
    paste_key "$(key_for "0;noo;pack;slow.bin;")"
    click Button1
    wait_for 300 test -e "$folder/tmp.tmp" || fail "the job did not start"
    percent() { xdotool getwindowname "$window" | grep -Eq "^[0-9]+% $title\$"; }
    wait_for 100 percent || fail "no percentage in the title: $(xdotool getwindowname "$window")"
    click Button2
    wait_for 50 has_windows 2 || fail "CLOSE did not ask"
    [ -e "$folder/tmp.tmp" ] || fail "the job ended before the answer"
    xdotool key Return  # Yes, the default
    wait_for 100 ended || fail "the program did not end"
    [ ! -e "$folder/tmp.tmp" ] || fail "tmp.tmp left"
    ;;

  job_ends_during_question)
    # CLOSE asks while a slow job runs, and the job ends meanwhile: the
    # question goes as if answered No, the end dialog comes alone, and after
    # it nothing is left open and the program runs on.
    start "$slow_port"
    paste_key "$(key_for "0;noo;pack;big.bin;")"
    click Button1
    wait_for 300 test -e "$folder/tmp.tmp" || fail "the job did not start"
    click Button2
    asking() { xdotool search --onlyvisible --name '^Warning$' >/dev/null 2>&1; }
    wait_for 50 asking || fail "CLOSE did not ask"
    wait_for 300 eval '! asking && has_windows 2' || fail "the question stayed, or no end dialog"
    import -window root "$SHOTS/job-ends-during-question.png"
    xdotool key Return
    wait_for 50 eval '[ "$(window_count)" = 1 ]' || fail "a dialog stayed"
    ! ended || fail "the program ended"
    cmp "$SERVERS/server/files/pack/big.bin" "$folder/big.bin" || fail "big.bin differs"
    ;;

  minimise)
    start
    # Without a window manager Wine keeps a minimised window as a small bar
    # at the display's bottom: the window's place shows the display.
    click Image5
    wait_for 50 eval '! painted' || fail "still shown"
    ;;

  language)
    # The flag's menu, its English item: the English flag shows, pixel for
    # pixel.
    start
    # CZ, DE, EN, SK in the menu's order: the third.
    menu_item Image8 Down Down Down Return
    read -r _ fx fy fw fh < <(grep '^Image8 ' rectangles)
    english() {
      import -window root -crop "46x23+$((X + fx + (fw - 46) / 2))+$((Y + fy + (fh - 23) / 2))" \
        +repage "$WORK/flag.png"
      compare -metric AE "$WORK/flag.png" "$ASSETS/flag_en.png" null: 2>"$WORK/flag_diff"
    }
    wait_for 30 english || fail "not the English flag ($(cat "$WORK/flag_diff") pixels differ)"
    ;;

  keyboard)
    # The keyboard alone: Tab round to the flag, Return opens the homepage,
    # Shift+F10 the language menu; back to CLOSE, whose Return ends it all.
    start
    xdotool key Tab Tab Tab Tab Return
    wait_for 50 grep -q "^address http" "$WORK/launches" || fail "Return on the flag: $(launched)"
    xdotool key shift+F10
    wait_for 50 menu_open || fail "Shift+F10 opened no menu"
    xdotool key Escape
    wait_for 50 eval '! menu_open' || fail "the menu stayed"
    xdotool key shift+Tab shift+Tab Return
    wait_for 100 ended || fail "Return on CLOSE did not end the program"
    ;;

  language_memory)
    # English, chosen from the keyboard, is kept in the user's registry: the
    # next start speaks English.
    settings='HKCU\Software\Kalvoran\Kalvoran Downloader'
    "$WINE" reg delete "$settings" /f </dev/null >/dev/null 2>&1
    trap '"$WINE" reg delete "$settings" /f </dev/null >/dev/null 2>&1; cleanup' EXIT
    # Inside the focus frame.
    convert "$ASSETS/flag_en.png" -crop 44x21+1+1 +repage "$WORK/flag_en.png"
    english() {
      import -window root -crop "44x21+$((X + 211))+$((Y + 299))" +repage "$WORK/flag.png"
      compare -metric AE "$WORK/flag.png" "$WORK/flag_en.png" null: 2>"$WORK/flag_diff"
    }
    start program
    xdotool key Tab Tab Tab Tab shift+F10
    wait_for 50 menu_open || fail "no language menu"
    xdotool key Down Down Down Return # CZ, DE, EN, SK: the third
    wait_for 30 english || fail "not the English flag ($(cat "$WORK/flag_diff") pixels differ)"
    xdotool mousemove $((X + 283)) $((Y + 348)) click 1 # CLOSE
    wait_for 100 ended || fail "CLOSE did not end the program"
    "$WINE" reg query "$settings" /v Language </dev/null 2>/dev/null | grep -q 'REG_SZ *en' ||
      fail "the language is not kept"
    pids=()
    start program
    wait_for 30 english || fail "the next start is not English"
    ;;

  homepage)
    start
    click Image8
    wait_for 50 grep -q "^address http" "$WORK/launches" || fail "launched: $(launched)"
    ;;

  open_folder)
    mkdir -p "$folder"
    start
    click BitBtn1
    wait_for 50 grep -qx "folder Kalvoran Downloader" "$WORK/launches" || fail "launched: $(launched)"
    ;;

  same_picture_as_qt)
    # The same shape, cut the same way, and the same skin outside every
    # control, in the start state.
    start
    window_crop "$WORK/win32.png"
    xdotool mousemove $((X + 283)) $((Y + 348)) click 1
    wait_for 100 ended || fail "CLOSE did not end the program"
    QT_QPA_PLATFORM=xcb "$QT_WINDOW" </dev/null >"$WORK/qt-output" 2>&1 &
    pids+=($!)
    wait_for 100 has_windows 1 || fail "no Qt window"
    eval "$(xdotool getwindowgeometry --shell "$(windows | head -1)")"
    wait_for 50 painted || fail "the Qt window is not painted"
    window_crop "$WORK/qt.png"
    # Every control painted over, the same on both.
    boxes=$(awk '$1 != "Image0" && $1 != "Panel4" { printf "rectangle %d,%d %d,%d ", $2, $3, $2 + $4 - 1, $3 + $5 - 1 }' rectangles)
    for view in win32 qt; do
      convert "$WORK/$view.png" -fill white +opaque "#$background" -fill black -opaque "#$background" \
        "$WORK/$view-mask.png"
      convert "$WORK/$view.png" -fill "#00ff00" -draw "$boxes" "$WORK/$view-skin.png"
    done
    compare -metric AE "$WORK/win32-mask.png" "$WORK/qt-mask.png" null: 2>"$WORK/diff" ||
      fail "the shapes differ in $(cat "$WORK/diff") pixels"
    compare -metric AE "$WORK/win32-skin.png" "$WORK/qt-skin.png" "$WORK/skin-diff.png" 2>"$WORK/diff" ||
      fail "the skins differ in $(cat "$WORK/diff") pixels (see $WORK/skin-diff.png)"
    ;;

  high_dpi)
    # At 192 dpi (200 %, which Wine takes from the user's desktop settings)
    # the window draws itself twice as large and sharp, from the pictures
    # drawn for that density.
    desktop='HKCU\Control Panel\Desktop'
    "$WINE" reg add "$desktop" /v LogPixels /t REG_DWORD /d 192 /f </dev/null >/dev/null 2>&1 || fail "reg add"
    trap '"$WINE" reg delete "$desktop" /v LogPixels /f </dev/null >/dev/null 2>&1; cleanup' EXIT
    skin=$ASSETS/skin@2x.png
    start
    [ "$WIDTH" = 930 ] && [ "$HEIGHT" = 930 ] || fail "the window is $WIDTH x $HEIGHT"
    window_crop "$WORK/window.png"
    for at in "0 0" "929 0" "0 929" "929 929" "40 40"; do
      [ "$(pixel "$WORK/window.png" $at)" = $background ] || fail "the corner at $at is drawn"
    done
    # Across the top left diagonal, what is cut away counted as the key: the
    # sharp skin pixel for pixel, which the enlarged small one is not.
    part=160x160+60+60
    convert "$WORK/window.png" -crop $part +repage -fill "#ff00ff" -opaque "#$background" "$WORK/part.png"
    convert "$skin" -crop $part +repage "$WORK/sharp.png"
    convert "$ASSETS/skin.png" -scale 200% -crop $part +repage "$WORK/enlarged.png"
    ! compare -metric AE "$WORK/sharp.png" "$WORK/enlarged.png" null: 2>/dev/null || fail "the part tells nothing"
    compare -metric AE "$WORK/part.png" "$WORK/sharp.png" "$WORK/part-diff.png" 2>"$WORK/diff" ||
      fail "the skin differs from skin@2x.png in $(cat "$WORK/diff") pixels (see $WORK/part-diff.png)"
    # Every control where the layout puts it, twice as far and as large; the
    # key label sizes itself and the list's font its height: they are placed.
    awk 'NR == FNR { left[$1] = $2; top[$1] = $3; w[$1] = $4; h[$1] = $5; next }
         $2 != 2 * left[$1] || $3 != 2 * top[$1] || (w[$1] && $4 != 2 * w[$1]) ||
         ($1 != "ComboBox1" && h[$1] && $5 != 2 * h[$1])' layout rectangles >misplaced
    [ -s layout ] && [ ! -s misplaced ] || fail "not where the layout says: $(cat misplaced)"
    ;;

  *) fail "no such case" ;;
esac
echo "passed: $case"
