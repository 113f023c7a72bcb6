#!/usr/bin/env bash
# Builds the Windows program's third-party libraries once, from source archives, into a
# prefix that later builds reuse:
#   bash scripts/windeps.sh VENDOR_DIR PREFIX
#   bash scripts/windeps.sh --stamps      (each library's stamp, nothing built)
# VENDOR_DIR holds the archives named in cmake/windows/vendor.sha256; each is checked
# against its pinned sha256 before use. Nothing is downloaded. The prefix gets static
# wxWidgets (base, core, png), static libcurl (Schannel; HTTP, HTTPS and SMTP), the SQLite
# amalgamation's sources, static libxml2 (HTML parser, XPath) and PCRE2, the headers of dtl,
# CLI11, nlohmann/json and xxHash, and GoogleTest built from Debian's sources. A library already built from the
# same archive (its stamp matches) is left as it is.
set -euo pipefail
# Runs a step with its output in a log file; on failure shows the end of that log.
logged() {  # log command...
  local log="$1"; shift
  "$@" >"$log" 2>&1 || { tail -n 40 "$log"; echo "windeps: failed, see $log" >&2; return 1; }
}
root="$(cd "$(dirname "$0")/.." && pwd)"
toolchain="$root/cmake/windows/mingw-w64-x86_64.cmake"
pins="$root/cmake/windows/vendor.sha256"
# Bump when the libraries are built differently; the stamps then ask for a new build.
recipe=1
want="$(cat "$pins" | sha256sum | cut -d' ' -f1)-$recipe"
# Each library has its own stamp, made of its archive's pin, so a run that stopped
# half-way resumes where it stopped and a new archive rebuilds only its library.
declare -A archive_of=([sqlite]=sqlite-amalgamation-3530200.tar.xz [curl-smtp]=curl-8.21.0.tar.xz
  [wx]=wxWidgets-3.2.7-src.tar.xz [gtest]=googletest [libxml2]=libxml2-2.9.14.tar.xz
  [pcre2]=pcre2-10.42.tar.xz
  [headers]="dtl-1.20.tar.xz CLI11-2.1.2.tar.xz nlohmann-json-3.11.2.tar.xz xxHash-0.8.1.tar.xz")
# A step's stamp: the pins of its archives; GoogleTest, built from Debian's sources, is
# pinned by its package's version. A step without a pin fails here, by name, before it builds.
step_want() {
  local a pin pins_of=""
  for a in ${archive_of[$1]}; do
    if [ "$a" = googletest ]; then
      pin="debian-$(dpkg-query -W -f='${Version}' googletest 2>/dev/null || true)"
      [ "$pin" != debian- ] || { echo "windeps: Debian's googletest package is not installed" >&2; return 1; }
    else
      pin="$(grep " $a\$" "$pins" | cut -d' ' -f1 || true)"
      [ -n "$pin" ] || { echo "windeps: $a has no pin in $pins" >&2; return 1; }
    fi
    pins_of+="$pin"
  done
  echo "$pins_of-$recipe"
}
step_done() { local w; w="$(step_want "$1")" || exit 1; [ -f "$prefix/.stamp-$1" ] && [ "$(cat "$prefix/.stamp-$1")" = "$w" ]; }
mark_done() { local w; w="$(step_want "$1")" || exit 1; echo "$w" >"$prefix/.stamp-$1"; }
# --stamps: each step's stamp, without building anything (the test of this logic).
if [ "${1:-}" = --stamps ]; then
  for s in "${!archive_of[@]}"; do w="$(step_want "$s")" || exit 1; echo "$s $w"; done
  exit 0
fi

vendor="$(cd "${1:?vendor folder}" && pwd)"
prefix="${2:?prefix}"
mkdir -p "$prefix"
prefix="$(cd "$prefix" && pwd)"
jobs="$(nproc)"
stamp="$prefix/.sentrel-deps"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ]; then
  echo "Windows dependencies: $prefix is up to date"
  exit 0
fi

(cd "$vendor" && sha256sum --check --strict "$pins") || {
  echo "windeps: an archive in $vendor does not match its pinned sha256" >&2; exit 1; }

work="$prefix/.build"
mkdir -p "$work"
# zlib from Debian's mingw package, named as the static archive: left to a search, the
# build picks the import library and the program then needs zlib1.dll beside it.
zlib=(-DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a -DZLIB_INCLUDE_DIR=/usr/x86_64-w64-mingw32/include)
common=(-G "Unix Makefiles" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release
        -DCMAKE_INSTALL_PREFIX="$prefix")

if ! step_done sqlite; then
echo "== SQLite amalgamation"
rm -rf "$prefix/sqlite"
mkdir -p "$prefix/sqlite"
tar -xJf "$vendor/sqlite-amalgamation-3530200.tar.xz" -C "$prefix/sqlite" --strip-components=1
mark_done sqlite
fi

# SMTP too, for alert mail over TLS; the other protocols stay out.
if ! step_done curl-smtp; then
echo "== libcurl (static, Schannel, HTTP and SMTP)"
rm -rf "$work/curl-8.21.0" "$work/curl-build"
tar -xJf "$vendor/curl-8.21.0.tar.xz" -C "$work"
logged "$work/curl-config.log" cmake -S "$work/curl-8.21.0" -B "$work/curl-build" "${common[@]}" \
  -DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC_LIBS=ON -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF \
  -DBUILD_LIBCURL_DOCS=OFF -DBUILD_MISC_DOCS=OFF -DENABLE_CURL_MANUAL=OFF -DBUILD_EXAMPLES=OFF \
  -DHTTP_ONLY=OFF -DCURL_DISABLE_DICT=ON -DCURL_DISABLE_FILE=ON -DCURL_DISABLE_FTP=ON \
  -DCURL_DISABLE_GOPHER=ON -DCURL_DISABLE_IMAP=ON -DCURL_DISABLE_LDAP=ON -DCURL_DISABLE_LDAPS=ON \
  -DCURL_DISABLE_MQTT=ON -DCURL_DISABLE_POP3=ON -DCURL_DISABLE_RTSP=ON -DCURL_DISABLE_SMB=ON \
  -DCURL_DISABLE_TELNET=ON -DCURL_DISABLE_TFTP=ON -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_USE_LIBPSL=OFF \
  -DCURL_USE_LIBSSH2=OFF -DUSE_LIBIDN2=OFF -DUSE_NGHTTP2=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF \
  -DCURL_ZLIB=ON "${zlib[@]}" -DENABLE_UNICODE=ON
logged "$work/curl-build.log" cmake --build "$work/curl-build" -j"$jobs"
logged "$work/curl-install.log" cmake --install "$work/curl-build"
mark_done curl-smtp
fi

if ! step_done wx; then
echo "== wxWidgets (static: base, core, png)"
rm -rf "$work/wxWidgets-3.2.7" "$work/wx-build"
tar -xJf "$vendor/wxWidgets-3.2.7-src.tar.xz" -C "$work"
off=()
for o in REGEX LIBJPEG LIBTIFF NANOSVG LIBLZMA EXPAT XML XRC HTML WEBVIEW STC RICHTEXT AUI \
         PROPGRID RIBBON MEDIACTRL OPENGL SOCKETS DEBUGREPORT GLCANVAS PROTOCOL PROTOCOL_FTP \
         PROTOCOL_HTTP PROTOCOL_FILE URL FS_INET WEBREQUEST SECRETSTORE WXHTML_HELP; do
  off+=(-DwxUSE_$o=OFF)
done
logged "$work/wx-config.log" cmake -S "$work/wxWidgets-3.2.7" -B "$work/wx-build" "${common[@]}" \
  -DwxBUILD_SHARED=OFF -DwxBUILD_SAMPLES=OFF -DwxBUILD_TESTS=OFF -DwxBUILD_DEMOS=OFF \
  -DwxBUILD_INSTALL=ON -DwxBUILD_PRECOMP=OFF -DwxUSE_LIBPNG=builtin -DwxUSE_ZLIB=sys -DwxUSE_UNICODE=ON \
  "${zlib[@]}" \
  "${off[@]}"
logged "$work/wx-build.log" cmake --build "$work/wx-build" -j"$jobs"
logged "$work/wx-install.log" cmake --install "$work/wx-build"
mark_done wx
fi

if ! step_done gtest; then
echo "== GoogleTest (Debian's sources)"
rm -rf "$work/gtest-build"
logged "$work/gtest-config.log" cmake -S /usr/src/googletest -B "$work/gtest-build" "${common[@]}" \
  -DBUILD_GMOCK=OFF -Dgtest_disable_pthreads=OFF
logged "$work/gtest-build.log" cmake --build "$work/gtest-build" -j"$jobs"
logged "$work/gtest-install.log" cmake --install "$work/gtest-build"
mark_done gtest
fi

# The HTML parser and XPath of a text row; nothing of the network, no iconv (the program
# hands it UTF-8 it decoded through the code pages).
if ! step_done libxml2; then
echo "== libxml2 (static, HTML parser and XPath)"
rm -rf "$work/libxml2-2.9.14" "$work/libxml2-build"
tar -xJf "$vendor/libxml2-2.9.14.tar.xz" -C "$work"
logged "$work/libxml2-config.log" cmake -S "$work/libxml2-2.9.14" -B "$work/libxml2-build" "${common[@]}" \
  -DBUILD_SHARED_LIBS=OFF -DLIBXML2_WITH_ICONV=OFF -DLIBXML2_WITH_ICU=OFF -DLIBXML2_WITH_LZMA=OFF \
  -DLIBXML2_WITH_ZLIB=OFF -DLIBXML2_WITH_PYTHON=OFF -DLIBXML2_WITH_PROGRAMS=OFF \
  -DLIBXML2_WITH_TESTS=OFF -DLIBXML2_WITH_HTTP=OFF -DLIBXML2_WITH_FTP=OFF -DLIBXML2_WITH_MODULES=OFF \
  -DLIBXML2_WITH_LEGACY=OFF -DLIBXML2_WITH_CATALOG=OFF -DLIBXML2_WITH_DEBUG=OFF
logged "$work/libxml2-build.log" cmake --build "$work/libxml2-build" -j"$jobs"
logged "$work/libxml2-install.log" cmake --install "$work/libxml2-build"
mark_done libxml2
fi

if ! step_done pcre2; then
echo "== PCRE2 (static, 8-bit)"
rm -rf "$work/pcre2-10.42" "$work/pcre2-build"
tar -xJf "$vendor/pcre2-10.42.tar.xz" -C "$work"
logged "$work/pcre2-config.log" cmake -S "$work/pcre2-10.42" -B "$work/pcre2-build" "${common[@]}" \
  -DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC_LIBS=ON -DPCRE2_BUILD_PCRE2_8=ON -DPCRE2_BUILD_PCRE2_16=OFF \
  -DPCRE2_BUILD_PCRE2_32=OFF -DPCRE2_BUILD_PCRE2GREP=OFF -DPCRE2_BUILD_TESTS=OFF -DPCRE2_SUPPORT_JIT=OFF
logged "$work/pcre2-build.log" cmake --build "$work/pcre2-build" -j"$jobs"
logged "$work/pcre2-install.log" cmake --install "$work/pcre2-build"
mark_done pcre2
fi

if ! step_done headers; then
echo "== dtl, CLI11, nlohmann/json and xxHash (headers)"
mkdir -p "$prefix/include"
rm -rf "$prefix/include/dtl" "$prefix/include/CLI" "$prefix/include/nlohmann" "$prefix/include/xxhash.h" \
  "$prefix/include/xxh3.h"
tar -xJf "$vendor/dtl-1.20.tar.xz" -C "$work"
cp -r "$work/dtl-1.20/dtl" "$prefix/include/dtl"
tar -xJf "$vendor/CLI11-2.1.2.tar.xz" -C "$work"
cp -r "$work/CLI11-2.1.2/include/CLI" "$prefix/include/CLI"
tar -xJf "$vendor/nlohmann-json-3.11.2.tar.xz" -C "$work"
cp -r "$work/nlohmann-json-3.11.2/include/nlohmann" "$prefix/include/nlohmann"
tar -xJf "$vendor/xxHash-0.8.1.tar.xz" -C "$work"
cp "$work/xxHash-0.8.1/include/xxhash.h" "$work/xxHash-0.8.1/include/xxh3.h" "$prefix/include/"
mark_done headers
fi

rm -rf "$work"
echo "$want" >"$stamp"
echo "Windows dependencies ready in $prefix"
