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

packages=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev wine64
          googletest fonts-noto-cjk python3)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""; [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

start=$(date +%s)
bash scripts/windeps.sh "$vendor" "$prefix"
echo "Windows dependencies: $(( $(date +%s) - start )) s"

cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/windows/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DSENTREL_WIN_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
  -DSENTREL_GUI=OFF -DSENTREL_TESTS=ON >/dev/null
cmake --build build-win -j"$(nproc)"

# Static through and through: only DLLs that every Windows has.
allowed='^(ADVAPI32|bcrypt|CRYPT32|IPHLPAPI|KERNEL32|msvcrt|Secur32|WS2_32|USER32|GDI32|SHELL32|ole32|OLEAUT32|COMCTL32|COMDLG32|WINMM|UxTheme|VERSION|SHLWAPI|RPCRT4|OLEACC|WINSPOOL|UUID|imm32|gdiplus|dwmapi|msimg32|oleacc|uxtheme|winmm|version|shlwapi|rpcrt4|comctl32|comdlg32|shell32|user32|gdi32|advapi32|kernel32|ws2_32|crypt32|secur32|iphlpapi)\.dll$'
for exe in build-win/bin/*.exe; do
  bad=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | grep -Eiv "$allowed" || true)
  if [ -n "$bad" ]; then echo "$exe imports DLLs that Windows does not ship: $bad"; exit 1; fi
done
echo "imports: only system DLLs"

export WINEPREFIX="${WINEPREFIX:-$root/build-win/wineprefix}" WINEDEBUG=-all
wine wineboot -i >/dev/null 2>&1 || true

(cd build-win && ctest --output-on-failure --timeout 300)

# The probe against a page served on this machine, HTTP and HTTPS.
work="$(mktemp -d)"
server_pids=()
trap 'kill "${server_pids[@]}" 2>/dev/null || true; rm -rf "$work"' EXIT
printf 'hello page\n' >"$work/index.html"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
python3 -m http.server "$port" --bind 127.0.0.1 -d "$work" >/dev/null 2>&1 &
server_pids+=($!)
for _ in $(seq 50); do python3 -c "import socket; socket.create_connection(('127.0.0.1',$port),1)" 2>/dev/null && break; sleep 0.1; done
want=$(build/bin/sentrel-probe "http://127.0.0.1:$port/")
got=$(wine build-win/bin/sentrel-probe.exe "http://127.0.0.1:$port/" | tr -d '\r')
echo "sentrel-probe.exe over HTTP: $got (Linux: $want)"
[ "$got" = "$want" ] || { echo "FAILED: the Windows probe measured differently"; exit 1; }
echo "Windows build and tests: passed"
