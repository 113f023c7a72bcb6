#!/usr/bin/env bash
# Configures and builds into build/ (Release with debug info unless BUILD_TYPE says otherwise).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" "$@" >/dev/null
cmake --build build -j"$(nproc)"
