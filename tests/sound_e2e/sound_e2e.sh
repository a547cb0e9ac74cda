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

"$xm2wav" --rules intro --seconds 40 "$song" render.wav > /dev/null

# The device writes the capture file while it plays, at the pace of real
# time, and closes it when playback stops: the script waits for those states.
"$scripts_dir/with-xvfb.sh" 1280x720 bash -c '
  set -euo pipefail
  source "$2"
  export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$PWD/capture.raw
  "$1" > stdout.txt 2>&1 &
  pid=$!
  fail() { echo "FAIL: $*" >&2; kill -9 "$pid" 2>/dev/null || true; exit 1; }
  bytes_per_second=176400
  capture_open() { ls -l "/proc/$pid/fd" 2>/dev/null | grep -q "capture\.raw"; }
  capture_closed() { ! capture_open; }
  # captured_seconds N: the open capture holds at least N seconds of sound.
  captured_seconds() {
    process_ended "$pid" && fail "the presentation ended early: $(cat stdout.txt)"
    capture_open && [ "$(stat -c %s capture.raw)" -ge $(( $1 * bytes_per_second )) ]
  }
  # M acts on a press that follows a frame which saw it released; a frame
  # begun after this call has certainly seen the first M released once the
  # picture has changed twice (the first change may be the frame that
  # stopped the sound).
  last_picture=""
  screen_hash() { import -window root -depth 8 rgb:- 2>/dev/null | md5sum; }
  picture_changed() { local now; now=$(screen_hash); [ "$now" != "$last_picture" ] && last_picture=$now; }
  a_whole_new_frame() { last_picture=$(screen_hash); poll_until 30 picture_changed && poll_until 30 picture_changed; }
  # The window is where M and Escape go.
  window_visible() { [ -n "$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -n 1)" ]; }

  poll_until 60 window_visible || fail "no window appeared within 60 s"
  poll_until 60 captured_seconds 5 || fail "less than 5 s of sound captured within 60 s"
  cp capture.raw first.raw
  xdotool key m
  poll_until 10 capture_closed || fail "the sound goes on 10 s after M"
  size_after_stop=$(stat -c %s capture.raw)
  echo "M stopped the sound after $(( size_after_stop / bytes_per_second )) s of capture"
  a_whole_new_frame || fail "the picture stood still for 30 s after M"
  xdotool key m
  # The restart reopens the capture file from its start.
  poll_until 10 capture_open || fail "no sound 10 s after the second M"
  poll_until 60 captured_seconds 4 || fail "less than 4 s of sound captured within 60 s of the second M"
  xdotool key Escape
  poll_until 10 process_ended "$pid" || fail "still running 10 s after Escape"
  wait "$pid" || fail "the presentation ended with status $?"
' sound "$intro" "$scripts_dir/polling.sh"

echo "Before M:"
/usr/bin/python3 "$here/compare_capture.py" first.raw render.wav --min-seconds 4
echo "After the second M:"
/usr/bin/python3 "$here/compare_capture.py" capture.raw render.wav --min-seconds 3
