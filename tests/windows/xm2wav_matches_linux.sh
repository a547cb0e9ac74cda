#!/usr/bin/env bash
# xm2wav.exe under wine renders every real song and the embedded song to the
# very bytes the Linux xm2wav renders, and refuses a broken or missing file
# with the same message and status.
# Usage: xm2wav_matches_linux.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR REAL_SONGS_CACHE WORK_DIR
set -euo pipefail
windows_dir=$(realpath "$1")
linux_dir=$(realpath "$2")
songs_cache=$3
work_dir=$4
here=$(realpath "$(dirname "$0")")
scripts_dir=$(realpath "$here/../../scripts")
source "$here/wine_env.sh" "$windows_dir"
readonly real_song_seconds=60  # as long as the pinned Linux renders
readonly archive_unreachable_status=77

mkdir -p "$work_dir"
cd "$work_dir"
prepare_wine_prefix

failures=0
compared=0

# compare_render NAME SONG [XM2WAV ARGUMENTS...]
compare_render() {
  local name=$1 song=$2
  shift 2
  local status=0
  "$linux_dir/xm2wav" "$@" "$song" linux.wav > /dev/null 2>&1 || status=$?
  [ "$status" -eq 0 ] || { echo "FAIL: $name: the Linux xm2wav ended with status $status"; failures=$((failures + 1)); return; }
  wine "$windows_dir/xm2wav.exe" "$@" "$song" windows.wav > windows.log 2>&1 || status=$?
  [ "$status" -eq 0 ] || { echo "FAIL: $name: xm2wav.exe ended with status $status: $(tr -d '\r' < windows.log)"; failures=$((failures + 1)); return; }
  local linux_hash windows_hash
  linux_hash=$(sha256sum < linux.wav | cut -d' ' -f1)
  windows_hash=$(sha256sum < windows.wav | cut -d' ' -f1)
  compared=$((compared + 1))
  if [ "$linux_hash" = "$windows_hash" ]; then
    printf '  same     %s  %9d bytes  %s\n' "$linux_hash" "$(stat -c %s linux.wav)" "$name"
  else
    printf '  DIFFERS  linux %s windows %s  %s\n' "$linux_hash" "$windows_hash" "$name"
    failures=$((failures + 1))
  fi
  rm -f linux.wav windows.wav windows.log
}

echo "xm2wav.exe against the Linux xm2wav (SHA-256 of the WAV files):"
compare_render "embedded song, one pass, the presentation's rules" "$linux_dir/assets/song.xm" --rules intro
compare_render "embedded song, one pass, the tracker's rules" "$linux_dir/assets/song.xm" --rules tracker
compare_render "embedded song, one pass, band-limited resampling" "$linux_dir/assets/song.xm" --interpolation sinc

fetch_status=0
"$scripts_dir/fetch-real-songs.sh" "$songs_cache" > fetch.log 2>&1 || fetch_status=$?
if [ "$fetch_status" -eq "$archive_unreachable_status" ]; then
  echo "  SKIPPED: the real-song set is not available (Debian archive unreachable)"
elif [ "$fetch_status" -ne 0 ]; then
  cat fetch.log
  echo "FAIL: fetch-real-songs.sh exited with $fetch_status"
  exit 1
else
  for song in "$songs_cache"/songs/*.xm; do
    compare_render "$(basename "$song"), $real_song_seconds s" "$song" --seconds "$real_song_seconds" --rules intro
  done
fi

# Refusals: the same text (Windows ends its lines with CR LF) and status.
printf 'Extended Module: but nothing after the signature' > broken.xm
for refused in broken.xm missing.xm; do
  linux_status=0
  windows_status=0
  "$linux_dir/xm2wav" "$refused" refused.wav > linux.txt 2>&1 || linux_status=$?
  wine "$windows_dir/xm2wav.exe" "$refused" refused.wav > windows.raw 2>&1 || windows_status=$?
  tr -d '\r' < windows.raw > windows.txt
  if [ "$linux_status" -eq 0 ] || [ "$linux_status" -ne "$windows_status" ] || ! cmp -s linux.txt windows.txt; then
    echo "FAIL: $refused: Linux status $linux_status: $(cat linux.txt)"
    echo "      Windows status $windows_status: $(cat windows.txt)"
    failures=$((failures + 1))
  else
    echo "  refused alike with status $linux_status: $(cat linux.txt)"
  fi
done

end_wine_session
echo "$compared renders compared, $failures failures"
[ "$failures" -eq 0 ]
