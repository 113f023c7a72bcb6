#!/usr/bin/env bash
# The setup under wine, as a Windows user meets it: a silent install into a fresh prefix;
# the installed probe measures a page; the installed program keeps its files in
# %APPDATA%\HalvexSentrel and ends on taskkill; a silent uninstall removes the program and
# its shortcut and keeps the user's list and settings.
#   bash tests/windows/wine_install_test.sh SETUP_EXE
set -euo pipefail
setup="$(readlink -f "${1:?setup exe}")"
root="$(cd "$(dirname "$0")/../.." && pwd)"
export WINEDEBUG=-all
work="$(mktemp -d)"
export WINEPREFIX="$work/prefix"
source "$root/scripts/display.sh"
server=""
cleanup() {
  wine taskkill /F /IM sentrel.exe >/dev/null 2>&1 || true
  wineserver -k 2>/dev/null || true
  [ -n "$server" ] && kill "$server" 2>/dev/null || true
  stop_display
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAILED: $*"; exit 1; }
wineserver -k 2>/dev/null || true
start_display 140 180 1024x768x24 tray
wineboot -i >/dev/null 2>&1 || true
wineserver -w

wine "$setup" /S
wineserver -w
app="$WINEPREFIX/drive_c/Program Files/HalvexSentrel"
for f in sentrel.exe sentrel-probe.exe alert.wav uninstall.exe doc/index.html; do
  [ -f "$app/$f" ] || fail "not installed: $f"
done
link=$(find "$WINEPREFIX/drive_c" -name 'HalvexSentrel.lnk' -path '*Start Menu*' | head -n1)
[ -n "$link" ] || fail "no Start-menu shortcut"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\HalvexSentrel'
entry=$(wine reg query "$key" 2>/dev/null | tr -d '\r')
for value in "DisplayName    REG_SZ    HalvexSentrel" "Publisher    REG_SZ    Halvex" \
             "DisplayVersion    REG_SZ    " "DisplayIcon    REG_SZ    " "EstimatedSize    REG_DWORD"; do
  grep -q -F "$value" <<<"$entry" || fail "Apps & features entry lacks: $value"
done
echo "install: the program, its uninstaller, a Start-menu shortcut and an Apps & features entry"

# The installed probe against a page served here.
printf 'hello page\nsecond line\n' > "$work/index.html"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
python3 -m http.server "$port" --bind 127.0.0.1 -d "$work" >/dev/null 2>&1 &
server=$!
for _ in $(seq 50); do python3 -c "import socket; socket.create_connection(('127.0.0.1',$port),1)" 2>/dev/null && break; sleep 0.1; done
got=$(wine "$app/sentrel-probe.exe" "http://127.0.0.1:$port/index.html" | tr -d '\r')
[ "$got" = 23 ] || fail "the installed probe measured $got, not 23"
echo "installed probe: $got bytes"

# The installed program: its files go to %APPDATA%, never beside it in Program Files.
LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 wine "$app/sentrel.exe" >"$work/program.log" 2>&1 &
pid=$!
win=""
for _ in $(seq 600); do
  win=$(xdotool search --onlyvisible --classname sentrel.exe 2>/dev/null | head -n1 || true)
  [ -n "$win" ] && break
  kill -0 "$pid" 2>/dev/null || fail "sentrel.exe ended at start: $(cat "$work/program.log")"
  sleep 0.1
done
[ -n "$win" ] || fail "no window within 60 s"
sleep 1
wine taskkill /IM sentrel.exe >/dev/null 2>&1 || fail "taskkill refused"
# A fresh prefix's first program may still be setting wine up under load: 60 s to end.
for _ in $(seq 600); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then
  import -window root "$work/../wine-install-stuck.png" 2>/dev/null || true
  fail "still running 60 s after taskkill; windows: $(xdotool search --onlyvisible --name '.' getwindowname %@ 2>/dev/null | tr '\n' '|'); log: $(cat "$work/program.log")"
fi
data=$(find "$WINEPREFIX/drive_c/users" -type d -path '*AppData/Roaming/HalvexSentrel' | head -n1)
[ -n "$data" ] && [ -s "$data/sentrel.ini" ] && [ -s "$data/user.mdb" ] ||
  fail "no sentrel.ini and user.mdb in %APPDATA%\\HalvexSentrel"
[ -e "$app/sentrel.ini" ] && fail "files written beside the installed program"
echo "installed program: window, orderly end, files in %APPDATA%\\HalvexSentrel"

wine "$app/uninstall.exe" /S
wineserver -w
[ -e "$app/sentrel.exe" ] && fail "the program is still there after the uninstall"
[ -e "$link" ] && fail "the Start-menu shortcut is still there"
wine reg query "$key" >/dev/null 2>&1 && fail "the Apps & features entry is still there"
[ -s "$data/sentrel.ini" ] && [ -s "$data/user.mdb" ] || fail "the uninstall took the user's files"
echo "uninstall: program and shortcut gone, the user's list and settings kept"
