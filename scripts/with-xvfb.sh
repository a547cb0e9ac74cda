#!/usr/bin/env bash
# Runs a command on a virtual X server of its own.
# Usage: with-xvfb.sh [WIDTHxHEIGHT] command [args...]
set -euo pipefail

size=1280x720
if [[ ${1:-} =~ ^[0-9]+x[0-9]+$ ]]; then
  size=$1
  shift
fi
ready_seconds=30

# Xvfb picks a display number nobody uses and writes it to the pipe once it
# accepts connections; servers starting at the same moment never share one.
# Without -noreset it would reset whenever its last client leaves, refusing
# the next one for a moment (a readiness probe would be such a client).
pipe_dir=$(mktemp -d)
mkfifo "$pipe_dir/display"
Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset 3>"$pipe_dir/display" >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; rm -rf "$pipe_dir"' EXIT

display_number=""
read -r -t "$ready_seconds" display_number < "$pipe_dir/display" || true
if [ -z "$display_number" ]; then
  echo "with-xvfb: the virtual X server was not ready within ${ready_seconds} s" >&2
  exit 1
fi
export DISPLAY=":${display_number}"
# And it answers a client.
for _ in $(seq 1 200); do
  xdpyinfo >/dev/null 2>&1 && break
  sleep 0.05
done
if ! xdpyinfo >/dev/null 2>&1; then
  echo "with-xvfb: the virtual X server on $DISPLAY does not answer" >&2
  exit 1
fi

# Mesa's software renderer: no GPU needed.
export LIBGL_ALWAYS_SOFTWARE=1
"$@"
