#!/usr/bin/env bash
# End-to-end checks of the presentation executable.
# Usage: presentation_e2e.sh CHECK EXECUTABLE WORK_DIR
set -euo pipefail
check=$1
executable=$(realpath "$2")
work_dir=$3
scripts_dir=$(realpath "$(dirname "$0")/../../scripts")
source_dir=$(realpath "$(dirname "$0")/../..")
mkdir -p "$work_dir"
cd "$work_dir"
export SDL_AUDIODRIVER=dummy

fail() { echo "FAIL: $*" >&2; exit 1; }

# A full-screen window appears at the screen size, keeps presenting frames,
# and Escape ends the program with status 0 within 2 seconds.
window_and_escape() {
  "$scripts_dir/with-xvfb.sh" 1280x720 bash -c '
    set -euo pipefail
    fail() { echo "FAIL: $*" >&2; exit 1; }
    "$1" > stdout.txt 2>&1 &
    pid=$!
    window=""
    for _ in $(seq 1 100); do
      window=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -n 1 || true)
      [ -n "$window" ] && break
      sleep 0.1
    done
    [ -n "$window" ] || fail "no window appeared"
    geometry=$(xdotool getwindowgeometry "$window" | sed -n "s/.*Geometry: //p")
    [ "$geometry" = "1280x720" ] || fail "window geometry is $geometry, not 1280x720"
    title=$(xdotool getwindowname "$window")
    [ ${#title} -eq 45 ] || fail "window title \"$title\" is not 45 characters long"
    sleep 2
    import -window root first.png
    ticks_before=$(awk "{print \$14 + \$15}" /proc/$pid/stat)
    sleep 1
    ticks_after=$(awk "{print \$14 + \$15}" /proc/$pid/stat)
    import -window root second.png
    [ "$ticks_after" -gt "$ticks_before" ] || fail "the program stopped working between frames"
    size=$(identify -format "%wx%h" first.png)
    [ "$size" = "1280x720" ] || fail "screenshot is $size"
    # The frame is cleared to grey 0.3 or shows the presentation: never black.
    mean=$(convert first.png -colorspace gray -format "%[fx:mean]" info:)
    awk -v m="$mean" "BEGIN { exit !(m > 0.02) }" || fail "the screen is black (mean $mean)"
    start=$(date +%s.%N)
    xdotool keydown Escape; sleep 0.1; xdotool keyup Escape
    status=0
    for _ in $(seq 1 40); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.05
    done
    kill -0 "$pid" 2>/dev/null && { kill -9 "$pid"; fail "still running 2 s after Escape"; }
    wait "$pid" || status=$?
    end=$(date +%s.%N)
    [ "$status" -eq 0 ] || fail "exit status $status after Escape"
    echo "Escape ended the program in $(awk -v a="$start" -v b="$end" "BEGIN { printf \"%.2f\", b - a }") s with status 0"
  ' e2e "$executable"
}

# Without a display the program reports the missing window and ends with -1.
no_display() {
  status=0
  output=$(env -u DISPLAY -u WAYLAND_DISPLAY "$executable" 2>/dev/null) || status=$?
  [ "$status" -eq 255 ] || fail "exit status $status, expected 255"
  grep -qx "Failed to create the window" <<< "$output" || fail "missing message, got: $output"
  echo "no display: status 255 and the message"
}

# The program reads its assets from itself: it opens nothing but shared
# libraries and system or device files.
no_files_opened() {
  "$scripts_dir/with-xvfb.sh" 1280x720 bash -c '
    strace -f -qq -e trace=open,openat,openat2,creat -o trace.txt "$1" > stdout.txt 2>&1 &
    pid=$!
    sleep 4
    xdotool keydown Escape; sleep 0.1; xdotool keyup Escape
    wait "$pid"
  ' e2e "$executable"
  opened=$(grep -oE "open(at2?)?\(.*\"[^\"]+\"" trace.txt | sed -E "s/.*\"([^\"]+)\"$/\1/" | sort -u)
  [ -n "$opened" ] || fail "strace recorded nothing"
  bad=""
  while IFS= read -r path; do
    case "$path" in
      "$source_dir"/*|*.ttf|*.otf|*.xm|*.raw|*.glsl|*.vert|*.frag|/usr/share/fonts/*) bad+="$path"$'\n' ;;
      /dev/*|/proc/*|/sys/*|/etc/*|/run/*|/var/*|/usr/*|/lib/*|/lib64/*|/tmp/.X*|"$HOME"/.drirc|"$HOME"/.XCompose|"$HOME"/.Xauthority|"$HOME"/.Xdefaults*|"$HOME"/.config/*|"$HOME"/.cache/mesa_shader_cache*|/tmp/.mesa*|*.so|*.so.*) ;;
      *) bad+="$path"$'\n' ;;
    esac
  done <<< "$opened"
  [ -z "$bad" ] || fail "opened files outside the system: $bad"
  echo "opened only system files ($(wc -l <<< "$opened") distinct paths)"
}

"$check"
