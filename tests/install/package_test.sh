#!/usr/bin/env bash
# The Debian package: built with CPack, unpacked into a temporary root and run from there
# with a fresh home and no SENTREL_HOME. The files go to the home's XDG folders.
set -euo pipefail
build=$1
work=$(mktemp -d)
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT

(cd "$build" && cpack -G DEB -B "$work/pkg" >/dev/null)
deb=$(ls "$work"/pkg/*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libwx libsqlite3 libcanberra libcurl4 libxml2 libpcre2-8 libsecret libayatana-appindicator; do
  grep -q "$lib" <<<"$depends" || { echo "Depends lacks $lib: $depends"; exit 1; }
done
# A browser is recommended, never required: the program works without one.
grep -q chromium <<<"$(dpkg-deb -f "$deb" Recommends)" || { echo "Recommends no browser"; exit 1; }
if grep -q chromium <<<"$depends"; then echo "Depends on a browser: $depends"; exit 1; fi
dpkg-deb -x "$deb" "$work/root"

# The unpacked probe against a page on 127.0.0.1.
mkdir -p "$work/www"
head -c 1234 /dev/zero | tr '\0' 'x' > "$work/www/page"
port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
(cd "$work/www" && exec /usr/bin/python3 -m http.server "$port" --bind 127.0.0.1) >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do size=$("$work/root/usr/bin/sentrel-probe" "http://127.0.0.1:$port/page"); [ "$size" = 1234 ] && break; sleep 0.1; done
[ "$size" = 1234 ] || { echo "unpacked sentrel-probe measured $size, not 1234"; exit 1; }

# The unpacked program, in a fresh home.
mkdir -p "$work/home"
HOME="$work/home" env -u SENTREL_HOME -u XDG_CONFIG_HOME -u XDG_DATA_HOME \
  "$work/root/usr/bin/sentrel" >/dev/null 2>&1 &
app=$!
pids+=($app)
shown=""
for _ in $(seq 150); do
  shown=$(xdotool search --onlyvisible --pid "$app" --name '^Sentrel$' 2>/dev/null | head -1 || true)
  [ -n "$shown" ] && break; sleep 0.1
done
[ -n "$shown" ] || { echo "the unpacked program showed no window"; exit 1; }
kill -TERM "$app"
# Its orderly end stores the settings and the list; a loaded machine may take a while.
for _ in $(seq 300); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && { echo "the unpacked program did not end within 30 s of SIGTERM"; exit 1; }
ini="$work/home/.config/sentrel/sentrel.ini"
[ -f "$ini" ] || { echo "no $ini"; exit 1; }
[ "$(stat -c %a "$ini")" = 600 ] || { echo "sentrel.ini is not owner-only"; exit 1; }
[ -f "$work/home/.local/share/sentrel/user.mdb" ] || { echo "no user.mdb in the data folder"; exit 1; }
# The unpacked sentrel-watch reads the same XDG profile: the list the window stored.
said=$(HOME="$work/home" env -u SENTREL_HOME -u XDG_CONFIG_HOME -u XDG_DATA_HOME \
  "$work/root/usr/bin/sentrel-watch" --once 2>&1 || true)
grep -q "$work/home/.local/share/sentrel/user.mdb" <<<"$said" ||
  { echo "sentrel-watch did not read the window's profile: $said"; exit 1; }
grep -q "^ExecStart=sentrel-watch$" "$work/root/usr/lib/systemd/user/sentrel-watch.service" ||
  { echo "no user unit for sentrel-watch in the package"; exit 1; }
grep -q "^ExecStart=sentrel-watch --json --shard %i$" "$work/root/usr/lib/systemd/user/sentrel-watch@.service" ||
  { echo "no template unit for shards in the package"; exit 1; }
[ -f "$work/root/usr/share/sentrel/kubernetes/statefulset.yaml" ] ||
  { echo "no Kubernetes manifests in the package"; exit 1; }
if ls "$work/root/usr/bin" | grep -qv -e '^sentrel$' -e '^sentrel-probe$' -e '^sentrel-watch$'; then
  echo "files appeared beside the executable: $(ls "$work/root/usr/bin")"; exit 1
fi
echo "package: built, unpacked, probe and program run, files in the XDG folders"
