#!/usr/bin/env bash
# The Windows release from a Windows build folder: stripped programs with their symbols
# in separate files, the setup (HalvexSentrel-<version>-setup.exe, NSIS) and a portable zip.
#   bash scripts/winpackage.sh BUILD_WIN_DIR [OUT_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build="$(cd "${1:?build folder}" && pwd)"
out="${2:-$build/package}"
version=$(sed -n 's/^project(Sentrel .*VERSION \([0-9.]*\)).*/\1/p' CMakeLists.txt)
stage="$out/HalvexSentrel-$version"
rm -rf "$stage" && mkdir -p "$stage" "$out/symbols"
for exe in sentrel.exe sentrel-probe.exe; do
  # The symbols in a file of their own, linked from the program for a debugger.
  x86_64-w64-mingw32-objcopy --only-keep-debug "$build/bin/$exe" "$out/symbols/$exe.debug"
  x86_64-w64-mingw32-strip --strip-all -o "$stage/$exe" "$build/bin/$exe"
  (cd "$out/symbols" && x86_64-w64-mingw32-objcopy --add-gnu-debuglink="$exe.debug" "$stage/$exe")
done
cp "$build/bin/alert.wav" "$stage/"
cp -r "$build/bin/doc" "$stage/doc"
cp -r "$build/bin/locale" "$stage/locale"

setup="$out/HalvexSentrel-$version-setup.exe"
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$setup" res/windows/installer.nsi
# The portable folder: unpacked anywhere, it keeps its files beside the program.
(cd "$out" && rm -f "HalvexSentrel-$version-portable.zip" &&
 cmake -E tar cf "HalvexSentrel-$version-portable.zip" --format=zip "HalvexSentrel-$version")
echo "Windows release in $out: $(cd "$out" && ls -1 *.exe *.zip | tr '\n' ' ')"
