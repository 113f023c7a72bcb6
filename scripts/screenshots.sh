#!/usr/bin/env bash
# Takes the user guide's screenshots from the real program on a virtual display:
# docs/guide/main.png (a page marked as updated), options.png and url.png, and the same
# in English for the English guide (main-en.png, options-en.png, url-en.png).
# Needs a build (bash scripts/build.sh) and the test packages (bash scripts/deps.sh --test).
set -euo pipefail
cd "$(dirname "$0")/.."
out=docs/guide
work=$(mktemp -d)
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT

source scripts/display.sh
start_display 140 180 1024x768x24
pids+=("${display_pids[@]}")

# Three local pages; the stored size of the first differs from what it is now.
mkdir -p "$work/www" "$work/home"
printf 'news of the day\n' > "$work/www/news.html"
printf 'jobs\n' > "$work/www/jobs.html"
printf 'about us\n' > "$work/www/about.html"
port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
(cd "$work/www" && exec /usr/bin/python3 -m http.server "$port" --bind 127.0.0.1) >/dev/null 2>&1 & pids+=($!)
# The alert mail goes to the test suite's local SMTP server.
coproc SMTP { exec /usr/bin/python3 tests/delivery/smtp_sink.py "$work/mail.txt" 2>/dev/null; }
pids+=($SMTP_PID)
read -r _ smtp_port <&"${SMTP[0]}"

shot() {
  [ -n "$1" ] || { echo "no window for $2" >&2; exit 1; }
  eval "$(xdotool getwindowgeometry --shell "$1")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage -depth 8 "$out/$2"
}
# The program's dialog now open: its visible window other than the main one, the
# smallest of those that are dialog-sized.
dialog() {
  local best="" area=0
  for w in $(xdotool search --onlyvisible --pid "$app" '' 2>/dev/null); do
    [ "$w" = "$win" ] && continue
    eval "$(xdotool getwindowgeometry --shell "$w")"
    [ "$WIDTH" -gt 200 ] && [ "$HEIGHT" -gt 100 ] || continue
    if [ -z "$best" ] || [ $((WIDTH * HEIGHT)) -lt "$area" ]; then best=$w; area=$((WIDTH * HEIGHT)); fi
  done
  echo "$best"
}

# One run of the program per language, each in a profile of its own.
take() {  # take LOCALE SUFFIX NOTES...
local locale=$1 suffix=$2; shift 2
local home="$work/home$suffix"
mkdir -p "$home"
/usr/bin/python3 - "$home/user.mdb" "$port" "$@" <<'PY'
import sqlite3, sys
db, port, notes = sys.argv[1], sys.argv[2], sys.argv[3:]
c = sqlite3.connect(db)
c.execute("create table T_URL(url text, title text, kbsize text)")
rows = [("news.html", notes[0], "1000"), ("jobs.html", notes[1], "0"), ("about.html", notes[2], "0")]
c.executemany("insert into T_URL values(?,?,?)",
              [("http://127.0.0.1:%s/%s" % (port, u), t, k) for u, t, k in rows])
c.commit()
PY
printf 'interval=2\nbalertwav=0\nbalertemail=1\nemailrcv=me@example.com\nsenduser=alice\nsendpwd=s3cret\n' \
  > "$home/sentrel.ini"
LC_ALL=$locale SENTREL_HOME="$home" SENTREL_SMTP_HOST=127.0.0.1 SENTREL_SMTP_PORT="$smtp_port" build/bin/sentrel >/dev/null 2>&1 & app=$!; pids+=($app)
win=""
for _ in $(seq 100); do
  win=$(xdotool search --onlyvisible --name '^Sentrel$' 2>/dev/null | head -1 || true)
  [ -n "$win" ] && break; sleep 0.1
done
[ -n "$win" ] || { echo "the window did not appear" >&2; exit 1; }

xdotool mousemove --window "$win" 50 57 click 1   # Start
sleep 3
xdotool mousemove 790 590; sleep 0.3
shot "$win" "main$suffix.png"

xdotool mousemove --window "$win" 443 9 click 1   # the ▾ menu, then 设置
sleep 0.7; xdotool key Down Return; sleep 1
shot "$(dialog)" "options$suffix.png"
xdotool key Escape; sleep 0.5

xdotool mousemove --window "$win" 100 250; sleep 0.2; xdotool click 3   # 新增...
sleep 0.7; xdotool key Down Down Down Down Return; sleep 1
xdotool type --delay 10 "https://example.com/news"; xdotool key Tab; xdotool type --delay 10 "$1"
sleep 0.3
shot "$(dialog)" "url$suffix.png"
xdotool key Escape; sleep 0.5
xdotool mousemove --window "$win" 500 9 click 1   # QUIT
sleep 2
}
take C.UTF-8 "" 公司新闻 招聘信息 关于我们
take en_US.UTF-8 -en "Company news" Jobs "About us"
echo "screenshots written to $out"
