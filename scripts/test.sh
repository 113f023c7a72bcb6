#!/usr/bin/env bash
# Installs what is missing, builds and runs every test. GUI tests run on a virtual
# X display with a tray host, both started and stopped here.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --test
bash scripts/build.sh -DSENTREL_TESTS=ON

xvfb_pid=""; tray_pid=""
cleanup() {
  [ -n "$tray_pid" ] && kill "$tray_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

# A display number nobody uses, so parallel runs and a desktop session are left alone.
for n in $(seq 90 130); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then disp=":$n"; break; fi
done
Xvfb "$disp" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${disp#:}" ] && break; sleep 0.1; done
export DISPLAY="$disp"
trayer --edge bottom --align right --widthtype request --height 24 >/dev/null 2>&1 &
tray_pid=$!

(cd build && ctest --output-on-failure -j2 --timeout 300 "$@")

# The GUI-free core again, under the sanitizers (SENTREL_NO_SANITIZERS=1 skips this).
if [ -z "${SENTREL_NO_SANITIZERS:-}" ]; then
  bash scripts/sanitize.sh
fi

# Each fuzz target for a short while (SENTREL_FUZZ_SECONDS, default 30; 0 skips).
fuzz_secs="${SENTREL_FUZZ_SECONDS:-30}"
if [ "$fuzz_secs" != 0 ]; then
  bash scripts/fuzz.sh --smoke "$fuzz_secs"
fi

# The Windows build and its tests under wine (SENTREL_NO_WINDOWS=1 skips this). It needs
# the source archives of the Windows dependencies, in ../shared/vendor or $SENTREL_VENDOR.
if [ -z "${SENTREL_NO_WINDOWS:-}" ]; then
  vendor="${SENTREL_VENDOR:-$(pwd)/../shared/vendor}"
  if [ -d "$vendor" ]; then
    bash scripts/wintest.sh "$vendor"
  else
    echo "Windows build skipped: no vendor folder at $vendor (set SENTREL_VENDOR)"
  fi
fi
