#!/usr/bin/env bash
# Installs every Debian package needed to build, run, test, fuzz and benchmark.
# Idempotent: does nothing when everything is already present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  libglfw3-dev libfreetype-dev libgl-dev libgl1-mesa-dri libsdl2-dev
  fonts-dejavu-core
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xdotool x11-utils x11-apps imagemagick strace tmux
  python3 python3-numpy
  libxmp-dev libopenmpt-dev
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev libegl-dev libegl-mesa0 ffmpeg
  dpkg-dev ca-certificates
  # The 32-bit Windows build and its tests under wine.
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  wine wine32:i386 wine64
  libgl1:i386 libglx-mesa0:i386 libgl1-mesa-dri:i386 libasound2:i386
  # Its sound capture: ALSA's file plugin over a real-time PulseAudio null sink.
  pulseaudio libasound2-plugins:i386
  # The browser build (Debian's emscripten) and its tests in headless Chromium.
  emscripten chromium-headless-shell
)

sudo_prefix=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_prefix=(sudo)
fi

# The wine and Mesa packages above are the 32-bit ones.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_prefix[@]}" dpkg --add-architecture i386
  "${sudo_prefix[@]}" apt-get update -q
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# Refresh the package lists once if they are missing or older than a day.
if [ -z "$(find /var/lib/apt/lists -maxdepth 1 -name '*Packages*' -mtime -1 2>/dev/null | head -n 1)" ]; then
  "${sudo_prefix[@]}" apt-get update -q
fi
if ! "${sudo_prefix[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"; then
  "${sudo_prefix[@]}" apt-get update -q
  "${sudo_prefix[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
