#!/usr/bin/env bash
# The Windows build and its tests under wine:
#   bash scripts/wintest.sh [VENDOR_DIR]
# VENDOR_DIR (default: ../shared/vendor beside the checkout, or $SENTREL_VENDOR) holds the
# source archives of the Windows dependencies; they are built once into
# $SENTREL_WIN_PREFIX (default ~/.cache/sentrel-win) and reused after that.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
vendor="${1:-${SENTREL_VENDOR:-$root/../shared/vendor}}"
prefix="${SENTREL_WIN_PREFIX:-$HOME/.cache/sentrel-win}"

bash scripts/deps.sh --windows

# The Linux probe the Windows one is compared with: the main build's when there is one
# (scripts/test.sh makes it first), else one of its own, so that this script also runs
# alone on a new machine.
linux_probe=build/bin/sentrel-probe
if [ ! -x "$linux_probe" ]; then
  bash scripts/deps.sh
  cmake -S . -B build-win/linux -DSENTREL_GUI=OFF -DSENTREL_TESTS=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build-win/linux --target sentrel-probe -j"$(nproc)"
  linux_probe=build-win/linux/bin/sentrel-probe
fi

start=$(date +%s)
bash scripts/windeps.sh "$vendor" "$prefix"
echo "Windows dependencies: $(( $(date +%s) - start )) s"

cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/windows/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DSENTREL_WIN_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
  -DSENTREL_GUI=ON -DSENTREL_TESTS=ON >/dev/null
start=$(date +%s)
cmake --build build-win -j"$(nproc)"
echo "Windows build: $(( $(date +%s) - start )) s"

# Static through and through: only DLLs that every Windows has.
system_dlls='^(advapi32|bcrypt|comctl32|comdlg32|crypt32|gdi32|iphlpapi|kernel32|msvcrt|ole32|oleacc|oleaut32|rpcrt4|secur32|shell32|shlwapi|user32|uxtheme|version|winmm|winspool\.drv|ws2_32)(\.dll)?$'
for exe in build-win/bin/*.exe; do
  bad=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' |
        grep -Ev "$system_dlls" || true)
  if [ -n "$bad" ]; then echo "FAILED: $exe needs DLLs that Windows does not ship: $bad"; exit 1; fi
done
echo "imports: only system DLLs"

export WINEPREFIX="${WINEPREFIX:-$root/build-win/wineprefix}" WINEDEBUG=-all
start=$(date +%s)
wineboot -i >/dev/null 2>&1 || true
wineserver -w
echo "wine prefix: $(( $(date +%s) - start )) s"

# The GUI-free suites under wine.
(cd build-win && ctest --output-on-failure --timeout 600)

# The probe against pages served by Linux on this machine, HTTP and HTTPS.
work="$(mktemp -d)"
server_pids=()
cleanup() { kill "${server_pids[@]}" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
printf 'hello page\nsecond line\n' >"$work/index.html"
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
wait_port() { for _ in $(seq 50); do python3 -c "import socket; socket.create_connection(('127.0.0.1',$1),1)" 2>/dev/null && return 0; sleep 0.1; done; return 1; }
http_port=$(free_port)
python3 -m http.server "$http_port" --bind 127.0.0.1 -d "$work" >/dev/null 2>&1 &
server_pids+=($!)
# A CA of this run and a certificate for 127.0.0.1 that it signed.
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 -subj "/CN=Sentrel Test CA" \
  -keyout "$work/ca.key" -out "$work/ca.pem" 2>/dev/null
openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "/CN=127.0.0.1" \
  -keyout "$work/server.key" -out "$work/server.csr" 2>/dev/null
printf 'subjectAltName=IP:127.0.0.1\nextendedKeyUsage=serverAuth\n' >"$work/ext.cnf"
openssl x509 -req -in "$work/server.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" -CAcreateserial \
  -days 2 -extfile "$work/ext.cnf" -out "$work/server.pem" 2>/dev/null
https_port=$(free_port)
python3 - "$https_port" "$work" <<'PY' >/dev/null 2>&1 &
import functools, http.server, ssl, sys
port, root = int(sys.argv[1]), sys.argv[2]
handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=root)
httpd = http.server.ThreadingHTTPServer(("127.0.0.1", port), handler)
ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
ctx.load_cert_chain(root + "/server.pem", root + "/server.key")
httpd.socket = ctx.wrap_socket(httpd.socket, server_side=True)
httpd.serve_forever()
PY
server_pids+=($!)
wait_port "$http_port" && wait_port "$https_port"

want=$("$linux_probe" "http://127.0.0.1:$http_port/")
got=$(wine build-win/bin/sentrel-probe.exe "http://127.0.0.1:$http_port/" | tr -d '\r')
echo "sentrel-probe.exe over HTTP: $got (Linux: $want)"
[ "$got" = "$want" ] || { echo "FAILED: the Windows probe measured differently"; exit 1; }
ca_win=$(winepath -w "$work/ca.pem")
got=$(CURL_CA_BUNDLE="$ca_win" wine build-win/bin/sentrel-probe.exe "https://127.0.0.1:$https_port/" | tr -d '\r')
echo "sentrel-probe.exe over HTTPS (Schannel, trusting this run's CA): $got"
[ "$got" = "$want" ] || { echo "FAILED: the Windows probe's HTTPS measure"; exit 1; }
got=$(wine build-win/bin/sentrel-probe.exe "https://127.0.0.1:$https_port/" | tr -d '\r')
echo "sentrel-probe.exe over HTTPS without that CA: $got"
[ "$got" = 0 ] || { echo "FAILED: an untrusted certificate was accepted"; exit 1; }

# A text row's text, read through the code pages, is the text Linux reads through iconv:
# a GB18030 page named by its meta, a windows-1252 one by its http-equiv (latin1).
printf '<html><head><meta charset="gb2312"><title>\xd6\xd0\xce\xc4</title><script>x=1</script></head><body><div id=m><p>\xbc\xdb\xb8\xf1\xa3\xba199 \xd4\xaa</p><p>visitors 5</p></div><p>foot</p></body></html>' >"$work/gb.html"
printf '<html><head><meta http-equiv="Content-Type" content="text/html; charset=iso-8859-1"></head><body><h1>Caf\xe9 \x80 \x93quoted\x94</h1><ul><li>na\xefve<li>\xfcber</ul></body></html>' >"$work/latin.html"
for args in "--text http://127.0.0.1:$http_port/gb.html" "--text --select #m --ignore VISITORS http://127.0.0.1:$http_port/gb.html" \
            "--text http://127.0.0.1:$http_port/latin.html"; do
  want=$("$linux_probe" $args)
  got=$(wine build-win/bin/sentrel-probe.exe $args | tr -d '\r')
  [ -n "$want" ] && [ "$got" = "$want" ] || { echo "FAILED: sentrel-probe.exe $args printed"; echo "$got"; echo "where Linux printed"; echo "$want"; exit 1; }
done
echo "sentrel-probe.exe --text: the same texts as on Linux (GB18030, windows-1252, a region, an ignore rule)"

# A body without a length that ends with a TLS close lacking close_notify: measured as
# on Linux, where libcurl takes that close as the body's end.
tls_close_port=$(free_port)
python3 - "$tls_close_port" "$work" <<'PY' >/dev/null 2>&1 &
import socket, ssl, sys
port, root = int(sys.argv[1]), sys.argv[2]
ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
ctx.load_cert_chain(root + "/server.pem", root + "/server.key")
listener = socket.create_server(("127.0.0.1", port))
while True:
    conn, _ = listener.accept()
    try:
        tls = ctx.wrap_socket(conn, server_side=True)
        tls.recv(65536)
        tls.sendall(b"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nhello page\nsecond line\n")
        tls.close()  # the TCP close alone: Python sends no close_notify without unwrap()
    except Exception:
        conn.close()
PY
server_pids+=($!)
wait_port "$tls_close_port"
got=$(CURL_CA_BUNDLE="$ca_win" wine build-win/bin/sentrel-probe.exe "https://127.0.0.1:$tls_close_port/" | tr -d '\r')
want=$(CURL_CA_BUNDLE="$work/ca.pem" "$linux_probe" "https://127.0.0.1:$tls_close_port/")
echo "sentrel-probe.exe, a TLS close without close_notify ending the body: $got (Linux: $want)"
[ "$got" = "$want" ] && [ "$got" != 0 ] || { echo "FAILED: such a page measures differently"; exit 1; }

# Alert mail over TLS through Schannel, to aiosmtpd servers with this run's certificates:
# STARTTLS and implicit TLS delivered when their CA is trusted, refused when it is not.
mail_over_tls() {  # mode security expected-reason trust
  local dir="$work/mail-$1-$4"
  mkdir -p "$dir"
  /usr/bin/python3 tests/delivery/smtp_sink.py "$dir/m.txt" "$1" >"$dir/sink.log" 2>&1 &
  local sink=$!
  server_pids+=($sink)
  local port=""
  for _ in $(seq 100); do port=$(sed -n 's/^READY //p' "$dir/sink.log"); [ -n "$port" ] && break; sleep 0.1; done
  [ -n "$port" ] || { cat "$dir/sink.log"; echo "FAILED: the SMTP server ($1) did not start"; exit 1; }
  local ca=""
  [ "$4" = trusted ] && ca=$(winepath -w "$dir/ca.pem")
  CURL_CA_BUNDLE="$ca" SENTREL_TEST_SMTP_PORT="$port" SENTREL_TEST_SMTP_SECURITY="$2" \
    SENTREL_TEST_SMTP_EXPECT="$3" wine build-win/bin/delivery_tests.exe --gtest_filter='MailOverTls.*' \
    >"$dir/test.log" 2>&1 || { cat "$dir/test.log"; echo "FAILED: mail over $1 ($4)"; exit 1; }
  local delivered; delivered=$(cat "$dir/m.txt.count" 2>/dev/null || echo 0)
  local want=1; [ -n "$3" ] && want=0
  [ "$delivered" = "$want" ] || { echo "FAILED: mail over $1 ($4): $delivered delivered"; exit 1; }
  kill "$sink" 2>/dev/null || true
  echo "delivery_tests.exe, mail over $1 ($4 CA): ${3:-delivered}"
}
mail_over_tls starttls starttls "" trusted
mail_over_tls implicit ssl "" trusted
mail_over_tls starttls starttls "证书无效" untrusted

# The program itself: window, tray icon, orderly exit.
bash tests/windows/wine_program_test.sh build-win

# The release: stripped programs, the setup and the portable zip; the setup installs,
# runs and uninstalls under wine.
bash scripts/winpackage.sh build-win
version=$(sed -n 's/^project(Sentrel .*VERSION \([0-9.]*\)).*/\1/p' CMakeLists.txt)
bash tests/windows/wine_install_test.sh "build-win/package/HalvexSentrel-$version-setup.exe"
echo "Windows build and tests: passed"
