#!/usr/bin/env bash
# `cmake --install` into a temporary prefix: every file in its place, and the desktop
# entry and the software-centre metadata pass their validators.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
id=com.halvex.Sentrel
for f in bin/sentrel bin/sentrel-probe bin/sentrel-watch lib/systemd/user/sentrel-watch.service \
         share/sentrel/alert.wav \
         share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
         share/doc/sentrel/index.html share/doc/sentrel/en.html share/doc/sentrel/main.png \
         share/icons/hicolor/{16x16,32x32,48x48,128x128,256x256}/apps/$id.png; do
  [ -f "$prefix/$f" ] || { echo "missing after install: $f"; exit 1; }
done
desktop-file-validate "$prefix/share/applications/$id.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml"
echo "install: every file in place, desktop entry and metadata valid"
