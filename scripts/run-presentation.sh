#!/usr/bin/env bash
# Runs the presentation. Without a reachable display it runs it on a virtual
# X server for a few seconds, presses Escape and keeps a screenshot.
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
  export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
  "$1" &
  pid=$!
  sleep "$2"
  import -window root "$3"
  xdotool key Escape
  status=0
  wait "$pid" || status=$?
  echo "The presentation ended with status $status."
  exit "$status"
' run "$executable" "$seconds" "$screenshot"
echo "Screenshot saved to $screenshot"
