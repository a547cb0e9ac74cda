#!/usr/bin/env bash
# Collects the public set of real XM songs from Debian packages into a cache:
#   scripts/fetch-real-songs.sh [CACHE_DIR]
# Downloads the packages with `apt-get download` (no root needed), unpacks them
# with `dpkg-deb -x` and copies every *.xm file (any case) to CACHE_DIR/songs/
# as PACKAGE-NAME.xm. A package that is already collected is not fetched again.
# Exit status: 0 with the songs in place; 77 when the Debian archive cannot be
# reached (tests treat this as a skip); 1 on any other failure.
set -euo pipefail

readonly archive_unreachable_status=77
readonly expected_song_count=22
readonly packages=(
  flobopuyo bomberclone-data gemdropx njam-data dodgindiamond2
  ceferino-data criticalmass-data ballz-data fb-music-high
)

script_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cache_dir="${1:-$script_dir/../.cache/real-songs}"
mkdir -p "$cache_dir"
cache_dir="$(cd "$cache_dir" && pwd)"
songs_dir="$cache_dir/songs"
stamps_dir="$cache_dir/collected"
mkdir -p "$songs_dir" "$stamps_dir"

# Several tests may ask for the cache at the same time: one fills it, the
# others wait and then find it complete.
exec 9>"$cache_dir/.lock"
flock 9

for tool in apt-get dpkg-deb; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "fetch-real-songs: '$tool' is not available; the real-song set needs Debian's package tools." >&2
    exit "$archive_unreachable_status"
  fi
done

missing=()
for package in "${packages[@]}"; do
  [ -e "$stamps_dir/$package" ] || missing+=("$package")
done

if [ ${#missing[@]} -gt 0 ]; then
  work_dir="$(mktemp -d "$cache_dir/download.XXXXXX")"
  trap 'rm -rf "$work_dir"' EXIT
  # apt drops to its own unprivileged user for downloads; when run as root
  # into a private folder, keep root so the files can be written.
  apt_options=(-q -o Acquire::Retries=1 -o Acquire::http::Timeout=30)
  if [ "$(id -u)" -eq 0 ]; then
    apt_options+=(-o APT::Sandbox::User=root)
  fi
  echo "fetch-real-songs: downloading ${missing[*]}"
  if ! (cd "$work_dir" && apt-get download "${apt_options[@]}" "${missing[@]}") >"$work_dir/apt.log" 2>&1; then
    tail -n 3 "$work_dir/apt.log" >&2
    echo "fetch-real-songs: the Debian archive could not be reached (or the package lists lack these packages;" >&2
    echo "  'apt-get update' as root refreshes them). The real-song set is not available." >&2
    exit "$archive_unreachable_status"
  fi

  for package in "${missing[@]}"; do
    debs=("$work_dir/${package}"_*.deb)
    if [ ! -f "${debs[0]}" ]; then
      echo "fetch-real-songs: apt-get reported success but no package file for $package" >&2
      exit 1
    fi
    unpack_dir="$work_dir/unpacked-$package"
    mkdir -p "$unpack_dir"
    dpkg-deb -x "${debs[0]}" "$unpack_dir"
    # Names are the package plus the file's own name, lower case, so they are
    # unique across packages and the same on every machine.
    while IFS= read -r -d '' song; do
      name="$(basename "$song" | tr '[:upper:]' '[:lower:]')"
      cp -L "$song" "$songs_dir/$package-$name"
    done < <(find "$unpack_dir" \( -type f -o -type l \) -iname '*.xm' -print0)
    touch "$stamps_dir/$package"
  done
fi

count="$(find "$songs_dir" -maxdepth 1 -type f -name '*.xm' | wc -l)"
echo "fetch-real-songs: $count songs in $songs_dir"
if [ "$count" -eq 0 ]; then
  echo "fetch-real-songs: no songs were found in the packages" >&2
  exit 1
fi
if [ "$count" -ne "$expected_song_count" ]; then
  echo "fetch-real-songs: note: the public set has $expected_song_count songs; the archive's packages differ" >&2
fi
