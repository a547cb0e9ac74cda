#!/usr/bin/env bash
# Screenshots of the real presentation on a virtual screen of the given size:
# the logo centred at rest with the backdrop dimmed around it, then the
# first message in the middle band a few seconds later.
# Usage: picture_e2e.sh EXECUTABLE WIDTHxHEIGHT WORK_DIR
set -euo pipefail
executable=$(realpath "$1")
size=$2
work_dir=$3
here=$(realpath "$(dirname "$0")")
scripts_dir=$(realpath "$here/../../scripts")
mkdir -p "$work_dir"
cd "$work_dir"
rm -f rest.png text.png rest.rgb text.rgb
export SDL_AUDIODRIVER=dummy

"$scripts_dir/with-xvfb.sh" "$size" bash -c '
  set -euo pipefail
  fail() { echo "FAIL: $*" >&2; kill -9 "$pid" 2>/dev/null || true; exit 1; }
  executable=$1; here=$2; width=${3%x*}; height=${3#*x}
  "$executable" > stdout.txt 2>&1 &
  pid=$!
  # The first frame that shows the presentation, not only the grey clear
  # (whose screenshot compresses to a few kilobytes); the logo is then still
  # resting, which it does for two seconds.
  shown=""
  for _ in $(seq 1 300); do
    kill -0 "$pid" 2>/dev/null || fail "the program ended early: $(cat stdout.txt)"
    if import -window root rest.png 2>/dev/null && [ "$(stat -c %s rest.png)" -gt 50000 ]; then
      shown=yes
      break
    fi
    sleep 0.05
  done
  [ -n "$shown" ] || fail "the presentation never appeared"
  sleep 3.5
  import -window root text.png
  xdotool key Escape
  status=0
  wait "$pid" || status=$?
  [ "$status" -eq 0 ] || fail "exit status $status"
  convert rest.png -depth 8 rgb:rest.rgb
  convert text.png -depth 8 rgb:text.rgb
  /usr/bin/python3 "$here/check_screenshot.py" rest rest.rgb "$width" "$height"
  /usr/bin/python3 "$here/check_screenshot.py" text text.rgb "$width" "$height"
' picture_e2e "$executable" "$here" "$size"
echo "picture checks passed at $size"
