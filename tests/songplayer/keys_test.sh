#!/usr/bin/env bash
# songplayer in a pseudo-terminal (tmux): the status line is kept in place,
# and the keys act: right and left change the order, space pauses and
# resumes, n goes to the next song, q quits. Every step waits for the state
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

screen() { tmux -L "$socket" capture-pane -p -t keys; }
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
wait_for '^first\.xm .* order 0/[0-9]+ row'
[ "$(screen | grep -c 'first\.xm')" -eq 1 ] || fail "the status line is not kept in place"
press Right
wait_for '^first\.xm .* order 1/'
press Right
wait_for '^first\.xm .* order 2/'
press Left
wait_for '^first\.xm .* order 1/'
echo "left and right move between orders"
press Space
wait_for '\[paused\]'
press Space
wait_for '^first\.xm .* order [0-9]+/[0-9]+ row +[0-9]+ +[0-9:.]+ / [0-9:.]+ *$'
echo "space pauses and resumes"
press n
wait_for '^skipped first\.xm'
wait_for '^second\.xm .* order 0/'
echo "n goes to the next song"
press q
wait_for '^stopped second\.xm'
wait_for '^exit status 0'
echo "q quits with status 0"
echo "PASS"
