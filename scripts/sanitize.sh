#!/usr/bin/env bash
# Builds the GUI-free core and its tests with AddressSanitizer + UndefinedBehaviorSanitizer,
# and again with ThreadSanitizer, and runs those suites.
set -euo pipefail
cd "$(dirname "$0")/.."
export LSAN_OPTIONS="suppressions=$(pwd)/tests/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
# No second of sleep at each exit: the programs under test promise to end within one.
export TSAN_OPTIONS="suppressions=$(pwd)/tests/tsan.supp:atexit_sleep_ms=0${TSAN_OPTIONS:+:$TSAN_OPTIONS}"
for kind in asan tsan; do
  flag=$([ "$kind" = asan ] && echo -DSENTREL_ASAN=ON || echo -DSENTREL_TSAN=ON)
  cmake -S . -B "build-$kind" -DCMAKE_BUILD_TYPE=Debug -DSENTREL_GUI=OFF -DSENTREL_TESTS=ON "$flag" >/dev/null
  cmake --build "build-$kind" -j"$(nproc)"
  echo "== $kind =="
  (cd "build-$kind" && ctest --output-on-failure -j2 --timeout 300)
done
