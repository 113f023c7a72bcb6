#!/usr/bin/env bash
# Installs what is missing, builds and starts HalvexSentrel.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: start it in a desktop session, or on a virtual display (apt-get install xvfb, then: xvfb-run -a build/bin/sentrel)."
  exit 1
fi
exec build/bin/sentrel
