#!/usr/bin/env bash
# songplayer in a pseudo-terminal (tmux): the status line is kept in place,
# and the keys act: down and up change the order, right and left move
# 5 seconds ahead and back (shown as time and row), space pauses and
# resumes, - and + turn the volume down and up, n goes to the next song, q
# quits. Orders are shown counted from 1. Every step waits for the state
# it checks, with a deadline.
# Usage: keys_test.sh SONGPLAYER SONG.xm WORK_DIR
set -euo pipefail
player=$(realpath "$1")
song=$(realpath "$2")
work_dir=$(realpath -m "$3")
rm -rf "$work_dir"
mkdir -p "$work_dir"
cd "$work_dir"
cp "$song" first.xm
cp "$song" second.xm
socket=songplayer-test-$$
printf 'set -g remain-on-exit on\n' > tmux.conf
cleanup() { tmux -L "$socket" kill-server 2> /dev/null || true; }
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    echo "--- screen:" >&2
    tmux -L "$socket" capture-pane -p -t keys >&2 || true
    exit 1
}

# The pane with its scrolled-off lines: when the pane dies, tmux may scroll its last screen by one.
screen() { tmux -L "$socket" capture-pane -p -S -100 -t keys; }
# Waits until the screen matches the extended regular expression.
wait_for() {
    local deadline=$(( $(date +%s) + 20 ))
    until screen | grep -Eq -- "$1"; do
        [ "$(date +%s)" -lt "$deadline" ] || fail "waited in vain for: $1"
        sleep 0.05
    done
}
press() { tmux -L "$socket" send-keys -t keys "$@"; }

tmux -L "$socket" -f tmux.conf new-session -d -s keys -x 150 -y 12 \
    "SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$work_dir/capture.raw '$player' first.xm second.xm; echo \"exit status \$?\""
wait_for '^first\.xm .* order 1 of [0-9]+ +row'
[ "$(screen | grep -c 'first\.xm')" -eq 1 ] || fail "the status line is not kept in place"
press Down
wait_for '^first\.xm .* order 2 of'
press Down
wait_for '^first\.xm .* order 3 of'
press Up
wait_for '^first\.xm .* order 2 of'
echo "down and up move between orders"
press Space
wait_for '\[paused\]'
seconds_shown() { screen | grep -E '^first\.xm' | sed -E 's|.* ([0-9]+):([0-9.]+) / .*|\1 \2|' | awk '{ print $1 * 60 + $2 }'; }
before=$(seconds_shown)
press Right
wait_for_seconds() {
    local deadline=$(( $(date +%s) + 20 ))
    until awk -v now="$(seconds_shown)" -v want="$1" 'BEGIN { exit !(now >= want - 0.15 && now <= want + 0.15) }'; do
        [ "$(date +%s)" -lt "$deadline" ] || fail "waited in vain for the time $1 s (before: $before s)"
        sleep 0.05
    done
}
wait_for_seconds "$(awk -v t="$before" 'BEGIN { print t + 5 }')"
press Left
wait_for_seconds "$before"
press Space
echo "right and left move 5 seconds ahead and back, while paused too"
press Space
wait_for '\[paused\]'
press Space
wait_for '^first\.xm .* order [0-9]+ of [0-9]+ +row +[0-9]+ +[0-9:.]+ / [0-9:.]+ +volume 100% +linear *$'
echo "space pauses and resumes"
press -
wait_for '^first\.xm .* volume 90%'
press +
press +
wait_for '^first\.xm .* volume 110%'
echo "- and + turn the volume down and up"
press i
wait_for '^first\.xm .* cubic *$'
press i
wait_for '^first\.xm .* sinc *$'
echo "i goes to the next interpolation"
press n
wait_for '^skipped first\.xm'
wait_for '^second\.xm .* order 1 of.* sinc *$'
echo "n goes to the next song, in the interpolation chosen"
press q
wait_for '^stopped second\.xm'
wait_for '^exit status 0'
echo "q quits with status 0"
echo "PASS"
