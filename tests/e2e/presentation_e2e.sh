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
watch_screen="$source_dir/tests/picture_e2e/check_screenshot.py"

# A full-screen window appears at the screen size, keeps presenting frames,
# and Escape ends the program with status 0 within 2 seconds.
window_and_escape() {
  "$scripts_dir/with-xvfb.sh" 1280x720 bash -c '
    set -euo pipefail
    source "$2"
    "$1" > stdout.txt 2>&1 &
    pid=$!
    fail() { echo "FAIL: $*" >&2; kill -9 "$pid" 2>/dev/null || true; exit 1; }
    window=""
    window_visible() {
      process_ended "$pid" && fail "the program ended early: $(cat stdout.txt)"
      window=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -n 1) && [ -n "$window" ]
    }
    poll_until 30 window_visible || fail "no window appeared within 30 s"
    geometry=$(xdotool getwindowgeometry "$window" | sed -n "s/.*Geometry: //p")
    [ "$geometry" = "1280x720" ] || fail "window geometry is $geometry, not 1280x720"
    title=$(xdotool getwindowname "$window")
    [ ${#title} -eq 45 ] || fail "window title \"$title\" is not 45 characters long"
    # The frame is cleared to grey 0.3 or shows the presentation: once drawn, never black.
    mean=0
    drawn() {
      import -window root first.png 2>/dev/null || return 1
      mean=$(convert first.png -colorspace gray -format "%[fx:mean]" info:)
      awk -v m="$mean" "BEGIN { exit !(m > 0.02) }"
    }
    poll_until 30 drawn || fail "the screen stayed black (mean $mean) for 30 s"
    size=$(identify -format "%wx%h" first.png)
    [ "$size" = "1280x720" ] || fail "screenshot is $size"
    # Frames keep coming: the backdrop pans and the text fades, so the picture changes.
    changed=0
    picture_changed() {
      import -window root second.png 2>/dev/null || return 1
      changed=$(compare -metric AE first.png second.png null: 2>&1 || true)
      [ "${changed%% *}" != 0 ]
    }
    poll_until 30 picture_changed || fail "the picture did not change for 30 s: no new frames"
    echo "a new frame changed $changed pixels"
    start=${EPOCHREALTIME/./}
    xdotool key Escape
    poll_until 2 process_ended "$pid" || fail "still running 2 s after Escape"
    end=${EPOCHREALTIME/./}
    status=0
    wait "$pid" || status=$?
    [ "$status" -eq 0 ] || fail "exit status $status after Escape"
    echo "Escape ended the program in $(( (end - start) / 1000 )) ms with status 0"
  ' e2e "$executable" "$scripts_dir/polling.sh"
}

# Without a display the program reports the missing window and ends with -1;
# on standard error one line says why.
no_display() {
  status=0
  output=$(env -u DISPLAY -u WAYLAND_DISPLAY "$executable" 2> no-display-errors.txt) || status=$?
  [ "$status" -eq 255 ] || fail "exit status $status, expected 255"
  grep -qx "Failed to create the window" <<< "$output" || fail "missing message, got: $output"
  [ "$(wc -l < no-display-errors.txt)" -eq 1 ] && grep -q '^intro: no display.*DISPLAY' no-display-errors.txt ||
    fail "expected one line naming the missing display, got: $(cat no-display-errors.txt)"
  echo "no display: status 255, the message and: $(cat no-display-errors.txt)"
}

# With the sound left to the system's own choice of driver (on a machine
# without a sound card every driver fails and the presentation runs silent),
# the program prints at most its own line about the sound: no library reports
# its failed attempts. With ALSA alone and nothing configured, that line is there.
quiet_without_sound() {
  if grep -q "^ *[0-9]" /proc/asound/cards 2>/dev/null; then
    echo "note: this machine has a sound card; checking the quiet output with it"
  fi
  : > empty-alsa.conf
  local drivers
  for drivers in system alsa; do
    local settings=(-u SDL_AUDIODRIVER -u AUDIODEV)
    [ "$drivers" = system ] || settings=(SDL_AUDIODRIVER=alsa "ALSA_CONFIG_PATH=$PWD/empty-alsa.conf")
    "$scripts_dir/with-xvfb.sh" 1280x720 env "${settings[@]}" bash -c '
      set -euo pipefail
      source "$2"
      "$1" > output.txt 2>&1 &
      pid=$!
      fail() { echo "FAIL: $*" >&2; kill -9 "$pid" 2>/dev/null || true; exit 1; }
      # The sound device is tried at start-up, before the first picture.
      /usr/bin/python3 "$3" shown 1280 720 --pid "$pid" --within 60 --keep shown ||
        fail "the presentation did not appear (output: $(cat output.txt))"
      xdotool key Escape
      poll_until 10 process_ended "$pid" || fail "still running 10 s after Escape"
      wait "$pid"
    ' e2e "$executable" "$scripts_dir/polling.sh" "$watch_screen"
    local sound_line='^intro: no sound device opened; the presentation goes on without its music$'
    if [ "$drivers" = alsa ]; then
      [ "$(wc -l < output.txt)" -eq 1 ] && grep -q "$sound_line" output.txt ||
        fail "with no sound device, expected its one line, got: $(head -n 5 output.txt)"
    elif [ -s output.txt ]; then
      [ "$(wc -l < output.txt)" -eq 1 ] && grep -q "$sound_line" output.txt ||
        fail "the presentation printed $(wc -l < output.txt) lines: $(head -n 5 output.txt)"
    fi
    echo "sound by the $drivers driver choice: $(wc -l < output.txt) line(s), its own"
  done
}

# SIGTERM ends the presentation as it ends any program: no library keeps it.
terminate_signal() {
  "$scripts_dir/with-xvfb.sh" 1280x720 bash -c '
    set -euo pipefail
    source "$2"
    "$1" > stdout.txt 2>&1 &
    pid=$!
    fail() { echo "FAIL: $*" >&2; kill -9 "$pid" 2>/dev/null || true; exit 1; }
    /usr/bin/python3 "$3" shown 1280 720 --pid "$pid" --within 60 --keep shown ||
      fail "the presentation did not appear (output: $(cat stdout.txt))"
    kill -TERM "$pid"
    poll_until 10 process_ended "$pid" || fail "still running 10 s after SIGTERM"
    status=0
    wait "$pid" || status=$?
    [ "$status" -eq 143 ] || fail "exit status $status after SIGTERM, expected 143"
    echo "SIGTERM ended the program"
  ' e2e "$executable" "$scripts_dir/polling.sh" "$watch_screen"
}

# The program reads its assets from itself: it opens nothing but shared
# libraries and system or device files, from start-up to its end.
no_files_opened() {
  "$scripts_dir/with-xvfb.sh" 1280x720 bash -c '
    set -euo pipefail
    source "$2"
    strace -f -qq -e trace=open,openat,openat2,creat -o trace.txt "$1" > stdout.txt 2>&1 &
    pid=$!
    fail() { echo "FAIL: $*" >&2; kill -9 "$pid" 2>/dev/null || true; exit 1; }
    # Start-up is over once the presentation is on screen.
    /usr/bin/python3 "$3" shown 1280 720 --pid "$pid" --within 60 --keep shown ||
      fail "the presentation did not appear (output: $(cat stdout.txt))"
    xdotool key Escape
    poll_until 10 process_ended "$pid" || fail "still running 10 s after Escape"
    wait "$pid"
  ' e2e "$executable" "$scripts_dir/polling.sh" "$watch_screen"
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
