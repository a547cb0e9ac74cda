#!/usr/bin/env bash
# The presentation's sound, captured through SDL's file-writing audio driver,
# is bit for bit what the offline renderer makes of the same song; M stops it
# and a second M restarts the song from its very beginning.
# Usage: sound_e2e.sh INTRO XM2WAV SONG.xm WORK_DIR
set -euo pipefail
intro=$(realpath "$1")
xm2wav=$(realpath "$2")
song=$(realpath "$3")
work_dir=$4
here=$(realpath "$(dirname "$0")")
scripts_dir=$(realpath "$here/../../scripts")
mkdir -p "$work_dir"
cd "$work_dir"
rm -f first.raw capture.raw render.wav

"$xm2wav" --seconds 40 "$song" render.wav > /dev/null

"$scripts_dir/with-xvfb.sh" 1280x720 bash -c '
  set -euo pipefail
  fail() { echo "FAIL: $*" >&2; exit 1; }
  export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$PWD/capture.raw
  "$1" > stdout.txt 2>&1 &
  pid=$!
  sleep 6
  cp capture.raw first.raw
  xdotool keydown m; sleep 0.2; xdotool keyup m
  sleep 1
  size_after_stop=$(stat -c %s capture.raw)
  sleep 1
  [ "$(stat -c %s capture.raw)" -eq "$size_after_stop" ] || fail "the sound goes on after M"
  echo "M stopped the sound after $(( $(stat -c %s first.raw) / 176400 )) s of capture"
  xdotool keydown m; sleep 0.2; xdotool keyup m
  sleep 5
  xdotool keydown Escape; sleep 0.1; xdotool keyup Escape
  wait "$pid" || fail "the presentation ended with status $?"
' sound "$intro"

echo "Before M:"
/usr/bin/python3 "$here/compare_capture.py" first.raw render.wav --min-seconds 4
echo "After the second M:"
/usr/bin/python3 "$here/compare_capture.py" capture.raw render.wav --min-seconds 3
