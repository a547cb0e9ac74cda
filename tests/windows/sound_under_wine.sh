#!/usr/bin/env bash
# What intro.exe writes to waveOut under wine is, after the leading silence,
# bit for bit the offline render of the embedded song; M stops it, and a
# second M restarts the song from its very beginning.
#
# wine sends waveOut to ALSA. Without a sound card, an ALSA configuration
# whose default PCM is the file plugin captures exactly the bytes the device
# takes from the looping buffer. Its slave sets the pace: over ALSA's null
# PCM, which takes sound as fast as it comes, wine's own feeding ran dry
# under load and the capture held 20 ms gaps of silence; a PulseAudio null
# sink of our own plays in real time, as a sound card would.
# Usage: sound_under_wine.sh WINDOWS_BUILD_DIR WORK_DIR
set -euo pipefail
windows_dir=$(realpath "$1")
work_dir=$2
here=$(realpath "$(dirname "$0")")
scripts_dir=$(realpath "$here/../../scripts")
compare=$(realpath "$here/../sound_e2e/compare_capture.py")
source "$here/wine_env.sh" "$windows_dir"
readonly frame_bytes=4
readonly frames_per_second=44100
readonly first_capture_seconds=6
readonly second_capture_seconds=4
readonly render_seconds=60  # longer than anything captured
# The device may play some silence before the song, which the comparison
# skips: wait for this much more than the seconds it then asks for.
readonly leading_silence_allowance_seconds=1

mkdir -p "$work_dir"
work_dir=$(realpath "$work_dir")
cd "$work_dir"
rm -f first.raw second.raw capture.raw stopped.raw render.wav
prepare_wine_prefix

wine "$windows_dir/xm2wav.exe" --rules intro --seconds "$render_seconds" "$windows_dir/assets/song.xm" render.wav > /dev/null 2>&1
end_wine_session

# A sound server of our own, with one null sink at the song's format.
pulse_dir=$(mktemp -d)
pulse_pid=""
stop_sound_server() {
  [ -z "$pulse_pid" ] || kill "$pulse_pid" 2>/dev/null || true
  [ -z "$pulse_pid" ] || wait "$pulse_pid" 2>/dev/null || true
  rm -rf "$pulse_dir"
}
trap stop_sound_server EXIT
HOME="$pulse_dir" XDG_RUNTIME_DIR="$pulse_dir" pulseaudio -n --daemonize=no --exit-idle-time=-1 \
  --use-pid-file=no --log-target=file:"$work_dir/sound-server.log" \
  --load="module-null-sink sink_name=capture rate=$frames_per_second format=s16le channels=2" \
  --load="module-native-protocol-unix auth-anonymous=1 socket=$pulse_dir/native" &
pulse_pid=$!
sound_server_ready() { [ -S "$pulse_dir/native" ]; }
wait_until 20 sound_server_ready || { echo "FAIL: the sound server did not start: $(cat sound-server.log)"; exit 1; }

cat > capture.conf <<EOF
pcm.!default {
    type file
    slave.pcm "paced"
    file "$work_dir/capture.raw"
    format "raw"
}
pcm.paced {
    type pulse
    server "unix:$pulse_dir/native"
}
EOF
# The system's configuration first, then the capturing default.
export ALSA_CONFIG_PATH="/usr/share/alsa/alsa.conf:$work_dir/capture.conf"

"$scripts_dir/with-xvfb.sh" 1280x720 bash -c '
  set -euo pipefail
  executable=$1; first_bytes=$2; second_bytes=$3
  fail() { echo "FAIL: $*" >&2; kill -9 "$pid" 2>/dev/null || true; exit 1; }
  # ALSA reports the missing sound card on standard error: kept in the file.
  wine "$executable" > program-output.txt 2>&1 &
  pid=$!

  running() { kill -0 "$pid" 2>/dev/null || fail "the program ended early: $(grep -v "^ALSA lib" program-output.txt)"; }
  captured() { running && [ -f capture.raw ] && [ "$(stat -c %s capture.raw)" -ge "$1" ]; }
  device_open() { ls -l "/proc/$pid/fd" 2>/dev/null | grep -q "capture.raw"; }
  device_closed() { running && ! device_open; }
  ended() { ! kill -0 "$pid" 2>/dev/null; }

  wait_until 60 captured "$first_bytes" || fail "no sound captured"
  cp capture.raw first.raw

  # M held until the device is closed; nothing is written after that. The
  # capture moves aside, so the second start writes a file of its own.
  xdotool keydown m
  wait_until 20 device_closed || fail "M did not close the sound device"
  xdotool keyup m
  mv capture.raw stopped.raw
  size_after_stop=$(stat -c %s stopped.raw)
  echo "M closed the sound device after $(( size_after_stop / 176400 )) s of sound"

  # The second M opens the device again and plays.
  wait_for_frames 2 20 || fail "the picture stands still"
  xdotool keydown m
  wait_until 30 captured "$second_bytes" || fail "the second M did not restart the sound"
  xdotool keyup m
  [ "$(stat -c %s stopped.raw)" -eq "$size_after_stop" ] || fail "the sound went on after M"
  # Taken while playing: an ending process may leave silence behind.
  cp capture.raw second.raw

  xdotool keydown Escape
  wait_until 20 ended || fail "Escape did not end the program"
  xdotool keyup Escape
  status=0
  wait "$pid" || status=$?
  [ "$status" -eq 0 ] || fail "the presentation ended with status $status"
' sound_under_wine "$windows_dir/intro.exe" \
  $(( (first_capture_seconds + leading_silence_allowance_seconds) * frames_per_second * frame_bytes )) \
  $(( (second_capture_seconds + leading_silence_allowance_seconds) * frames_per_second * frame_bytes ))
end_wine_session

echo "Before M:"
/usr/bin/python3 "$compare" first.raw render.wav --min-seconds "$first_capture_seconds"
echo "After the second M:"
/usr/bin/python3 "$compare" second.raw render.wav --min-seconds "$second_capture_seconds"
