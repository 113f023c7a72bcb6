#!/usr/bin/env bash
# Desktop services that take calls and never answer, and a whole site's outage, on a
# private session bus (never the machine's own):
#  - with a silent notification service and a silent keyring, the window comes up at once,
#    50 failing pages make one notification, and SIGTERM ends the program at once;
#  - sentrel-watch's alert mail fails for want of the keyring's password, while the loop
#    goes on probing and SIGTERM still ends it within a second;
#  - with a service that answers, an outage and recovery of 50 pages make two notifications.
set -euo pipefail
bin=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../testsupport/session.sh"
fail() {
  echo "FAILED: $*"
  cat "$work/events" 2>/dev/null || true
  # What the program said, and what the display showed, for whoever reads the failure.
  for out in "$work"/*/out; do [ -s "$out" ] && { echo "--- $out"; cat "$out"; }; done
  import -window root "$bin/../silent-services-fail.png" 2>/dev/null || true
  exit 1
}
ms() { echo $(( $(date +%s%N) / 1000000 )); }

# 50 pages that answer 404 until the file "up" exists, then 100 bytes; /changed is 1000.
/usr/bin/python3 - "$work/port" "$work/up" "$work/hits" <<'PY' &
import http.server, os, socketserver, sys
port_file, up, hits = sys.argv[1:4]
class Page(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        with open(hits, "a") as f: f.write(self.path + "\n")
        size = 1000 if self.path == "/changed" else 100
        if self.path != "/changed" and not os.path.exists(up):
            self.send_response(404); self.send_header("Content-Length", "0"); self.end_headers()
            return
        self.send_response(200); self.send_header("Content-Length", str(size)); self.end_headers()
        self.wfile.write(b"x" * size)
    def log_message(self, *args): pass
class Server(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True
    request_queue_size = 128  # fifty watchers connect at once
server = Server(("127.0.0.1", 0), Page)
open(port_file, "w").write(str(server.server_address[1]))
server.serve_forever()
PY
pids+=($!)
# A loaded machine starts Python slowly: without its port every page would be no URL.
for _ in $(seq 300); do [ -s "$work/port" ] && break; sleep 0.1; done
[ -s "$work/port" ] || { echo "FAILED: the page server did not start"; exit 1; }
base="http://127.0.0.1:$(cat "$work/port")"
list() {  # home rows...
  /usr/bin/python3 - "$@" <<'PY'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1] + "/user.mdb")
db.execute("CREATE TABLE IF NOT EXISTS T_URL (url TEXT, title TEXT, kbsize TEXT)")
db.execute("DELETE FROM T_URL")
for url in sys.argv[2:]:
    db.execute("INSERT INTO T_URL VALUES (?, '', ?)", (url, "5" if url.endswith("/changed") else "0"))
db.commit()
PY
}
pages=()
for i in $(seq 50); do pages+=("$base/p$i"); done
start_window() {  # home: starts the program, echoes how long its window took (ms)
  local t0; t0=$(ms)
  SENTREL_HOME="$1" "$bin/sentrel" > "$1/out" 2>&1 &
  app=$!
  pids+=($app)
  win=""
  for _ in $(seq 100); do
    win=$(main_window "$app")
    [ -n "$win" ] && break
    sleep 0.1
  done
  [ -n "$win" ] || fail "the window did not appear"
  took=$(( $(ms) - t0 ))
}
stop_window() {  # ends the program by SIGTERM; echoes how long that took (ms)
  local t0; t0=$(ms)
  kill -TERM "$app"
  for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.05; done
  kill -0 "$app" 2>/dev/null && fail "SIGTERM was not acted on within 5 s"
  ended=$(( $(ms) - t0 ))
}
notices() { grep -c '"event": "notify"' "$work/events" || true; }
press_start() {  # clicks Start until the pages are being probed
  local before; before=$(wc -l < "$work/hits" 2>/dev/null || echo 0)
  for _ in 1 2 3 4 5; do
    click_at "$win" 50 57
    for _ in $(seq 50); do
      [ "$(wc -l < "$work/hits" 2>/dev/null || echo 0)" -gt "$before" ] && return 0
      sleep 0.1
    done
  done
  fail "Start did not start"
}

# ---- A silent notification service and a silent keyring.
private_bus
/usr/bin/python3 "$here/standins.py" --silent > "$work/events" &
silent=$!
pids+=($silent)
for _ in $(seq 300); do grep -q '"ready"' "$work/events" 2>/dev/null && break; sleep 0.1; done

mkdir "$work/win"
list "$work/win" "${pages[@]}"
# An older version's password in the file: the keyring is asked to take it, and never answers.
printf 'interval=1\nfailafter=1\nbalertwav=0\nsenduser=alice\nsendpwd=OldSecret1\n' > "$work/win/sentrel.ini"
start_window "$work/win"
echo "window up in $took ms with a silent keyring"
[ "$took" -lt 5000 ] || fail "the window took $took ms"
press_start
for _ in $(seq 60); do [ "$(notices)" -ge 1 ] && break; sleep 0.1; done
sleep 3  # a second batch, were there one, would be sent by now
[ "$(notices)" = 1 ] || fail "$(notices) notifications for one outage of 50 pages"
grep -q '"summary": "访问失败", "body": "50 个网页访问失败：' "$work/events" || fail "not the batch's wording"
stop_window
echo "SIGTERM ended the window in $ended ms, with its notification unanswered"
[ "$ended" -lt 3000 ] || fail "SIGTERM took $ended ms"
grep -q "^sendpwd=OldSecret1$" "$work/win/sentrel.ini" || fail "the password was lost with the keyring silent"

# sentrel-watch: its mail needs the keyring's password; the keyring never answers.
mkdir "$work/watch"
list "$work/watch" "$base/changed"
printf 'interval=1\nbalertemail=1\nemailrcv=bob@example.com\nsenduser=alice\n' > "$work/watch/sentrel.ini"
SENTREL_HOME="$work/watch" SENTREL_SMTP_HOST=127.0.0.1 SENTREL_SMTP_PORT=9 \
  "$bin/sentrel-watch" > "$work/watch/out" 2> "$work/watch/err" &
watch=$!
pids+=($watch)
for _ in $(seq 80); do grep -q "无法读取密钥环中的密码" "$work/watch/err" && break; sleep 0.1; done
grep -q "无法读取密钥环中的密码" "$work/watch/err" || fail "the mail did not fail for its password: $(cat "$work/watch/err")"
before=$(grep -c /changed "$work/hits")
sleep 2.5
after=$(grep -c /changed "$work/hits")
[ "$after" -gt "$before" ] || fail "the loop stopped probing ($before, then $after probes)"
t0=$(ms)
kill -TERM "$watch"
wait "$watch" || fail "sentrel-watch ended with status $?"
[ $(( $(ms) - t0 )) -lt 1500 ] || fail "sentrel-watch took $(( $(ms) - t0 )) ms to end"
grep -q " changed $base/changed 5 -> 1000" "$work/watch/out" || fail "no change told"
echo "sentrel-watch: the mail failed for want of the keyring, probing went on, SIGTERM ended it"

# ---- A notification service that answers: one outage and recovery, two notifications.
kill "$silent" 2>/dev/null || true
: > "$work/events"
/usr/bin/python3 "$here/standins.py" > "$work/events" &
pids+=($!)
for _ in $(seq 300); do grep -q '"ready"' "$work/events" 2>/dev/null && break; sleep 0.1; done
rm -f "$work/up"
mkdir "$work/win2"
list "$work/win2" "${pages[@]}"
printf 'interval=1\nfailafter=1\nbalertwav=0\n' > "$work/win2/sentrel.ini"
start_window "$work/win2"
press_start
for _ in $(seq 60); do [ "$(notices)" -ge 1 ] && break; sleep 0.1; done
touch "$work/up"
for _ in $(seq 80); do [ "$(notices)" -ge 2 ] && break; sleep 0.1; done
sleep 3
[ "$(notices)" = 2 ] || fail "$(notices) notifications for one outage and recovery of 50 pages"
grep -q '"summary": "已恢复", "body": "50 个网页已恢复：' "$work/events" || fail "no recovery batch"
stop_window
echo "desktop services: silence holds nothing up, and outages are told in one notification"
