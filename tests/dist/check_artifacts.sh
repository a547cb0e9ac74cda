#!/usr/bin/env bash
# The release artifacts as a user gets them: the tarball unpacked into an empty
# folder and its programs run from there (the presentation on a virtual
# screen), the zip unpacked and xm2wav.exe run under wine, the Debian packages
# extracted, their contents, fields and changelogs checked and the example
# built against them, lintian; the manual pages rendered and read.
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
  intro xm2wav songplayer trace_dump capture_video README.txt LICENSE THIRD-PARTY-NOTICES CHANGELOG.md \
  licenses/GPL-2 man/man1/xm2wav.1 man/man1/songplayer.1 man/man1/trace_dump.1 man/man1/capture_video.1
# Each archive's README is for who downloaded it: how to run what is in it, nothing of the sources' build.
readme_for_downloaders() {
  local readme=$1
  shift
  grep -q "$version" "$readme" || { echo "$readme does not name $version" >&2; return 1; }
  if grep -nE 'make [a-z]|build/|\]\(|!\[' "$readme"; then echo "$readme speaks of the sources' build" >&2; return 1; fi
  local phrase
  for phrase in "$@"; do grep -qF -- "$phrase" "$readme" || { echo "$readme lacks: $phrase" >&2; return 1; }; done
}
check "tarball README tells how to run the programs and their keys" readme_for_downloaders "$linux/README.txt" \
  ./intro ./xm2wav ./songplayer Escape "SDL_AUDIODRIVER=dummy" "man -l man/man1/xm2wav.1"
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
# page_is_complete PAGE PROGRAM SHIPPED_PAGES...: every option of the
# program's help is an entry of its own (its text indented under it, none
# left at the margin), an EXIT STATUS section, and SEE ALSO names only pages shipped beside it.
page_is_complete() {
  local page=$1 program=$2 option rendered other
  shift 2
  rendered=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$page" 2> /dev/null)
  for option in $("$program" --help | grep -oE '^  +(-[a-z], )?--[a-z-]+' | sed 's/.*--/--/'); do
    grep -qE -- "^ {7}(-[a-z], )?$option( |\$)" <<< "$rendered" ||
      { echo "$(basename "$page"): no entry of its own for $option" >&2; return 1; }
  done
  # A help line indented under an option goes on with its text: in the page, inside its entry.
  while IFS= read -r line; do
    grep -E '^ {14}' <<< "$rendered" | grep -qF -- "$line" ||
      { echo "$(basename "$page"): \"$line\" is not in its option's entry" >&2; return 1; }
  done < <("$program" --help | sed -n 's/^ \{5,\}\([^ -].*\)$/\1/p' | grep -v "^$(basename "$program") ")
  grep -q '^EXIT STATUS' <<< "$rendered" || { echo "$(basename "$page"): no EXIT STATUS" >&2; return 1; }
  for other in $(sed -n '/^SEE ALSO/,/^[A-Z]/p' <<< "$rendered" | grep -oE '[a-z_0-9]+\(1\)' | sed 's/(1)//'); do
    printf '%s\n' "$@" | grep -qx "$other" || { echo "$(basename "$page") points to $other(1), not shipped" >&2; return 1; }
  done
}
tarball_pages_complete() {
  local program
  for program in xm2wav songplayer trace_dump capture_video; do
    page_is_complete "$linux/man/man1/$program.1" "$linux/$program" xm2wav songplayer trace_dump capture_video || return 1
  done
}
check "tarball manual pages: an entry per option, EXIT STATUS, SEE ALSO what ships" tarball_pages_complete
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
  index.html intro.js intro.wasm intro.worker.js player.html player.wasm serve.py README.txt LICENSE THIRD-PARTY-NOTICES
web=$work/web/intro-$version-web
check "web zip README tells how to serve the pages" readme_for_downloaders "$web/README.txt" \
  "python3 serve.py . --port 8000" "http://127.0.0.1:8000/player.html" Escape
check "the web pages send a zip user to serve.py, not to make" bash -c \
  "! grep -l 'make serve-web' '$web'/*.js && grep -q 'serve.py' '$web/intro_page.js'"
check "Windows README states xm2wav's default rules as they are" bash -c \
  "grep -q 'tracker.s own playback rules (the default)' '$windows/README.txt' && grep -q -- '--rules intro' '$windows/README.txt'"
# shellcheck source=/dev/null
source "$source_dir/tests/windows/wine_env.sh" "$windows_dir"
zip_xm2wav_renders() {
  prepare_wine_prefix
  cp "$song" "$work/zip/song.xm"
  (cd "$work/zip" && wine "$windows_name/xm2wav.exe" --seconds "$song_seconds" song.xm zip.wav > /dev/null 2>&1)
  end_wine_session
  cmp "$work/expected.wav" "$work/zip/zip.wav"
}
if starts_32bit_programs; then
  check "zip xm2wav.exe renders under wine as the Linux xm2wav" zip_xm2wav_renders
else
  # The zip's programs are 32-bit; make test-windows runs the same sources
  # built for 64-bit Windows on such a machine.
  echo "-- zip xm2wav.exe renders under wine as the Linux xm2wav: NOT RUN, this machine cannot start 32-bit programs"
fi

# --- The Debian packages.
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2> /dev/null || gcc -print-multiarch)
library_deb=$dist_dir/libintro-music1_${version}_amd64.deb
tools_deb=$dist_dir/intro-music_${version}_amd64.deb
dev_deb=$dist_dir/intro-music-dev_${version}_amd64.deb
mkdir "$work/debs"
for deb in "$library_deb" "$tools_deb" "$dev_deb"; do
  dpkg-deb -x "$deb" "$work/debs"
  dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./||; s|/$||' > "$work/$(dpkg-deb -f "$deb" Package).files"
done
root=$work/debs/usr
lib=lib/$multiarch
# holds_only PACKAGE PATTERN: every file (not folder) of the package but its documents matches the extended regular expression.
holds_only() {
  local stray
  stray=$(grep -vE "^usr/?$|^usr/share/doc/?|^($2)" "$work/$1.files" | while read -r path; do
    [ -d "$work/debs/$path" ] || echo "$path"; done)
  [ -z "$stray" ] || { echo "$1 also holds: $stray" >&2; return 1; }
}
check "libintro-music1 holds the shared library alone, in the multiarch folder" \
  holds_only libintro-music1 "usr/$lib/libintro_music\\.so\\.1(\\.[0-9]+)*$"
check "libintro-music1 holds libintro_music.so.1, copyright and changelog" expect_files "$root" \
  "$lib/libintro_music.so.1" share/doc/libintro-music1/copyright share/doc/libintro-music1/changelog.gz
check "intro-music holds the tools, their manual pages, copyright and changelog" expect_files "$root" \
  bin/xm2wav bin/songplayer bin/trace_dump \
  share/man/man1/xm2wav.1.gz share/man/man1/songplayer.1.gz share/man/man1/trace_dump.1.gz \
  share/doc/intro-music/copyright share/doc/intro-music/changelog.gz
check "intro-music holds no library" bash -c "! grep -q 'libintro_music' '$work/intro-music.files'"
check "intro-music-dev holds headers, libraries, package files (multiarch) and the example" expect_files "$root" \
  include/intro_music.h include/intro_music_live.h "$lib/libintro_music.a" "$lib/libintro_music_live.a" \
  "$lib/libintro_music.so" "$lib/pkgconfig/intro_music.pc" "$lib/pkgconfig/intro_music_live.pc" \
  "$lib/cmake/intro_music/intro_musicConfig.cmake" "$lib/cmake/intro_music/intro_musicConfigVersion.cmake" \
  share/doc/intro-music-dev/copyright share/doc/intro-music-dev/changelog.gz \
  share/doc/intro-music-dev/examples/CMakeLists.txt share/doc/intro-music-dev/examples/render_song.cpp
package_fields() {
  local deb depends
  for deb in "$library_deb" "$tools_deb" "$dev_deb"; do
    [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || { echo "$(basename "$deb"): version" >&2; return 1; }
  done
  # The library needs the C and C++ run-times and nothing else.
  depends=$(dpkg-deb -f "$library_deb" Depends)
  [ -z "$(tr ',' '\n' <<< "$depends" | sed 's/^ *//; s/ .*//' | grep -vxE 'libc6|libstdc\+\+6|libgcc-s1')" ] &&
    grep -q 'libstdc++6' <<< "$depends" || { echo "libintro-music1 depends on: $depends" >&2; return 1; }
  dpkg-deb -f "$tools_deb" Depends | grep -q 'libsdl2-2.0-0' || { echo "intro-music lacks SDL2" >&2; return 1; }
  [ "$(dpkg-deb -f "$dev_deb" Depends)" = "libintro-music1 (= $version)" ] ||
    { echo "intro-music-dev depends on: $(dpkg-deb -f "$dev_deb" Depends)" >&2; return 1; }
  grep -q "^libintro_music 1 libintro-music1 " < <(dpkg-deb -I "$library_deb" shlibs) ||
    { echo "libintro-music1 has no shlibs entry of its own" >&2; return 1; }
}
check "package versions and dependencies" package_fields
# The changelog is CHANGELOG.md's: its newest entry is the package's version, and every release is an entry.
changelogs_from_changelog_md() {
  local package text release
  for package in libintro-music1 intro-music intro-music-dev; do
    text=$(zcat "$root/share/doc/$package/changelog.gz")
    [ "$(head -n 1 <<< "$text")" = "$package ($version) unstable; urgency=medium" ] ||
      { echo "$package: first entry $(head -n 1 <<< "$text")" >&2; return 1; }
    for release in $(sed -n 's/^## \([0-9][^ ]*\).*/\1/p' "$source_dir/CHANGELOG.md"); do
      grep -q "^$package ($release) " <<< "$text" || { echo "$package: no entry for $release" >&2; return 1; }
    done
    grep -q '^  \* The first release\.$' <<< "$text" || { echo "$package: not CHANGELOG.md's text" >&2; return 1; }
  done
}
check "each package's changelog is CHANGELOG.md in Debian's format" changelogs_from_changelog_md
deb_pages_complete() {
  local program
  for program in xm2wav songplayer trace_dump; do
    gzip -dc "$root/share/man/man1/$program.1.gz" > "$work/$program.1"
    page_is_complete "$work/$program.1" "$root/bin/$program" xm2wav songplayer trace_dump || return 1
  done
}
check "packaged manual pages: an entry per option, EXIT STATUS, SEE ALSO what ships" deb_pages_complete
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
check "the example builds against the extracted packages and renders as xm2wav" example_builds
pkg_config_finds_the_packaged_library() {
  local flags
  flags=$(PKG_CONFIG_SYSROOT_DIR="$work/debs" PKG_CONFIG_LIBDIR="$root/$lib/pkgconfig" pkg-config --libs intro_music)
  grep -q -- "-L$work/debs/usr/$lib" <<< "$flags" || { echo "pkg-config: $flags" >&2; return 1; }
}
check "intro_music.pc points into the multiarch folder" pkg_config_finds_the_packaged_library
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
  lintian --fail-on error,warning "$library_deb" "$tools_deb" "$dev_deb" "$gst_deb" > "$work/lintian.log" 2>&1
  local status=$?
  echo "lintian:"
  sed 's/^/  /' "$work/lintian.log"
  return "$status"
}
check "lintian reports no errors or warnings" lintian_clean

echo "dist checks: $failures failed"
[ "$failures" -eq 0 ]
