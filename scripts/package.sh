#!/usr/bin/env bash
# Builds the Debian package into build/ (sentrel_<version>_<arch>.deb).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --test
BUILD_TYPE="${BUILD_TYPE:-Release}" bash scripts/build.sh
(cd build && cpack -G DEB)
ls build/*.deb
