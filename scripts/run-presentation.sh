#!/usr/bin/env bash
# Runs the presentation. Without a reachable display it runs it on a virtual
# X server for a few seconds from its first picture, presses Escape and keeps
# a screenshot.
set -euo pipefail
build_dir=${1:-build}
seconds=${2:-10}
executable="$build_dir/intro"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec "$executable"
fi

screenshot="$build_dir/run-screenshot.png"
echo "No display reachable: running on a virtual 1280x720 screen for ${seconds} s."
scripts/with-xvfb.sh 1280x720 bash -c '
  set -euo pipefail
  source scripts/polling.sh
  export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
  "$1" &
  pid=$!
  window_visible() { [ -n "$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -n 1)" ]; }
  if ! poll_until 60 window_visible; then
    kill "$pid" 2>/dev/null || true
    echo "The presentation opened no window within 60 s." >&2
    exit 1
  fi
  # The seconds the run is asked to last: the time the presentation shows, not a wait for a state.
  sleep "$2"
  import -window root "$3"
  xdotool key Escape
  poll_until 10 process_ended "$pid" || { kill -9 "$pid"; echo "Still running 10 s after Escape." >&2; }
  status=0
  wait "$pid" || status=$?
  echo "The presentation ended with status $status."
  exit "$status"
' run "$executable" "$seconds" "$screenshot"
echo "Screenshot saved to $screenshot"
