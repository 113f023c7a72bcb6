#!/usr/bin/env bash
# The URL list's cells read through AT-SPI, as a screen reader reads them: the program
# runs on a private session bus with its own accessibility bus, never the machine's.
set -euo pipefail
bin=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../testsupport/session.sh"

/usr/bin/python3 - "$work/user.mdb" <<'PY'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
db.execute("CREATE TABLE T_URL (url TEXT, title TEXT, kbsize TEXT)")
db.executemany("INSERT INTO T_URL VALUES (?, ?, ?)",
               [("http://127.0.0.1:9/a", "新闻首页", "1000"), ("http://127.0.0.1:9/b", "价格页", "0")])
# The second row compares its text; its last two texts are kept.
for column in ("etag", "lastmod", "compare", "selector", "ignore", "texthash", "interval"):
    db.execute("ALTER TABLE T_URL ADD COLUMN %s TEXT" % column)
db.execute("UPDATE T_URL SET compare = 'text', selector = '#main', ignore = 'visitors', "
           "texthash = '0123456789abcdef', interval = '3600' WHERE title = '价格页'")
db.execute("CREATE TABLE T_TEXT (url TEXT PRIMARY KEY, last TEXT, lasttime INTEGER, prev TEXT, prevtime INTEGER)")
db.execute("INSERT INTO T_TEXT VALUES ('http://127.0.0.1:9/b', '价格\n299\n', 1765000000, '价格\n199\n', 1764000000)")
db.commit()
PY

private_bus
/usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
pids+=($!)
# The program joins the accessibility bus once, as it starts: the bus must be there first.
for _ in $(seq 100); do
  dbus-send --session --dest=org.a11y.Bus --print-reply /org/a11y/bus org.a11y.Bus.GetAddress \
    >/dev/null 2>&1 && break
  sleep 0.1
done
unset NO_AT_BRIDGE
SENTREL_HOME=$work "$bin/sentrel" >/dev/null 2>&1 &
pids+=($!)

out=$(timeout 60 /usr/bin/python3 "$here/atspi_cells.py" || true)
echo "$out"
expected=$'http://127.0.0.1:9/a|新闻首页|\nhttp://127.0.0.1:9/b|价格页|'
if [ "$out" != "$expected" ]; then
  echo "the list's cells are not what a screen reader should read"
  exit 1
fi
out=$(timeout 90 /usr/bin/python3 "$here/atspi_text_row.py" || true)
echo "$out"
# The last two texts an earlier version kept are its first two versions.
expected=$'versions: 2 +? −? 已提醒 / 1  首个版本\n查看变化:   价格 / − 199 / + 299\nbuttons: 关闭, 打开网页\n比较方式: 网页文字\nfields: http://127.0.0.1:9/b | 价格页 | 3600 | #main | visitors |  |  |  |  | '
if [ "$out" != "$expected" ]; then
  echo "a text row's changes and options are not what a screen reader should read"
  exit 1
fi
# The same window in English: its column headers read in English.
kill "${pids[-1]}" 2>/dev/null || true
wait "${pids[-1]}" 2>/dev/null || true
unset 'pids[-1]'
mkdir -p "$work/en"
cp "$work/user.mdb" "$work/en/"
LC_ALL=en_US.UTF-8 SENTREL_HOME=$work/en "$bin/sentrel" >/dev/null 2>&1 &
pids+=($!)
out=$(timeout 60 /usr/bin/python3 "$here/atspi_cells.py" --headers || true)
echo "$out"
if [ "$out" != "URL|Note|Status" ]; then
  echo "the English window's column headers are not what a screen reader should read"
  exit 1
fi
echo "accessibility: the list's cells, 查看变化 and the URL dialog read through AT-SPI, in Chinese and English"
