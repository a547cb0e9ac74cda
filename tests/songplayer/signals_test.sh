#!/usr/bin/env bash
# songplayer in a pseudo-terminal (tmux) ends at once on Ctrl-C and on
# SIGTERM, by that signal, with the terminal's echo given back. Every step
# waits for the state it checks, with a deadline.
# Usage: signals_test.sh SONGPLAYER SONG.xm WORK_DIR
set -euo pipefail
player=$(realpath "$1")
song=$(realpath "$2")
work_dir=$(realpath -m "$3")
rm -rf "$work_dir"
mkdir -p "$work_dir"
cd "$work_dir"
cp "$song" song.xm
socket=songplayer-signals-$$
printf 'set -g remain-on-exit on\n' > tmux.conf
cleanup() { tmux -L "$socket" kill-server 2> /dev/null || true; }
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    echo "--- screen:" >&2
    tmux -L "$socket" capture-pane -p -t "$session" >&2 || true
    exit 1
}
# The pane with its scrolled-off lines: when the pane dies, tmux may scroll its last screen by one.
screen() { tmux -L "$socket" capture-pane -p -S -100 -t "$session"; }
wait_for() {
    local deadline=$(( $(date +%s) + 20 ))
    until screen | grep -Eq -- "$1"; do
        [ "$(date +%s)" -lt "$deadline" ] || fail "waited in vain for: $1"
        sleep 0.05
    done
}

# Plays with the loops at their most, so only a signal can end it; then the
# status and whether the terminal echoes again. The shell traps the signals
# (the player still gets them as it would by default) so it lives to report.
cat > run.sh << SCRIPT
trap true INT TERM
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=\$1.raw '$player' --loops 1000 song.xm
echo "exit status \$?"
stty -a | grep -Eo '(^| )-?echo( |\$)' | sed 's/^/terminal: /'
SCRIPT
start_player() {
    session=$1
    tmux -L "$socket" -f tmux.conf new-session -d -s "$session" -x 150 -y 12 "bash run.sh $session"
    wait_for '^song\.xm .* order [0-9]+ of [0-9]+ +row'
}

start_player interrupt
tmux -L "$socket" send-keys -t interrupt C-c
wait_for '^exit status 130'
wait_for '^terminal:  ?echo'
echo "Ctrl-C ends the player (status 130) and the terminal echoes again"

start_player terminate
shell=$(tmux -L "$socket" display-message -p -t terminate '#{pane_pid}')
player_pid=$(pgrep -P "$shell")
kill -TERM "$player_pid"
wait_for '^exit status 143'
wait_for '^terminal:  ?echo'
echo "SIGTERM ends the player (status 143) and the terminal echoes again"

# A load that waits (a pipe no one writes into) ends at the signal as well:
# the open that waits returns instead of starting again.
mkfifo waiting.xm
for signal in INT TERM; do
    "$player" waiting.xm 2> waiting.log &
    pid=$!
    deadline=$(( $(date +%s) + 20 ))
    until [ "$(cat /proc/$pid/wchan 2> /dev/null)" = wait_for_partner ]; do
        [ "$(date +%s)" -lt "$deadline" ] || { kill -KILL $pid; fail "the player never waited on the pipe"; }
        sleep 0.05
    done
    kill -$signal $pid
    deadline=$(( $(date +%s) + 5 ))
    while kill -0 $pid 2> /dev/null && [ "$(cat /proc/$pid/stat 2> /dev/null | cut -d' ' -f3)" != Z ]; do
        [ "$(date +%s)" -lt "$deadline" ] || { kill -KILL $pid; fail "SIG$signal did not end a load waiting on a pipe"; }
        sleep 0.05
    done
    status=0
    wait $pid || status=$?
    [ $status -eq $((128 + $(kill -l $signal))) ] || fail "SIG$signal during a load: status $status"
    [ ! -s waiting.log ] || fail "SIG$signal during a load printed: $(cat waiting.log)"
    echo "SIG$signal ends a load waiting on a pipe (status $status), silently"
done
echo "PASS"
