#!/usr/bin/env bash
# Installs the Debian packages a make target needs, by group:
#   scripts/install-deps.sh GROUP...     (no group: every group)
# Each target installs only its own groups, so a first `make run` fetches just
# what building and showing the presentation takes. Idempotent: does nothing
# when everything is already present.
set -euo pipefail

declare -A groups
# Building and running the presentation (and the music tools, which need nothing more).
groups[build]="build-essential cmake ninja-build pkg-config ccache
  libglfw3-dev libfreetype-dev libgl-dev libgl1-mesa-dri libsdl2-dev fonts-dejavu-core"
# Showing it on a virtual screen when no display is reachable, with a screenshot.
groups[headless]="xvfb xdotool x11-utils imagemagick"
# The test suite: GoogleTest, the sanitizer runtimes, the mature players the
# engine is compared with, and the end-to-end tests' helpers.
groups[test]="clang libclang-rt-14-dev libgtest-dev libgmock-dev
  xvfb xdotool x11-utils x11-apps imagemagick strace tmux python3 python3-numpy
  libxmp-dev libopenmpt-dev ca-certificates"
# The off-screen video capture: FFmpeg's libraries and a surfaceless EGL context.
groups[video]="libavformat-dev libavcodec-dev libswscale-dev libavutil-dev libegl-dev libegl-mesa0 ffmpeg"
# The 32-bit Windows build (its libraries come from Debian source packages)
# and its tests under wine, sound through ALSA's file plugin over a PulseAudio
# null sink. The 64-bit toolchain and wine64's libraries serve the checks on
# a machine that cannot start 32-bit programs.
groups[windows]="dpkg-dev g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine32:i386 wine64 libgl1:i386 libglx-mesa0:i386 libgl1-mesa-dri:i386 libasound2:i386
  libgl1 libglx-mesa0 libgl1-mesa-dri libasound2 pulseaudio libasound2-plugins:i386 libasound2-plugins"
groups[bench]="libbenchmark-dev libxmp-dev libopenmpt-dev xvfb xdotool x11-utils gstreamer1.0-plugins-bad"
groups[fuzz]="clang libclang-rt-14-dev"
# The GStreamer plugin: its development files, and GStreamer's programs and
# base plugins that its tests run it in (decodebin, playbin, gst-discoverer-1.0).
groups[gstreamer]="libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-tools
  gstreamer1.0-plugins-base gstreamer1.0-plugins-base-apps"
# Release packaging: manual pages (written by a Python script), zip, Debian package checks.
groups[dist]="python3 zip unzip file dpkg-dev lintian man-db"
# The browser build (Debian's emscripten; FreeType from its source package) and
# its tests in headless Chromium.
groups[web]="emscripten chromium-headless-shell dpkg-dev python3 python3-numpy"

requested=("$@")
if [ ${#requested[@]} -eq 0 ]; then
  mapfile -t requested < <(printf '%s\n' "${!groups[@]}" | sort)
fi

packages=()
for group in "${requested[@]}"; do
  if [ -z "${groups[$group]+set}" ]; then
    echo "install-deps: no package group '$group' (groups: ${!groups[*]})" >&2
    exit 2
  fi
  read -r -a members <<< "$(echo ${groups[$group]})"
  packages+=("${members[@]}")
done
mapfile -t packages < <(printf '%s\n' "${packages[@]}" | sort -u)

sudo_prefix=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_prefix=(sudo)
fi

# One query for all: a package that is not installed (or unknown) prints nothing.
installed=$(dpkg-query -W -f='${Package}:${Architecture} ${Status}\n' 2>/dev/null | awk '/ install ok installed$/ {print $1}')
native_arch=$(dpkg --print-architecture)
missing=()
for package in "${packages[@]}"; do
  qualified=$package
  [[ $package == *:* ]] || qualified="$package:$native_arch"
  if ! grep -qxF -e "$qualified" -e "${package%%:*}:all" <<< "$installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

export DEBIAN_FRONTEND=noninteractive
apt_get=("${sudo_prefix[@]}" apt-get -o DPkg::Lock::Timeout=900)
# 32-bit packages (the Windows group) need the i386 architecture and fresh lists for it.
if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_prefix[@]}" dpkg --add-architecture i386
  "${apt_get[@]}" update -q
fi

echo "Installing (${requested[*]}): ${missing[*]}"
# Refresh the package lists once if they are missing or older than a day.
if [ -z "$(find /var/lib/apt/lists -maxdepth 1 -name '*Packages*' -mtime -1 2>/dev/null | head -n 1)" ]; then
  "${apt_get[@]}" update -q
fi
if ! "${apt_get[@]}" install -y -q --no-install-recommends "${missing[@]}"; then
  "${apt_get[@]}" update -q
  "${apt_get[@]}" install -y -q --no-install-recommends "${missing[@]}"
fi
