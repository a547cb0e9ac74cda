#!/usr/bin/env bash
# Builds FreeType as a static WebAssembly library from Debian's own source
# package, the version the Linux build links, with Debian's emscripten:
#   scripts/build-web-libs.sh PREFIX
# PREFIX then holds include/, lib/ and the CMake package files. A stamp
# records the version, this script and the compiler's version: when they
# match, nothing is done. (GLFW comes with emscripten itself.)
set -euo pipefail

prefix=$2
script=$(realpath "${BASH_SOURCE[0]}")
toolchain=$1
jobs=${JOBS:-2}
# Where a newer Node comes first on the PATH, emcc still needs Debian's modules.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}

wanted="$(dpkg-query -W -f='${source:Package}=${source:Version}' libfreetype-dev)"
stamp_text="$wanted $(sha256sum "$script" | cut -d' ' -f1) $(emcc --version | sed -n 1p)"
# shellcheck source=debian-sources.sh
source "$(dirname "$script")/debian-sources.sh"
exit_if_built "$prefix" "$stamp_text"
fetch_sources build-web-libs "$prefix" "$wanted"
source_dir=$(find "$work" -maxdepth 1 -mindepth 1 -type d -name "freetype-*" | head -n 1)
[ -n "$source_dir" ] || { echo "build-web-libs: no unpacked FreeType source" >&2; exit 1; }
echo "build-web-libs: building $(basename "$source_dir") for WebAssembly"
# Only what the glyph cache needs: no compressed fonts, no PNG glyphs, no shaping.
cmake -S "$source_dir" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$staging" \
  -DBUILD_SHARED_LIBS=OFF -DFT_DISABLE_ZLIB=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON \
  -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON -DCMAKE_C_FLAGS="-pthread" > "$work/configure.log" 2>&1 ||
  { cat "$work/configure.log" >&2; exit 1; }
cmake --build "$work/build" -j "$jobs" > "$work/build.log" 2>&1 || { tail -n 50 "$work/build.log" >&2; exit 1; }
cmake --install "$work/build" > /dev/null

install_staging build-web-libs "$prefix" "$stamp_text"
