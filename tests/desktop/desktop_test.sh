#!/usr/bin/env bash
# The program on a desktop with a StatusNotifierItem host and a notification service,
# both recording stand-ins on a private session bus (never the machine's own): a page
# that changed while the program was closed is marked at Start; the notification names
# it and its "打开网页" clears the mark; the tray item asks for attention meanwhile, and
# its menu's 退出 ends the program, which stores its files.
set -euo pipefail
bin=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../testsupport/session.sh"
mkdir "$work/home" "$work/bin"

# A page of 1000 bytes, stored as 5: marked by the first probe.
/usr/bin/python3 - "$work/port" <<'PY' &
import http.server, socketserver, sys
class Page(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        self.send_response(200); self.send_header("Content-Length", "1000"); self.end_headers()
        self.wfile.write(b"x" * 1000)
    def log_message(self, *args): pass
server = socketserver.TCPServer(("127.0.0.1", 0), Page)
open(sys.argv[1], "w").write(str(server.server_address[1]))
server.serve_forever()
PY
pids+=($!)
for _ in $(seq 300); do [ -s "$work/port" ] && break; sleep 0.1; done
url="http://127.0.0.1:$(cat "$work/port")/page"
/usr/bin/python3 - "$work/home/user.mdb" "$url" <<'PY'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
db.execute("CREATE TABLE T_URL (url TEXT, title TEXT, kbsize TEXT)")
db.execute("INSERT INTO T_URL VALUES (?, '价格页', '5')", (sys.argv[2],))
db.commit()
PY
printf 'interval=60\nbalertwav=0\n' > "$work/home/sentrel.ini"
# The browser the page would open in: it only notes what it was given.
printf '#!/bin/sh\necho "$@" >> "%s/opened"\n' "$work" > "$work/bin/xdg-open"
chmod +x "$work/bin/xdg-open"

private_bus
/usr/bin/python3 "$here/standins.py" > "$work/events" &
pids+=($!)
for _ in $(seq 50); do grep -q '"ready"' "$work/events" 2>/dev/null && break; sleep 0.1; done

PATH="$work/bin:$PATH" BROWSER="$work/bin/xdg-open" SENTREL_HOME="$work/home" \
  "$bin/sentrel" > "$work/out" 2>&1 &
app=$!
for _ in $(seq 100); do
  win=$(main_window "$app")
  [ -n "$win" ] && break
  sleep 0.1
done
[ -n "$win" ] || { echo "the window did not appear"; cat "$work/out"; exit 1; }
click_at "$win" 50 57  # Start

status=1
for _ in $(seq 200); do
  if ! kill -0 "$app" 2>/dev/null; then wait "$app"; status=$?; break; fi
  sleep 0.1
done
kill "$app" 2>/dev/null || true
cat "$work/events"
fail() { echo "FAILED: $*"; exit 1; }
[ "$status" = 0 ] || fail "the tray menu's 退出 did not end the program (status $status)"
ev() { grep -c -F "$1" "$work/events" || true; }
[ "$(ev '"event": "register", "id": "com.halvex.Sentrel"')" = 1 ] || fail "no StatusNotifierItem com.halvex.Sentrel"
[ "$(ev '"summary": "有更新！", "body": "价格页\n'"$url"'"')" = 1 ] || fail "no notification naming the page"
[ "$(ev '"entry": "com.halvex.Sentrel"')" -ge 1 ] || fail "the notification does not name the desktop entry"
[ "$(ev '"打开网页"')" -ge 1 ] || fail "no 打开网页 action"
grep -q '"status": "Active"' "$work/events" || fail "never Active"
grep -q '"status": "NeedsAttention"' "$work/events" || fail "no attention for the mark"
[ "$(ev '"labels": ["显示主窗口", "设置", "-", "退出"]')" = 1 ] || fail "the menu is not 显示主窗口, 设置, -, 退出"
grep -q -F "$url" "$work/opened" 2>/dev/null || echo "note: no browser call seen (the desktop may open pages itself)"
echo "desktop: tray item, notification with its action, and the menu's 退出 all work"
