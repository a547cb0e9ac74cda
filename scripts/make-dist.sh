#!/usr/bin/env bash
# Writes the release artifacts into DIST_DIR from a native and a Windows build
# folder whose release programs are built:
#   scripts/make-dist.sh BUILD_DIR WINDOWS_BUILD_DIR WEB_BUILD_DIR DIST_DIR
# intro-VERSION-linux-x86_64.tar.gz, intro-VERSION-windows-x86.zip,
# intro-VERSION-web.zip, the Debian
# packages intro-music and intro-music-dev, and SHA256SUMS. Reproducible: file
# times are the last commit's, entries are in name order with neutral owners
# and modes, and the programs are stripped, so the same commit gives the same
# bytes in any folder.
set -euo pipefail
build_dir=$(realpath "$1")
windows_dir=$(realpath "$2")
web_dir=$(realpath "$3")
dist_dir=$4
source_dir=$(realpath "$(dirname "$0")/..")
maintainer="intro maintainers <maintainers@users.noreply.c-seed-d60f17c9.example>"
deb_arch=amd64
mingw_strip=i686-w64-mingw32-strip

fail() { echo "make-dist: $*" >&2; exit 1; }

# shellcheck source=/dev/null
source "$build_dir/release.env"
version=$INTRO_VERSION
export SOURCE_DATE_EPOCH
windows_version=$(sed -n 's/^INTRO_VERSION=//p' "$windows_dir/release.env")
[ "$windows_version" = "$version" ] || fail "the Windows build is version $windows_version, the native one $version"
echo "make-dist: intro $version, dated $(date -u -d "@$SOURCE_DATE_EPOCH" +%F)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -rf "$dist_dir"
mkdir -p "$dist_dir"
dist_dir=$(realpath "$dist_dir")
umask 022

# Neutral modes and the commit's time on everything below FOLDER.
normalise_tree() {
  find "$1" -type d -exec chmod 755 {} +
  find "$1" -type f -perm /111 -exec chmod 755 {} +
  find "$1" -type f ! -perm /111 -exec chmod 644 {} +
  find "$1" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}

# reproducible_tarball OUT.tar.gz PARENT FOLDER
reproducible_tarball() {
  normalise_tree "$2/$3"
  tar --sort=name --mtime="@$SOURCE_DATE_EPOCH" --owner=0 --group=0 --numeric-owner --format=gnu \
    -C "$2" -cf - "$3" | gzip -9n > "$1"
}

# reproducible_zip OUT.zip PARENT FOLDER
reproducible_zip() {
  normalise_tree "$2/$3"
  # Zip stores local times: UTC, so the stored time does not depend on the machine.
  (cd "$2" && find "$3" -print | LC_ALL=C sort | TZ=UTC zip -q -X -9 "$1" -@)
}

with_crlf() { sed 's/\r*$/\r/' "$1" > "$2"; }

# --- Linux tarball: the presentation and the tools, run from the unpacked folder.
linux_name=intro-$version-linux-x86_64
linux=$work/$linux_name
mkdir -p "$linux/man/man1" "$linux/licenses"
for program in intro xm2wav songplayer trace_dump capture_video; do
  [ -x "$build_dir/$program" ] || fail "$build_dir/$program is not built"
  strip --strip-all -o "$linux/$program" "$build_dir/$program"
done
for page in xm2wav songplayer trace_dump capture_video; do
  [ -f "$build_dir/man/man1/$page.1" ] || fail "the manual page $page.1 is not built"
  cp "$build_dir/man/man1/$page.1" "$linux/man/man1/"
done
cp "$source_dir/README.md" "$source_dir/LICENSE" "$source_dir/THIRD-PARTY-NOTICES" "$source_dir/CHANGELOG.md" "$linux/"
# capture_video as distributed falls under the GPL (see THIRD-PARTY-NOTICES).
cp /usr/share/common-licenses/GPL-2 "$linux/licenses/GPL-2"
reproducible_tarball "$dist_dir/$linux_name.tar.gz" "$work" "$linux_name"

# --- Windows zip: the two programs, a README with CRLF line ends, licence and notices.
windows_name=intro-$version-windows-x86
windows=$work/$windows_name
mkdir -p "$windows"
for program in intro.exe xm2wav.exe; do
  [ -f "$windows_dir/$program" ] || fail "$windows_dir/$program is not built"
  "$mingw_strip" --strip-all -o "$windows/$program" "$windows_dir/$program"
done
sed "s/@VERSION@/$version/" "$source_dir/packaging/README-windows.txt" > "$work/README.txt"
with_crlf "$work/README.txt" "$windows/README.txt"
with_crlf "$source_dir/LICENSE" "$windows/LICENSE.txt"
with_crlf "$source_dir/THIRD-PARTY-NOTICES" "$windows/THIRD-PARTY-NOTICES.txt"
reproducible_zip "$dist_dir/$windows_name.zip" "$work" "$windows_name"

# --- The web pages: the presentation and the song player, to be served with
# the cross-origin isolation headers (serve.py does that).
web_name="intro-$version-web"
web="$work/$web_name"
mkdir -p "$web"
for file in index.html intro_page.js intro.js intro.wasm intro.worker.js ring_player.js \
            player.html player_page.js player.js player.wasm player.worker.js queue_player.js serve.py; do
  [ -f "$web_dir/$file" ] || fail "$web_dir/$file is not built"
  cp "$web_dir/$file" "$web/$file"
done
cp "$source_dir/LICENSE" "$source_dir/THIRD-PARTY-NOTICES" "$web/"
reproducible_zip "$dist_dir/$web_name.zip" "$work" "$web_name"

# --- Debian packages.
debian_copyright() {
  cat "$source_dir/packaging/copyright.in"
  # The licence text, indented, blank lines as " .".
  sed -n '/^Permission is hereby granted/,/^SOFTWARE\.$/p' "$source_dir/LICENSE" | sed 's/^/ /; s/^ $/ ./'
}

debian_changelog() {
  local package=$1
  printf '%s (%s) unstable; urgency=medium\n\n' "$package" "$version"
  printf '  * Release %s.\n  * The changes are listed in CHANGELOG.md in the sources.\n\n' "$version"
  printf ' -- %s  %s\n' "$maintainer" "$(LC_ALL=C date -u -R -d "@$SOURCE_DATE_EPOCH")"
}

# package_docs ROOT PACKAGE: copyright and changelog where Debian wants them.
package_docs() {
  local doc=$1/usr/share/doc/$2
  mkdir -p "$doc"
  debian_copyright > "$doc/copyright"
  debian_changelog "$2" | gzip -9n > "$doc/changelog.gz"
}

# build_deb ROOT PACKAGE CONTROL_FIELDS...: the control file, md5sums, the package.
build_deb() {
  local root=$1 package=$2
  shift 2
  normalise_tree "$root"
  local size
  size=$(du -k -s --apparent-size --exclude=DEBIAN "$root" | cut -f1)
  mkdir -p "$root/DEBIAN"
  {
    printf 'Package: %s\nVersion: %s\nArchitecture: %s\nMaintainer: %s\nInstalled-Size: %s\n' \
      "$package" "$version" "$deb_arch" "$maintainer" "$size"
    printf '%s\n' "$@"
  } > "$root/DEBIAN/control"
  (cd "$root" && find usr -type f | LC_ALL=C sort | xargs md5sum > DEBIAN/md5sums)
  normalise_tree "$root"
  dpkg-deb --root-owner-group -Zxz --build "$root" "$dist_dir/${package}_${version}_${deb_arch}.deb" > /dev/null
}

# shared_library_dependencies FILE...: the Depends field dpkg-shlibdeps computes.
shared_library_dependencies() {
  local scratch=$work/shlibdeps
  mkdir -p "$scratch/debian"
  printf 'Source: intro\n\nPackage: intro-music\nArchitecture: any\n' > "$scratch/debian/control"
  (cd "$scratch" && dpkg-shlibdeps -O "$@" 2> /dev/null) | sed -n 's/^shlibs:Depends=//p'
}

# intro-music: the tools and the shared library.
tools_root=$work/intro-music
DESTDIR=$tools_root cmake --install "$build_dir" --prefix /usr --component tools > /dev/null
[ -x "$tools_root/usr/bin/xm2wav" ] || fail "the tools component installed no xm2wav"
while IFS= read -r -d '' binary; do
  strip --strip-unneeded --remove-section=.comment --remove-section=.note "$binary"
done < <(find "$tools_root/usr" -type f \( -perm /111 -o -name '*.so*' \) -print0)
find "$tools_root/usr/share/man" -type f -name '*.1' -exec gzip -9n {} +
package_docs "$tools_root" intro-music
mapfile -t tool_programs < <(find "$tools_root/usr" -type f \( -path '*/bin/*' -o -name '*.so*' \) | LC_ALL=C sort)
tool_depends=$(shared_library_dependencies "${tool_programs[@]}")
# The shared library: what other packages depend on to use it, and the linker cache refreshed on install.
mkdir -p "$tools_root/DEBIAN"
printf 'libintro_music 1 intro-music (>= %s)\n' "${version%%+*}" > "$tools_root/DEBIAN/shlibs"
printf 'activate-noawait ldconfig\n' > "$tools_root/DEBIAN/triggers"
build_deb "$tools_root" intro-music \
  "Depends: $tool_depends" \
  "Section: sound" \
  "Priority: optional" \
  "Description: tracker (XM) song renderer, player and tracer" \
  " The command-line tools of the intro music engine, which plays Extended" \
  " Module (.xm) tracker songs by the tracker's own playback rules, and its" \
  " shared library (libintro_music.so.1, C and C++ interfaces):" \
  "  xm2wav renders a song to a WAV file (any rate, 16-bit or float);" \
  "  songplayer plays songs through the sound device, with keys to pause," \
  "  skip and move between orders;" \
  "  trace_dump prints the replayer's state tick by tick."

# intro-music-dev: headers, static libraries, pkg-config and CMake package files, the example.
dev_root=$work/intro-music-dev
DESTDIR=$dev_root cmake --install "$build_dir" --prefix /usr --component dev > /dev/null
[ -f "$dev_root/usr/include/intro_music.h" ] || fail "the dev component installed no header"
find "$dev_root/usr" -type f -name '*.a' -exec strip --strip-debug --remove-section=.comment \
  --remove-section=.note --enable-deterministic-archives {} +
package_docs "$dev_root" intro-music-dev
mkdir -p "$dev_root/usr/share/doc/intro-music-dev/examples"
cp "$source_dir"/examples/* "$dev_root/usr/share/doc/intro-music-dev/examples/"
build_deb "$dev_root" intro-music-dev \
  "Depends: intro-music (= $version), libsdl2-dev" \
  "Section: libdevel" \
  "Priority: optional" \
  "Description: tracker (XM) song engine - development files" \
  " The intro music engine loads Extended Module (.xm) tracker songs from" \
  " memory or files, reports their metadata and length, and renders them to" \
  " 16-bit or float PCM at any rate, with seeking, channel control and loop" \
  " control; a second" \
  " library plays a song through the sound device with SDL2." \
  " ." \
  " This package holds the headers, the static libraries, the pkg-config and" \
  " CMake package files, and an example program."

# gstreamer1.0-intro-music: the GStreamer plugin, in the folder Debian's GStreamer searches.
gst_root=$work/gstreamer1.0-intro-music
DESTDIR=$gst_root cmake --install "$build_dir" --prefix /usr --component gstreamer > /dev/null
gst_plugin=$(find "$gst_root/usr/lib" -name libgstintromusic.so)
[ -n "$gst_plugin" ] || fail "the gstreamer component installed no plugin (GStreamer's development packages missing?)"
strip --strip-unneeded --remove-section=.comment --remove-section=.note "$gst_plugin"
package_docs "$gst_root" gstreamer1.0-intro-music
build_deb "$gst_root" gstreamer1.0-intro-music \
  "Depends: $(shared_library_dependencies "$gst_plugin"), gstreamer1.0-plugins-base" \
  "Section: sound" \
  "Priority: optional" \
  "Description: GStreamer plugin for tracker (XM) songs" \
  " The intro music engine as a GStreamer decoder (intromusicdec) with a type" \
  " finder for Extended Module (.xm) songs, so that gst-play-1.0, playbin and" \
  " every GStreamer application play XM songs by the tracker's own rules:" \
  " seeking, duration, tags, and the rules, repeat count, stereo separation" \
  " and gain as element properties."

(cd "$dist_dir" && sha256sum -- *.tar.gz *.zip *.deb > SHA256SUMS)
echo "make-dist: wrote $dist_dir"
(cd "$dist_dir" && stat -c '%10s  %n' -- *)
