#!/bin/bash
# The customer's Windows packages as a customer meets them, under Wine, in a
# prefix and a home of the test's own (a fresh prefix links Downloads,
# Desktop and Documents into $HOME):
#   the zips hold what they should; a silent install puts the program into
#   the user's programs folder, the shortcut into the Start menu and the
#   entry into the list of installed programs; the shortcut starts the
#   program in the Downloads folder; a later, signed build installs over it
#   (one entry, one shortcut, every signature valid); a silent uninstall
#   removes it all and leaves the downloads alone.
# From CTest: WORK, PACKAGES (the build folder), VERSION, VENDOR, SETTINGS and
# MAKE_PACKAGES (to make the later version), WINE, SESSION_SCRIPT
# (wine_gui_session.sh), SHELL_PROBE, ASSETS.
set -u -o pipefail
rm -rf "$WORK"
mkdir -p "$WORK/home"
export HOME=$WORK/home

fail() {
  echo "FAIL: $*" >&2
  [ -n "${DISPLAY:-}" ] && import -window root "$WORK/failed.png" 2>/dev/null
  exit 1
}
bash "$SESSION_SCRIPT" start "$WORK/session" "$WINE" || fail "no Wine session"
trap 'bash "$SESSION_SCRIPT" stop "$WORK/session" "$WINE"' EXIT
. "$WORK/session/env"

# (Wine's console host outlives a program: it must not hold the output.)
windows_run() { "$WINE" "$@" </dev/null 2>/dev/null | tr -d '\r'; }
probe() { windows_run "$SHELL_PROBE" "$@"; }
unix_path() { sed "s|^[Cc]:|$WINEPREFIX/drive_c|; s|\\\\|/|g" <<<"$1"; }
. "$(dirname "$0")/wait_for.sh"
seconds_since() { awk -v ms=$(($(date +%s%N) / 1000000 - $1)) 'BEGIN { printf "%.2f", ms / 1000 }'; }
now() { echo $(($(date +%s%N) / 1000000)); }

# The packages: a 64-bit installer; the customer's zip without the vendor's
# tools, the vendor's without the window.
installer=$PACKAGES/kalvoran-downloader-$VERSION-win64.exe
file "$installer" | grep -q 'PE32+ executable (GUI) x86-64' || fail "$(file "$installer")"
zip_list() { cmake -E tar tf "$1" | sort | tr '\n' ' '; }
listed=$(zip_list "$PACKAGES/kalvoran-downloader-$VERSION-win64.zip")
d=kalvoran-downloader-$VERSION
[ "$listed" = "$d/ $d/README.txt $d/copyright.txt $d/kalvoran-downloader.exe " ] || fail "customer zip: $listed"
listed=$(zip_list "$PACKAGES/kalvoran-vendor-tools-$VERSION-win64.zip")
d=kalvoran-vendor-tools-$VERSION
[ "$listed" = "$d/ $d/copyright.txt $d/kalvoran-get.exe $d/kalvoran-key.exe " ] || fail "vendor zip: $listed"

downloads=$(probe folder downloads)
programs="$(probe folder local-app-data)\\Programs\\Kalvoran Downloader"
link="$(probe folder start-menu)\\Kalvoran Downloader.lnk"
[ -n "$downloads" ] && [ "$programs" != '\Programs\Kalvoran Downloader' ] || fail "no known folders"
# A download of an earlier session, which nothing may touch.
earlier="$(unix_path "$downloads")/Kalvoran Downloader/earlier.bin"
mkdir -p "$(dirname "$earlier")"
echo "bought last year" >"$earlier"

uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall'
entry() { windows_run reg query "$uninstall_key\\Kalvoran Downloader"; }
installed() {
  local version=$1 name
  [ -f "$(unix_path "$programs")/kalvoran-downloader.exe" ] || fail "no program in $programs"
  [ "$(probe link "$link" | tr '\n' '|')" = "$programs\\kalvoran-downloader.exe|$downloads|" ] ||
    fail "the shortcut: $(probe link "$link")"
  local values
  values=$(entry | sed -n 's/^ *\([A-Za-z]*\) *REG_[A-Z]* *\(.*\)/\1=\2/p')
  for name in "DisplayName=Kalvoran Downloader" "DisplayVersion=$version" "Publisher=$VENDOR" \
    "DisplayIcon=$programs\\kalvoran-downloader.exe,0" "UninstallString=\"$programs\\uninstall.exe\""; do
    grep -qxF "$name" <<<"$values" || fail "the entry lacks $name: $values"
  done
  [ "$(($(sed -n 's/^EstimatedSize=//p' <<<"$values")))" -gt 500 ] || fail "the size: $values"
  # One entry, one shortcut, whatever was installed before.
  [ "$(windows_run reg query "$uninstall_key" /s | grep -c 'DisplayName.*Kalvoran Downloader')" = 1 ] ||
    fail "more than one entry"
  [ "$(ls "$(dirname "$(unix_path "$link")")" | grep -c Kalvoran)" = 1 ] || fail "more than one shortcut"
}

# The window shows, finds its download folder in its working folder (the
# open-folder button in colour, not grey) and ends on CLOSE. $1: where it
# should be working.
showing() { xdotool search --onlyvisible --name '^Kalvoran Downloader$' 2>/dev/null | head -1; }
colourful() {
  import -window root -crop 177x25+$((X + 144))+$((Y + 401)) +repage "$WORK/open-folder.png"
  [ "$(convert "$WORK/open-folder.png" -colorspace HSL -channel G -separate -format '%[fx:maxima>0.5]' info:)" = 1 ]
}
window_works_in() {
  wait_for 300 eval 'test -n "$(showing)"' || fail "no window"
  eval "$(xdotool getwindowgeometry --shell "$(showing)")"
  [ "$WIDTH" = 465 ] && [ "$HEIGHT" = 465 ] || fail "the window is $WIDTH x $HEIGHT"
  wait_for 50 colourful || fail "the open-folder button is grey: not started in $1"
  [ "${2:-}" = keep ] && return
  xdotool mousemove $((X + 283)) $((Y + 348)) click 1 # CLOSE
  wait_for 100 eval 'test -z "$(showing)"' || fail "CLOSE did not end the program"
}

# The portable copy, unpacked into a folder with an accented name, started
# there as Explorer starts it.
portable="$WORK/Přenosné programy"
mkdir -p "$portable/kalvoran-downloader-$VERSION/Kalvoran Downloader"
(cd "$portable" && cmake -E tar xf "$PACKAGES/kalvoran-downloader-$VERSION-win64.zip") || fail "unzip"
(cd "$portable/kalvoran-downloader-$VERSION" && "$WINE" kalvoran-downloader.exe </dev/null >/dev/null 2>&1 &)
window_works_in "$portable"

start=$(now)
windows_run "$installer" /S || fail "the installer failed"
install_time=$(seconds_since "$start")
installed "$VERSION"

# Started from its shortcut, in the Downloads folder. While it runs, the
# installer gives up and leaves it as it is.
windows_run start /unix "$(unix_path "$link")"
window_works_in "$downloads" keep
windows_run "$installer" /S && fail "the installer replaced a running program"
installed "$VERSION"
xdotool mousemove $((X + 283)) $((Y + 348)) click 1 # CLOSE
wait_for 100 eval 'test -z "$(showing)"' || fail "CLOSE did not end the program"

# A later version, signed with a code-signing certificate of a test CA,
# over the first.
pki=$WORK/pki
mkdir -p "$pki"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$pki/ca.key" -out "$pki/ca.pem" -days 2 \
  -subj "/CN=Kalvoran Test CA" 2>/dev/null || fail "no test CA"
openssl req -newkey rsa:2048 -nodes -keyout "$pki/sign.key" -out "$pki/sign.csr" \
  -subj "/CN=$VENDOR" 2>/dev/null &&
  openssl x509 -req -in "$pki/sign.csr" -CA "$pki/ca.pem" -CAkey "$pki/ca.key" -CAcreateserial \
    -out "$pki/sign.pem" -days 2 -extfile <(echo "extendedKeyUsage=codeSigning") 2>/dev/null ||
  fail "no code-signing certificate"
later=$VERSION.1
cmake -DSETTINGS="$SETTINGS" -DVERSION="$later" -DOUTPUT_DIR="$WORK/later" -DWORK="$WORK/later-work" \
  -DSIGN_CERTIFICATE="$pki/sign.pem" -DSIGN_KEY="$pki/sign.key" -P "$MAKE_PACKAGES" >"$WORK/later.log" 2>&1 ||
  fail "the signed packages: $(cat "$WORK/later.log")"
verify() {
  osslsigncode verify -CAfile "$pki/ca.pem" -in "$1" >"$WORK/verify.log" 2>&1 ||
    fail "$1 does not verify: $(cat "$WORK/verify.log")"
}
verify "$WORK/later/kalvoran-downloader-$later-win64.exe"
start=$(now)
windows_run "$WORK/later/kalvoran-downloader-$later-win64.exe" /S || fail "the later installer failed"
upgrade_time=$(seconds_since "$start")
installed "$later"
verify "$(unix_path "$programs")/kalvoran-downloader.exe"
verify "$(unix_path "$programs")/uninstall.exe"

# Removed, silently, with the language the user chose: the uninstaller goes
# on from a copy of itself, so its end is waited for.
settings='HKCU\Software\Kalvoran\Kalvoran Downloader'
windows_run reg add "$settings" /v Language /d en /f >/dev/null || fail "reg add"
start=$(now)
windows_run "$programs\\uninstall.exe" /S || fail "the uninstaller failed"
removed() {
  [ ! -e "$(unix_path "$programs")" ] && ! entry >/dev/null && [ ! -e "$(unix_path "$link")" ] &&
    ! windows_run reg query "$settings" >/dev/null
}
wait_for 300 removed || fail "left behind: $(ls "$(unix_path "$programs")" 2>&1); $(entry)"
uninstall_time=$(seconds_since "$start")
[ "$(cat "$earlier")" = "bought last year" ] || fail "the earlier download is gone"
echo "install $install_time s, install over it $upgrade_time s, uninstall $uninstall_time s" \
  "($(stat -c %s "$installer") bytes installer)"
