#!/usr/bin/env bash
# intro.exe under wine on a virtual 1280x720 screen passes the Linux picture
# checks: the logo centred at rest over the dimmed backdrop, then the first
# message in the middle band; Escape ends it with status 0.
# Usage: picture_under_wine.sh WINDOWS_BUILD_DIR WORK_DIR
set -euo pipefail
windows_dir=$(realpath "$1")
work_dir=$2
here=$(realpath "$(dirname "$0")")
scripts_dir=$(realpath "$here/../../scripts")
checker=$(realpath "$here/../picture_e2e/check_screenshot.py")
source "$here/wine_env.sh" "$windows_dir"
readonly size=1280x720

mkdir -p "$work_dir"
cd "$work_dir"
rm -f rest.png text.png rest.rgb text.rgb
prepare_wine_prefix

"$scripts_dir/with-xvfb.sh" "$size" bash -c '
  set -euo pipefail
  executable=$1; checker=$2; width=${3%x*}; height=${3#*x}
  fail() { echo "FAIL: $*" >&2; kill -9 "$pid" 2>/dev/null || true; exit 1; }
  wine "$executable" > stdout.txt 2>&1 &
  pid=$!
  # The checker takes screenshots until the state it checks is on screen.
  watch() {
    /usr/bin/python3 "$checker" "$1" "$width" "$height" --pid "$pid" --within "$2" --keep "$1" ||
      fail "$1 check (program output: $(grep -v "^ALSA lib" stdout.txt))"
  }
  watch rest 60
  watch text 60

  xdotool keydown Escape
  ended() { ! kill -0 "$pid" 2>/dev/null; }
  wait_until 20 ended || fail "Escape did not end the program"
  xdotool keyup Escape
  status=0
  wait "$pid" || status=$?
  [ "$status" -eq 0 ] || fail "exit status $status"
  echo "Escape ended intro.exe with status 0"
' picture_under_wine "$windows_dir/intro.exe" "$checker" "$size"
end_wine_session
echo "intro.exe picture checks passed at $size"
