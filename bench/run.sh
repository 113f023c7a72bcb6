#!/usr/bin/env bash
# Builds and runs every benchmark; prints figures and ratios against baselines measured
# in the same run. Needs an X display for the start-up figures (it starts Xvfb if none).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --test --bench
BUILD_TYPE=Release bash scripts/build.sh -DSENTREL_TESTS=ON -DSENTREL_BENCH=ON
bin=build/bin
xvfb_pid=""
if [ -z "${DISPLAY:-}" ]; then
  Xvfb :97 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 & xvfb_pid=$!
  export DISPLAY=:97
  sleep 1
fi
"$bin/bench_startup" "$bin" 7
"$bin/bench_store"
"$bin/bench_mail"
"$bin/bench_probe" "$bin"
"$bin/bench_monitor" "$bin" "${MONITOR_SECONDS:-10}"
"$bin/bench_watch" "$bin" ${WATCH_LARGE:+--large}
"$bin/bench_text" "$bin"
"$bin/bench_servers" "$bin"
"$bin/bench_scale" "$bin" "${SCALE_PAGES:-100000}" "${SCALE_MINUTES:-10}"
# Rendered rows against playwright-core (from npm, into a cache of its own; it drives the
# machine's Chromium, since its own browser downloads cannot be fetched).
peer="${XDG_CACHE_HOME:-$HOME/.cache}/sentrel-bench"
if [ ! -d "$peer/node_modules/playwright-core" ] && command -v npm >/dev/null; then
  npm install --prefix "$peer" playwright-core@1.64.1 --no-audit --no-fund >/dev/null
fi
if [ -d "$peer/node_modules/playwright-core" ]; then
  for browser in /usr/bin/chromium /usr/bin/chromium-headless-shell; do
    [ -x "$browser" ] && "$bin/bench_render" "$bin" "$browser" "$peer"
  done
else
  echo "rendered rows: no npm, so no playwright-core to compare with"
fi
# The renderer over a long run: its browser's memory after the first and the last 100 of
# 1,000 renders, started anew as shipped against never.
for browser in /usr/bin/chromium-headless-shell /usr/bin/chromium; do
  [ -x "$browser" ] && "$bin/bench_render_soak" "$browser" "${SOAK_RENDERS:-1000}" && break
done
[ -n "$xvfb_pid" ] && kill "$xvfb_pid"
exit 0
