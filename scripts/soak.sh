#!/usr/bin/env bash
# Soak run of the real presentation on a virtual X server: for SOAK_SECONDS
# (default 600) M is pressed every half second and the window is resized
# every few seconds, with SDL's disk audio driver capturing the sound. Checks:
#   - the program ends with status 0 on Escape;
#   - its resident memory does not grow after the first minute (see the
#     memory checks below for the exact rule);
#   - every stretch of sound captured between two presses of M is, sample for
#     sample, the start of the offline render of the song (each restart plays
#     from the beginning and reopens the capture file, so the file is copied
#     just before each restart).
# Usage: scripts/soak.sh [BUILD_DIR]   (BUILD_DIR holds intro, xm2wav and assets/song.xm)
set -euo pipefail

build_dir=$(realpath "${1:-build}")
soak_seconds=${SOAK_SECONDS:-600}
rss_tolerance_kb=${SOAK_RSS_TOLERANCE_KB:-4096}
rss_drift_kb=${SOAK_RSS_DRIFT_KB:-256}
settle_seconds=60          # start-up and the first resize cycles; memory may grow in this minute
toggle_interval=0.5        # M every half second
resize_interval=3          # a new window size every three seconds
render_seconds=30          # far longer than any one stretch of sound between two presses
here=$(realpath "$(dirname "$0")")
project_dir=$(realpath "$here/..")
work_dir="$build_dir/soak"

intro="$build_dir/intro"
xm2wav="$build_dir/xm2wav"
song="$build_dir/assets/song.xm"
for needed in "$intro" "$xm2wav" "$song"; do
  [ -e "$needed" ] || { echo "soak: $needed is missing; build first (make build)" >&2; exit 1; }
done

rm -rf "$work_dir"
mkdir -p "$work_dir/segments"
cd "$work_dir"
"$xm2wav" --seconds "$render_seconds" "$song" render.wav > /dev/null

echo "Soak: ${soak_seconds} s of the presentation, M every ${toggle_interval} s," \
     "a resize every ${resize_interval} s (work folder: $work_dir)"

# Everything below runs on the virtual display.
"$here/with-xvfb.sh" 1280x720 bash -c '
  set -euo pipefail
  intro=$1 soak_seconds=$2 toggle_interval=$3 resize_interval=$4
  source "$5"
  export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$PWD/capture.raw
  "$intro" > program-output.txt 2>&1 &
  pid=$!
  fail() { echo "FAIL: $*" >&2; kill "$pid" 2>/dev/null || true; exit 1; }

  window=""
  window_found() { window=$(xdotool search --pid "$pid" 2>/dev/null | head -n 1) && [ -n "$window" ]; }
  poll_until 30 window_found || fail "the presentation opened no window within 30 s"
  # No window manager runs here: keys go to the window holding the focus, or
  # to the one under the pointer. Keep both on the presentation whatever its size.
  xdotool mousemove 0 0
  # A tap is enough: the presentation reads keys tapped between two frames.
  press() {
    xdotool windowfocus "$window" 2>/dev/null || true
    xdotool key "$1"
  }
  # The sound device holds the capture file open while it plays.
  capture_closed() { ! ls -l "/proc/$pid/fd" 2>/dev/null | grep -q "capture\.raw"; }

  sizes=(1280x720 960x540 640x480 1x1 1024x768 320x180 1280x720)
  now() { echo "${EPOCHREALTIME/./}"; }   # microseconds
  toggle_us=$(awk "BEGIN { print int($toggle_interval * 1000000) }")
  start=$(now)
  next_toggle=$(( start + toggle_us ))
  next_resize=$(( start + resize_interval * 1000000 ))
  end=$(( start + soak_seconds * 1000000 ))
  toggles=0 resizes=0 restarts=0 muted=0
  : > rss.txt
  while :; do
    moment=$(now)
    [ "$moment" -lt "$end" ] || break
    kill -0 "$pid" 2>/dev/null || fail "the presentation ended by itself after $(( (moment - start) / 1000000 )) s"
    rss=$(awk "/^VmRSS:/ { print \$2 }" "/proc/$pid/status")
    echo "$(( (moment - start) / 1000 )) $rss" >> rss.txt
    if [ "$moment" -ge "$next_resize" ]; then
      size=${sizes[$(( resizes % ${#sizes[@]} ))]}
      xdotool windowsize "$window" "${size%x*}" "${size#*x}"
      resizes=$(( resizes + 1 ))
      next_resize=$(( next_resize + resize_interval * 1000000 ))
    fi
    if [ "$moment" -ge "$next_toggle" ]; then
      if [ "$muted" -eq 1 ]; then
        # Stopped: once the device has let the file go, it holds the whole
        # last stretch; the restart truncates it.
        poll_until 10 capture_closed || fail "the sound went on 10 s after M stopped it"
        [ -s capture.raw ] && cp capture.raw "segments/$(printf %05d "$restarts").raw"
        restarts=$(( restarts + 1 ))
      fi
      press m
      muted=$(( 1 - muted ))
      toggles=$(( toggles + 1 ))
      next_toggle=$(( next_toggle + toggle_us ))
    fi
    sleep 0.05
  done

  press Escape
  status=0
  if ! poll_until 5 process_ended "$pid"; then
    if command -v gdb > /dev/null; then
      gdb -batch -p "$pid" -ex "thread apply all bt 12" > stacks-after-escape.txt 2>&1 || true
      echo "Its threads at that moment: $PWD/stacks-after-escape.txt" >&2
    fi
    fail "the presentation did not end within 5 s of Escape"
  fi
  wait "$pid" || status=$?
  [ -s capture.raw ] && cp capture.raw "segments/$(printf %05d "$restarts").raw"
  echo "$toggles presses of M, $resizes resizes; exit status $status"
  [ "$status" -eq 0 ] || fail "the presentation ended with status $status"
' soak "$intro" "$soak_seconds" "$toggle_interval" "$resize_interval" "$here/polling.sh"

failures=0

# Memory. The first minute is start-up and the first rounds of every window
# size. After it, two checks: the peak stays within SOAK_RSS_TOLERANCE_KB of
# the first minute's (room for a one-time step, such as the GL driver
# compiling a shader variant for a state first met later), and the peak of
# the second half stays within SOAK_RSS_DRIFT_KB of the peak between the
# first minute and the half (a leak keeps growing; a one-time step does not).
read -r first_minute_peak middle_peak last_half_peak final_rss samples < <(awk \
  -v settle=$(( settle_seconds * 1000 )) -v half=$(( soak_seconds * 500 )) '
  $1 <= settle { if ($2 > first) first = $2; next }
  { count++; last = $2 }
  $1 <= half { if ($2 > middle) middle = $2; next }
  { if ($2 > later) later = $2 }
  END { print first + 0, middle + 0, later + 0, last + 0, count + 0 }' rss.txt)
echo "Memory (VmRSS): peak in the first minute ${first_minute_peak} kB; peak from then to half time" \
     "${middle_peak} kB; peak in the second half ${last_half_peak} kB; at the end ${final_rss} kB"
later_peak=$(( middle_peak > last_half_peak ? middle_peak : last_half_peak ))
if [ "$samples" -eq 0 ] || [ "$last_half_peak" -eq 0 ] || [ "$middle_peak" -eq 0 ]; then
  echo "Memory: the run was too short to judge growth after the first minute (SOAK_SECONDS above 120 needed)"
else
  if [ "$later_peak" -gt $(( first_minute_peak + rss_tolerance_kb )) ]; then
    echo "FAIL: memory grew by $(( later_peak - first_minute_peak )) kB after the first minute" \
         "(tolerance ${rss_tolerance_kb} kB)" >&2
    failures=$(( failures + 1 ))
  fi
  if [ "$last_half_peak" -gt $(( middle_peak + rss_drift_kb )) ]; then
    echo "FAIL: memory kept growing: the second half peaks $(( last_half_peak - middle_peak )) kB higher" \
         "(tolerance ${rss_drift_kb} kB)" >&2
    failures=$(( failures + 1 ))
  fi
fi

# Sound: every captured stretch is the start of the offline render.
segments=0 bad_segments=0 frames_compared=0
for segment in segments/*.raw; do
  [ -e "$segment" ] || continue
  segments=$(( segments + 1 ))
  if report=$(/usr/bin/python3 "$project_dir/tests/sound_e2e/compare_capture.py" "$segment" render.wav \
                --min-seconds 0.05 2>&1); then
    frames_compared=$(( frames_compared + ${report%% *} ))
  else
    bad_segments=$(( bad_segments + 1 ))
    echo "FAIL: $segment: $report" >&2
  fi
done
echo "Sound: $segments captured stretches, $(( segments - bad_segments )) identical to the offline render" \
     "($(awk "BEGIN { printf \"%.1f\", $frames_compared / 44100 }") s compared)"
if [ "$segments" -eq 0 ] || [ "$bad_segments" -ne 0 ]; then
  failures=$(( failures + 1 ))
fi

if [ "$failures" -ne 0 ]; then
  echo "Soak: FAILED" >&2
  exit 1
fi
rm -rf segments
echo "Soak: passed"
