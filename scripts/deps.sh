#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need.
# Safe to run again: it only calls apt-get when something is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config gettext
  libwxgtk3.2-dev libx11-dev libcurl4-openssl-dev libsqlite3-dev libcanberra-dev libssl-dev
  libayatana-appindicator3-dev libsecret-1-dev libxml2-dev libpcre2-dev libdtl-dev libcli11-dev
  nlohmann-json3-dev libxxhash-dev
  googletest libgtest-dev
  fonts-noto-cjk
)
for flag in "$@"; do
  case "$flag" in
    --test)
      # Virtual display, tray host, window tools and the real SMTP server used by the tests.
      packages+=(xvfb trayer xdotool x11-utils imagemagick python3-aiosmtpd openssl curl)
      # Browsers that render pages built by script: Chromium, and its headless shell.
      packages+=(chromium chromium-headless-shell)
      # Validators of the desktop entry and metadata, and the Debian package tools.
      packages+=(desktop-file-utils appstream dpkg-dev)
      # The server units' checker, and the YAML reader the manifests are checked with.
      packages+=(systemd python3-yaml)
      # A private session bus with an accessibility bus, and a screen reader's client.
      packages+=(dbus-daemon dbus-bin at-spi2-core libatk-adaptor python3-pyatspi python3-gi) ;;
    --windows)
      # The Windows cross-compilers, zlib for them, wine to run the result, and what
      # its tests use.
      packages+=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev
                 wine wine64 nsis googletest python3 python3-aiosmtpd openssl xvfb trayer xdotool
                 x11-utils imagemagick) ;;
    --bench)
      # The peer the text benchmark compares with, and its filters' modules.
      packages+=(urlwatch python3-lxml python3-cssselect python3-html2text)
      # Node.js, for playwright-core, the peer of the rendering benchmark.
      packages+=(nodejs) ;;
    --fuzz)
      packages+=(clang libclang-rt-dev) ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
