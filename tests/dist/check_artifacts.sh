#!/usr/bin/env bash
# The release artifacts as a user gets them: the tarball unpacked into an empty
# folder and its programs run from there (the presentation on a virtual
# screen), the zip unpacked and xm2wav.exe run under wine, the Debian packages
# extracted, their contents checked and the example built against them, lintian.
# Usage: check_artifacts.sh DIST_DIR BUILD_DIR WINDOWS_BUILD_DIR
set -euo pipefail
dist_dir=$(realpath "$1")
build_dir=$(realpath "$2")
windows_dir=$(realpath "$3")
here=$(realpath "$(dirname "$0")")
source_dir=$(realpath "$here/../..")
# shellcheck source=/dev/null
source "$build_dir/release.env"
version=$INTRO_VERSION
song=$build_dir/assets/song.xm
readonly song_seconds=8

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {
  local name=$1
  shift
  if "$@"; then echo "-- $name: ok"; else echo "-- $name: FAILED"; failures=$((failures + 1)); fi
}

# expect_files ROOT FILE...: each exists below ROOT.
expect_files() {
  local root=$1 missing=0
  shift
  for file in "$@"; do
    [ -e "$root/$file" ] || { echo "missing: $file" >&2; missing=1; }
  done
  return "$missing"
}

"$build_dir/xm2wav" --seconds "$song_seconds" "$song" "$work/expected.wav" > /dev/null
renders_as_built() { cmp "$work/expected.wav" "$1"; }

echo "-- artifacts of $version:"
(cd "$dist_dir" && stat -c '%10s  %n' -- *)
check "SHA256SUMS match" bash -c "cd '$dist_dir' && sha256sum --quiet -c SHA256SUMS"

# --- The tarball.
linux_name=intro-$version-linux-x86_64
mkdir "$work/tarball"
tar -xzf "$dist_dir/$linux_name.tar.gz" -C "$work/tarball"
linux=$work/tarball/$linux_name
check "tarball holds the programs, texts and manual pages" expect_files "$linux" \
  intro xm2wav songplayer trace_dump capture_video README.md LICENSE THIRD-PARTY-NOTICES CHANGELOG.md \
  licenses/GPL-2 man/man1/xm2wav.1 man/man1/songplayer.1 man/man1/trace_dump.1 man/man1/capture_video.1
programs_stripped() {
  local program
  for program in intro xm2wav songplayer trace_dump capture_video; do
    if file -b "$linux/$program" | grep -q 'not stripped'; then echo "$program is not stripped" >&2; return 1; fi
  done
}
check "tarball programs are stripped" programs_stripped
versions_match() {
  local program
  for program in xm2wav songplayer trace_dump capture_video; do
    [ "$("$linux/$program" --version)" = "$program $version" ] ||
      { echo "$program --version: $("$linux/$program" --version)" >&2; return 1; }
  done
}
check "every tool's --version is $version" versions_match
check "tarball xm2wav renders as the built one" bash -c \
  "'$linux/xm2wav' --seconds $song_seconds '$song' '$work/tarball.wav' > /dev/null && cmp '$work/expected.wav' '$work/tarball.wav'"
pages_render_cleanly() {
  local page warnings
  for page in "$linux"/man/man1/*.1; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 > /dev/null)
    [ -z "$warnings" ] || { echo "$(basename "$page"): $warnings" >&2; return 1; }
    grep -q "$version" "$page" || { echo "$(basename "$page") does not name $version" >&2; return 1; }
  done
}
check "manual pages render without warnings" pages_render_cleanly
# The presentation from the unpacked folder on a virtual screen: it opens its
# window, shows a picture and ends on Escape with status 0.
presentation_runs() {
  (cd "$source_dir" && env -u DISPLAY scripts/run-presentation.sh "$linux" 3) > "$work/run.log" 2>&1 ||
    { cat "$work/run.log" >&2; return 1; }
  local spread
  spread=$(identify -format '%[fx:standard_deviation]' "$linux/run-screenshot.png")
  awk -v spread="$spread" 'BEGIN { exit !(spread > 0.01) }' || { echo "a blank screen ($spread)" >&2; return 1; }
}
check "tarball presentation runs on a virtual screen" presentation_runs
check "tarball capture_video writes a still" bash -c \
  "'$linux/capture_video' --still 3.4 --size 320x180 --output '$work/still.png' > /dev/null 2>&1 && [ -s '$work/still.png' ]"

# --- The zip.
windows_name=intro-$version-windows-x86
mkdir "$work/zip"
unzip -q "$dist_dir/$windows_name.zip" -d "$work/zip"
windows=$work/zip/$windows_name
check "zip holds the programs and texts" expect_files "$windows" \
  intro.exe xm2wav.exe README.txt LICENSE.txt THIRD-PARTY-NOTICES.txt
crlf_only() {
  local text
  for text in "$windows"/*.txt; do
    if grep -qv $'\r$' "$text"; then echo "$(basename "$text") has a line without CR" >&2; return 1; fi
  done
}
check "zip texts have CRLF line ends" crlf_only
mkdir "$work/web"
unzip -q "$dist_dir/intro-$version-web.zip" -d "$work/web"
check "web zip holds both pages, their modules, the server and the texts" expect_files "$work/web/intro-$version-web" \
  index.html intro.js intro.wasm intro.worker.js player.html player.wasm serve.py LICENSE THIRD-PARTY-NOTICES
zip_xm2wav_renders() {
  # shellcheck source=/dev/null
  source "$source_dir/tests/windows/wine_env.sh" "$windows_dir"
  prepare_wine_prefix
  cp "$song" "$work/zip/song.xm"
  (cd "$work/zip" && wine "$windows_name/xm2wav.exe" --seconds "$song_seconds" song.xm zip.wav > /dev/null 2>&1)
  end_wine_session
  cmp "$work/expected.wav" "$work/zip/zip.wav"
}
check "zip xm2wav.exe renders under wine as the Linux xm2wav" zip_xm2wav_renders

# --- The Debian packages.
tools_deb=$dist_dir/intro-music_${version}_amd64.deb
dev_deb=$dist_dir/intro-music-dev_${version}_amd64.deb
mkdir "$work/debs"
dpkg-deb -x "$tools_deb" "$work/debs"
dpkg-deb -x "$dev_deb" "$work/debs"
root=$work/debs/usr
check "intro-music holds the tools, their manual pages, copyright and changelog" expect_files "$root" \
  bin/xm2wav bin/songplayer bin/trace_dump \
  share/man/man1/xm2wav.1.gz share/man/man1/songplayer.1.gz share/man/man1/trace_dump.1.gz \
  share/doc/intro-music/copyright share/doc/intro-music/changelog.gz
check "intro-music-dev holds headers, libraries, package files and the example" expect_files "$root" \
  include/intro_music.h include/intro_music_live.h lib/libintro_music.a lib/libintro_music_live.a \
  lib/pkgconfig/intro_music.pc lib/pkgconfig/intro_music_live.pc lib/cmake/intro_music/intro_musicConfig.cmake \
  lib/cmake/intro_music/intro_musicConfigVersion.cmake \
  share/doc/intro-music-dev/copyright share/doc/intro-music-dev/changelog.gz \
  share/doc/intro-music-dev/examples/CMakeLists.txt share/doc/intro-music-dev/examples/render_song.cpp
package_fields() {
  [ "$(dpkg-deb -f "$tools_deb" Version)" = "$version" ] &&
    [ "$(dpkg-deb -f "$dev_deb" Version)" = "$version" ] &&
    dpkg-deb -f "$tools_deb" Depends | grep -q 'libsdl2-2.0-0' &&
    dpkg-deb -f "$tools_deb" Depends | grep -q 'libc6' &&
    dpkg-deb -f "$dev_deb" Depends | grep -qF "intro-music (= $version)"
}
check "package versions and dependencies" package_fields
check "packaged xm2wav renders as the built one" bash -c \
  "'$root/bin/xm2wav' --seconds $song_seconds '$song' '$work/deb.wav' > /dev/null && cmp '$work/expected.wav' '$work/deb.wav'"
example_builds() {
  cmake -S "$root/share/doc/intro-music-dev/examples" -B "$work/example" -G Ninja \
    -DCMAKE_PREFIX_PATH="$root" > "$work/example.log" 2>&1 &&
    cmake --build "$work/example" >> "$work/example.log" 2>&1 ||
    { cat "$work/example.log" >&2; return 1; }
  "$work/example/render_song" "$song" > "$work/example.raw" 2> /dev/null
  "$build_dir/xm2wav" --raw "$song" "$work/example-expected.raw" > /dev/null
  cmp "$work/example.raw" "$work/example-expected.raw"
}
check "the example builds against the extracted package and renders as xm2wav" example_builds
# The GStreamer plugin from its package, with a registry of the check's own.
gst_deb=$dist_dir/gstreamer1.0-intro-music_${version}_amd64.deb
packaged_plugin_plays() {
  mkdir "$work/gst" && dpkg-deb -x "$gst_deb" "$work/gst" || return 1
  GST_REGISTRY=$work/gst/registry.bin GST_PLUGIN_PATH=$(dirname "$(find "$work/gst" -name libgstintromusic.so)") \
    gst-launch-1.0 -q filesrc location="$song" ! decodebin ! audioconvert \
    ! audio/x-raw,format=S16LE,rate=44100,channels=2 ! filesink location="$work/gst.raw" > /dev/null &&
    "$build_dir/xm2wav" --raw "$song" "$work/gst-expected.raw" > /dev/null &&
    cmp "$work/gst.raw" "$work/gst-expected.raw"
}
check "gstreamer1.0-intro-music's plugin plays the song as xm2wav renders it" packaged_plugin_plays
lintian_clean() {
  lintian --fail-on error "$tools_deb" "$dev_deb" "$gst_deb" > "$work/lintian.log" 2>&1
  local status=$?
  echo "lintian:"
  sed 's/^/  /' "$work/lintian.log"
  return "$status"
}
check "lintian reports no errors" lintian_clean

echo "dist checks: $failures failed"
[ "$failures" -eq 0 ]
