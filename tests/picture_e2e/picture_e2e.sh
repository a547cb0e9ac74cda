#!/usr/bin/env bash
# Screenshots of the real presentation on a virtual screen of the given size:
# the logo centred at rest with the backdrop dimmed around it, then a message
# in the middle band. Each check takes screenshots until the state it checks
# is on screen, up to a deadline: the picture runs on its own frame clock,
# whose pace depends on the machine's load.
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
  executable=$1; here=$2; width=${3%x*}; height=${3#*x}
  source "$4"
  "$executable" > stdout.txt 2>&1 &
  pid=$!
  fail() { echo "FAIL: $*" >&2; kill -9 "$pid" 2>/dev/null || true; exit 1; }
  watch() {
    /usr/bin/python3 "$here/check_screenshot.py" "$1" "$width" "$height" --pid "$pid" --within "$2" --keep "$1" ||
      fail "$1 check (program output: $(cat stdout.txt))"
  }
  watch rest 40
  watch text 60
  xdotool key Escape
  poll_until 10 process_ended "$pid" || fail "still running 10 s after Escape"
  status=0
  wait "$pid" || status=$?
  [ "$status" -eq 0 ] || fail "exit status $status"
' picture_e2e "$executable" "$here" "$size" "$scripts_dir/polling.sh"
echo "picture checks passed at $size"
