#!/usr/bin/env bash
# Builds GLFW and FreeType as static libraries for Windows from
# Debian's own source packages, the same versions the Linux build links:
#   scripts/build-windows-libs.sh TOOLCHAIN_FILE PREFIX
# PREFIX then holds include/, lib/ and the CMake package files. A stamp
# records the versions, this script and the toolchain file: when they match,
# nothing is done.
set -euo pipefail

toolchain=$(realpath "$1")
prefix=$2
script=$(realpath "${BASH_SOURCE[0]}")
jobs=${JOBS:-2}

# source package name <- the Linux development package whose version we mirror
readonly mirrored_dev_packages=(libglfw3-dev libfreetype-dev)

source_of() {
  dpkg-query -W -f='${source:Package}=${source:Version}' "$1"
}

wanted=()
for package in "${mirrored_dev_packages[@]}"; do
  wanted+=("$(source_of "$package")")
done
stamp_text="${wanted[*]} $(sha256sum "$script" "$toolchain" "$(dirname "$toolchain")/mingw.cmake" | cut -d' ' -f1 | tr '\n' ' ')"
# shellcheck source=debian-sources.sh
source "$(dirname "$script")/debian-sources.sh"
exit_if_built "$prefix" "$stamp_text"
fetch_sources build-windows-libs "$prefix" "${wanted[@]}"

configure_and_install() {
  local name=$1
  shift
  local source_dir
  source_dir=$(find "$work" -maxdepth 1 -mindepth 1 -type d -name "$name-*" | head -n 1)
  [ -n "$source_dir" ] || { echo "build-windows-libs: no unpacked source for $name" >&2; exit 1; }
  echo "build-windows-libs: building $(basename "$source_dir")"
  cmake -S "$source_dir" -B "$work/build-$name" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$staging" \
    -DBUILD_SHARED_LIBS=OFF "$@" > "$work/$name-configure.log" 2>&1 ||
    { cat "$work/$name-configure.log" >&2; exit 1; }
  cmake --build "$work/build-$name" -j "$jobs" > "$work/$name-build.log" 2>&1 ||
    { tail -n 50 "$work/$name-build.log" >&2; exit 1; }
  cmake --install "$work/build-$name" > /dev/null
}

configure_and_install glfw3 -DGLFW_BUILD_EXAMPLES=OFF -DGLFW_BUILD_TESTS=OFF -DGLFW_BUILD_DOCS=OFF
# Only what the glyph cache needs: no compressed fonts, no PNG glyphs, no shaping.
configure_and_install freetype -DFT_DISABLE_ZLIB=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON \
  -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON

install_staging build-windows-libs "$prefix" "$stamp_text"
