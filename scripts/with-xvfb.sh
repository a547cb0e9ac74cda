#!/usr/bin/env bash
# Runs a command on a virtual X server of its own.
# Usage: with-xvfb.sh [WIDTHxHEIGHT] command [args...]
set -euo pipefail

size=1280x720
if [[ ${1:-} =~ ^[0-9]+x[0-9]+$ ]]; then
  size=$1
  shift
fi

# Pick a display number nobody uses.
display_number=$(( 90 + RANDOM % 400 ))
while [ -e "/tmp/.X${display_number}-lock" ] || [ -e "/tmp/.X11-unix/X${display_number}" ]; do
  display_number=$(( display_number + 1 ))
done

Xvfb ":${display_number}" -screen 0 "${size}x24" -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true' EXIT

export DISPLAY=":${display_number}"
for _ in $(seq 1 100); do
  if xdpyinfo >/dev/null 2>&1; then
    break
  fi
  sleep 0.05
done
if ! xdpyinfo >/dev/null 2>&1; then
  echo "with-xvfb: the virtual X server did not start" >&2
  exit 1
fi

# Mesa's software renderer: no GPU needed.
export LIBGL_ALWAYS_SOFTWARE=1
"$@"
