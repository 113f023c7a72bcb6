#!/usr/bin/env bash
# Installs what is missing, builds and runs every test. GUI tests run on a virtual
# X display with a tray host, both started and stopped here.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --test
bash scripts/build.sh -DSENTREL_TESTS=ON

# The suites check the program's own language (Chinese, which a C locale keeps); English
# is checked by the tests that ask for it.
export LC_ALL=C.UTF-8
unset LANGUAGE

source scripts/display.sh
trap stop_display EXIT
start_display 90 130 1024x768x24 tray
start_private_bus

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
