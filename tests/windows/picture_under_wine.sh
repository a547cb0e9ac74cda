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

  # The first frame that shows the presentation, not only the grey clear
  # (a few kilobytes as PNG); the logo then still rests, for two seconds.
  presentation_shown() {
    kill -0 "$pid" 2>/dev/null || fail "the program ended early: $(grep -v "^ALSA lib" stdout.txt)"
    import -window root rest.png 2>/dev/null && [ "$(stat -c %s rest.png)" -gt 50000 ]
  }
  wait_until 60 presentation_shown || fail "the presentation never appeared"
  convert rest.png -depth 8 rgb:rest.rgb

  # Then the first message, fully faded in.
  message_shown() {
    kill -0 "$pid" 2>/dev/null || fail "the program ended early"
    import -window root text.png 2>/dev/null && convert text.png -depth 8 rgb:text.rgb &&
      /usr/bin/python3 "$checker" text text.rgb "$width" "$height" > text-check.txt 2>&1
  }
  wait_until 20 message_shown || fail "no message in the middle band: $(cat text-check.txt)"

  xdotool keydown Escape
  ended() { ! kill -0 "$pid" 2>/dev/null; }
  wait_until 20 ended || fail "Escape did not end the program"
  xdotool keyup Escape
  status=0
  wait "$pid" || status=$?
  [ "$status" -eq 0 ] || fail "exit status $status"
  echo "Escape ended intro.exe with status 0"

  /usr/bin/python3 "$checker" rest rest.rgb "$width" "$height"
  cat text-check.txt
' picture_under_wine "$windows_dir/intro.exe" "$checker" "$size"
end_wine_session
echo "intro.exe picture checks passed at $size"
