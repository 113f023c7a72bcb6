#!/usr/bin/env bash
# sentrel.exe under wine on a virtual display: it opens its window and its tray icon,
# ends in order on `wine taskkill` leaving its files, and starts again with those files.
#   bash tests/windows/wine_program_test.sh BUILD_WIN_DIR
# Expects WINEPREFIX to name a prefix made ready by the caller (wineboot).
set -euo pipefail
build="$(cd "${1:?build folder}" && pwd)"
export WINEDEBUG=-all
# The Chinese interface needs a font with Chinese glyphs: under a Chinese locale wine's
# default dialog font is linked to one from the system (Noto CJK, from Debian).
wine_zh() { LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 wine "$@"; }
# A wine server left from another display would put the windows there.
wineserver -k 2>/dev/null || true

work="$(mktemp -d)"
source "$(dirname "$0")/../../scripts/display.sh"
cleanup() {
  wine taskkill /F /IM sentrel.exe >/dev/null 2>&1 || true
  stop_display
  rm -rf "$work"
}
trap cleanup EXIT
start_display 140 180 1024x768x24 tray
sleep 1

cp "$build/bin/sentrel.exe" "$build/bin/alert.wav" "$work/"
cd "$work"

fail() { echo "FAILED: $*"; import -window root "$build/wine-program-fail.png" 2>/dev/null || true; exit 1; }

# The tray icon: wine's explorer embeds it in the tray host's panel.
tray_icons() {
  local panel
  panel=$(xdotool search --class trayer 2>/dev/null | while read -r w; do
    xwininfo -id "$w" 2>/dev/null | grep -q '"panel"' && echo "$w"; done | head -n1)
  [ -z "$panel" ] && panel=$(xwininfo -root -tree | awk '/"panel": \("panel" "trayer"\)/ {print $1; exit}')
  [ -z "$panel" ] && { echo 0; return; }
  xwininfo -id "$panel" -tree | grep -c '"explorer.exe"' || true
}

run_once() {  # label
  local label="$1" start
  start=$(date +%s)
  wine_zh sentrel.exe >"$work/$label.log" 2>&1 &
  local wine_pid=$!
  local win=""
  for _ in $(seq 600); do
    win=$(xdotool search --onlyvisible --classname sentrel.exe 2>/dev/null | head -n1 || true)
    [ -n "$win" ] && break
    kill -0 "$wine_pid" 2>/dev/null || fail "$label: sentrel.exe ended at start: $(cat "$work/$label.log")"
    sleep 0.1
  done
  [ -n "$win" ] || fail "$label: no window within 60 s"
  for _ in $(seq 100); do [ "$(tray_icons)" -ge 1 ] && break; sleep 0.1; done
  [ "$(tray_icons)" -ge 1 ] || fail "$label: no tray icon"
  echo "$label: window and tray icon after $(( $(date +%s) - start )) s"
  sleep 1
  import -window root "$build/wine-program-$label.png"

  wine taskkill /IM sentrel.exe >/dev/null 2>&1 || fail "$label: taskkill refused"
  for _ in $(seq 200); do kill -0 "$wine_pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$wine_pid" 2>/dev/null && fail "$label: still running 20 s after taskkill"
  for _ in $(seq 50); do [ "$(tray_icons)" -eq 0 ] && break; sleep 0.1; done
  [ "$(tray_icons)" -eq 0 ] || fail "$label: the tray icon stayed after the exit"
  grep -q '^interval=60$' sentrel.ini || fail "$label: sentrel.ini not written: $(cat sentrel.ini 2>&1)"
  [ -s user.mdb ] || fail "$label: user.mdb missing"
  echo "$label: ended in order, sentrel.ini and user.mdb written"
}

run_once first
run_once again   # with the files of the first run in place

# In English: with its catalog beside it, an English UI language and a settings file it
# cannot use, the program says so in a box whose caption is English.
cp -r "$build/bin/locale" "$work/"
printf 'not\001a settings file\n' > sentrel.ini
LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 wine sentrel.exe >"$work/english.log" 2>&1 &
box=""
for _ in $(seq 600); do
  box=$(xdotool search --onlyvisible --name '^Notice$' 2>/dev/null | head -n1 || true)
  [ -n "$box" ] && break
  sleep 0.1
done
import -window root "$build/wine-program-english.png"
wine taskkill /F /IM sentrel.exe >/dev/null 2>&1 || true
[ -n "$box" ] || fail "english: no box captioned Notice within 60 s"
echo "english: the program speaks English under an English locale"
echo "sentrel.exe under wine: passed"
