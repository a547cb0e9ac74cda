#!/usr/bin/env bash
# Writes the release artifacts into DIST_DIR from a native and a Windows build
# folder whose release programs are built:
#   scripts/make-dist.sh BUILD_DIR WINDOWS_BUILD_DIR WEB_BUILD_DIR DIST_DIR
# intro-VERSION-linux-x86_64.tar.gz, intro-VERSION-windows-x86.zip,
# intro-VERSION-web.zip, the Debian
# packages libintro-music1, intro-music and intro-music-dev, and SHA256SUMS. Reproducible: file
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
# A README for who downloaded the folder, not the source's.
sed "s/@VERSION@/$version/" "$source_dir/packaging/README-linux.txt" > "$linux/README.txt"
cp "$source_dir/LICENSE" "$source_dir/THIRD-PARTY-NOTICES" "$source_dir/CHANGELOG.md" "$linux/"
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
sed "s/@VERSION@/$version/" "$source_dir/packaging/README-web.txt" > "$web/README.txt"
cp "$source_dir/LICENSE" "$source_dir/THIRD-PARTY-NOTICES" "$web/"
reproducible_zip "$dist_dir/$web_name.zip" "$work" "$web_name"

# --- Debian packages, each one call of debian_package: the shared library
# alone (libintro-music1), the tools (intro-music), the development files
# (intro-music-dev). Libraries and .pc files sit in the multiarch folder the
# build was configured for (make dist passes CMAKE_INSTALL_LIBDIR).
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2> /dev/null || gcc -print-multiarch)
upstream_version=${version%%+*}

debian_copyright() {
  cat "$source_dir/packaging/copyright.in"
  # The licence text, indented, blank lines as " .".
  sed -n '/^Permission is hereby granted/,/^SOFTWARE\.$/p' "$source_dir/LICENSE" | sed 's/^/ /; s/^ $/ ./'
}

# debian_changelog PACKAGE: CHANGELOG.md in Debian's format, newest first, one
# entry per release heading, its points as items; a build between releases
# gets an entry of its own on top.
debian_changelog() {
  local package=$1
  entry_head() { printf '%s (%s) unstable; urgency=medium\n\n' "$package" "$1"; }
  # A release is dated by the commit that wrote its heading, a build by its own commit.
  entry_tail() {
    local epoch
    epoch=$(git -C "$source_dir" log --format=%ct -S"## $1" -- CHANGELOG.md 2> /dev/null | tail -n 1)
    printf '\n -- %s  %s\n' "$maintainer" "$(LC_ALL=C date -u -R -d "@${epoch:-$SOURCE_DATE_EPOCH}")"
  }
  local top
  top=$(sed -n 's/^## \([0-9][^ ]*\).*/\1/p' "$source_dir/CHANGELOG.md" | head -n 1)
  if [ "$version" != "$top" ]; then
    entry_head "$version"
    printf '  * A build of commit %s, after %s.\n' "${version#*+g}" "$top"
    entry_tail "$version"
    printf '\n'
  fi
  local release=
  # Each heading's text joined into items (a paragraph or a "- " point), then wrapped.
  awk '
    function flush() { if (item != "") print "ITEM " item; item = "" }
    /^## / { flush(); if (seen) print "END"; seen = $2 ~ /^[0-9]/; if (seen) print "HEAD " $2; next }
    !seen { next }
    /^- / { flush(); item = substr($0, 3); next }
    /^[[:space:]]*$/ { flush(); next }
    { sub(/^[[:space:]]+/, ""); item = (item == "" ? $0 : item " " $0) }
    END { flush(); if (seen) print "END" }
  ' "$source_dir/CHANGELOG.md" | while IFS= read -r line; do
    case "$line" in
      "HEAD "*) release=${line#HEAD }; entry_head "$release" ;;
      "ITEM "*) printf '%s\n' "${line#ITEM }" | fold -s -w 74 | sed 's/ *$//; 1s/^/  * /; 2,$s/^/    /' ;;
      END) entry_tail "$release"; printf '\n' ;;
    esac
  done | sed '${/^$/d}'
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

# debian_package PACKAGE COMPONENT CONTROL_FIELDS...: installs the build's
# COMPONENT into a fresh root, strips what runs, compresses the manual pages,
# adds the documents, and builds the package. "@SHLIBS@" in a field becomes
# what its programs and libraries link; further DEBIAN files go into
# $work/PACKAGE/DEBIAN before the call (debian_root gives the folder).
debian_root() { printf '%s\n' "$work/$1"; }
debian_package() {
  local package=$1 component=$2 root
  shift 2
  root=$(debian_root "$package")
  DESTDIR=$root cmake --install "$build_dir" --prefix /usr --component "$component" > /dev/null
  [ -d "$root/usr" ] || fail "the $component component installed nothing"
  while IFS= read -r -d '' binary; do
    strip --strip-unneeded --remove-section=.comment --remove-section=.note "$binary"
  done < <(find "$root/usr" -type f \( -perm /111 -o -name '*.so*' \) -print0)
  find "$root/usr" -type f -name '*.a' -exec strip --strip-debug --remove-section=.comment \
    --remove-section=.note --enable-deterministic-archives {} +
  if [ -d "$root/usr/share/man" ]; then find "$root/usr/share/man" -type f -name '*.[0-9]' -exec gzip -9n {} +; fi
  package_docs "$root" "$package"
  local linked=() fields=() field depends=
  mapfile -t linked < <(find "$root/usr" -type f \( -path '*/bin/*' -o -name '*.so.*' \) | LC_ALL=C sort)
  if [ ${#linked[@]} -gt 0 ]; then depends=$(shared_library_dependencies "${linked[@]}"); fi
  for field in "$@"; do fields+=("${field//@SHLIBS@/$depends}"); done
  build_deb "$root" "$package" "${fields[@]}"
}

# libintro-music1: the shared library, what programs linking it depend on.
library_root=$(debian_root libintro-music1)
mkdir -p "$library_root/DEBIAN"
printf 'libintro_music 1 libintro-music1 (>= %s)\n' "$upstream_version" > "$library_root/DEBIAN/shlibs"
printf 'activate-noawait ldconfig\n' > "$library_root/DEBIAN/triggers"
debian_package libintro-music1 library \
  "Depends: @SHLIBS@" \
  "Section: libs" \
  "Priority: optional" \
  "Multi-Arch: same" \
  "Description: tracker (XM) song engine - shared library" \
  " The intro music engine loads Extended Module (.xm) tracker songs from" \
  " memory or files, reports their metadata and length, and renders them to" \
  " 16-bit or float PCM at any rate, with seeking, channel control and loop" \
  " control, by the tracker's own playback rules." \
  " ." \
  " This package holds the shared library, libintro_music.so.1, with its C" \
  " and C++ interfaces."
[ -f "$library_root/usr/lib/$multiarch/libintro_music.so.1" ] ||
  fail "libintro_music.so.1 is not in usr/lib/$multiarch: configure the build with -DCMAKE_INSTALL_LIBDIR=lib/$multiarch"

# intro-music: the tools, which hold the engine themselves.
debian_package intro-music tools \
  "Depends: @SHLIBS@" \
  "Section: sound" \
  "Priority: optional" \
  "Description: tracker (XM) song renderer, player and tracer" \
  " The command-line tools of the intro music engine, which plays Extended" \
  " Module (.xm) tracker songs by the tracker's own playback rules:" \
  "  xm2wav renders a song to a WAV file (any rate, 16-bit or float);" \
  "  songplayer plays songs through the sound device, with keys to pause," \
  "  skip, move between orders and set the volume;" \
  "  trace_dump prints the replayer's state tick by tick."

# intro-music-dev: headers, static libraries, the link to the shared one,
# pkg-config and CMake package files, the example. SDL2's development files
# only for the live library, which not every program uses.
dev_root=$(debian_root intro-music-dev)
mkdir -p "$dev_root/usr/share/doc/intro-music-dev/examples"
cp "$source_dir"/examples/* "$dev_root/usr/share/doc/intro-music-dev/examples/"
debian_package intro-music-dev dev \
  "Depends: libintro-music1 (= $version)" \
  "Suggests: libsdl2-dev" \
  "Section: libdevel" \
  "Priority: optional" \
  "Description: tracker (XM) song engine - development files" \
  " The intro music engine loads Extended Module (.xm) tracker songs from" \
  " memory or files, reports their metadata and length, and renders them to" \
  " 16-bit or float PCM at any rate, with seeking, channel control and loop" \
  " control." \
  " ." \
  " This package holds the headers, the static libraries, the pkg-config and" \
  " CMake package files, and an example program. The second library," \
  " intro_music_live, plays a song through the sound device with SDL2: it" \
  " needs libsdl2-dev."
[ -f "$dev_root/usr/include/intro_music.h" ] || fail "the dev component installed no header"
[ -f "$dev_root/usr/lib/$multiarch/pkgconfig/intro_music.pc" ] || fail "intro_music.pc is not in usr/lib/$multiarch/pkgconfig"

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
  " seeking, duration, tags, and the rules, interpolation, repeat count," \
  " stereo separation and gain as element properties."

(cd "$dist_dir" && sha256sum -- *.tar.gz *.zip *.deb > SHA256SUMS)
echo "make-dist: wrote $dist_dir"
(cd "$dist_dir" && stat -c '%10s  %n' -- *)
