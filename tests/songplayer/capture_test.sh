#!/usr/bin/env bash
# songplayer through SDL's file-writing audio driver: the captured bytes are
# xm2wav's render of the same song, between the silence the device plays
# before the song starts and after it ends; off a terminal it prints only the
# result line, none of the sound library's (a song without a title has no
# empty brackets). --loops 0 plays on past any number of passes; without a
# sound device it says so in one line of its own.
# Usage: capture_test.sh SONGPLAYER XM2WAV SONG.xm WORK_DIR
set -euo pipefail
player=$(realpath "$1")
xm2wav=$(realpath "$2")
song=$(realpath "$3")
work_dir=$4
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$work_dir"
mkdir -p "$work_dir"
cd "$work_dir"

"$xm2wav" --raw "$song" expected.raw 2> /dev/null
# Without a delay the driver writes as fast as the player renders.
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$PWD/capture.raw SDL_DISKAUDIODELAY=0 \
    "$player" "$song" < /dev/null > stdout.txt 2> stderr.txt || fail "status $? ($(cat stderr.txt))"
[ "$(wc -l < stdout.txt)" -eq 1 ] || fail "expected one result line, got: $(cat stdout.txt)"
grep -q "^played $song" stdout.txt || fail "no result line: $(cat stdout.txt)"
/usr/bin/python3 - capture.raw expected.raw <<'PYTHON'
import sys

def sounding(path):
    """The bytes from the first to the last non-zero stereo frame."""
    data = open(path, "rb").read()
    start = len(data) - len(data.lstrip(b"\0"))
    end = len(data.rstrip(b"\0"))
    start -= start % 4
    end += -end % 4
    return data[start:end], start, len(data) - end

captured, lead, tail = sounding(sys.argv[1])
expected, _, _ = sounding(sys.argv[2])
if captured != expected:
    sys.exit(f"FAIL: the capture ({len(captured)} sounding bytes) differs from the render ({len(expected)})")
print(f"capture = render: {len(captured)} bytes, {lead} bytes of silence before and {tail} after")
PYTHON

# A song without a title: its result line has no empty "()".
cp "$song" untitled.xm
printf '%20s' '' | dd of=untitled.xm bs=1 seek=17 count=20 conv=notrunc status=none
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$PWD/untitled.raw SDL_DISKAUDIODELAY=0 \
    "$player" untitled.xm > untitled.txt 2>&1 || fail "status $? for the untitled song: $(cat untitled.txt)"
[ "$(wc -l < untitled.txt)" -eq 1 ] && grep -Eq '^played untitled\.xm at [0-9]+:[0-9.]+ of [0-9]+:[0-9.]+$' untitled.txt ||
    fail "expected the untitled song's line alone, no library's: $(cat untitled.txt)"
echo "a song without a title: $(cat untitled.txt)"

# --loops 0: still playing after three passes' worth of sound, until a signal ends it.
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$PWD/endless.raw SDL_DISKAUDIODELAY=0 \
    "$player" --loops 0 "$song" > endless.txt 2>&1 &
pid=$!
three_passes=$(( 3 * $(stat -c %s expected.raw) ))
deadline=$(( $(date +%s) + 60 ))
until [ "$(stat -c %s endless.raw 2> /dev/null || echo 0)" -gt "$three_passes" ]; do
    kill -0 $pid 2> /dev/null || fail "--loops 0 ended: $(cat endless.txt)"
    [ "$(date +%s)" -lt "$deadline" ] || { kill $pid; fail "--loops 0 played less than three passes in 60 s"; }
    sleep 0.05
done
kill -0 $pid 2> /dev/null || fail "--loops 0 ended after three passes"
kill -TERM $pid
status=0
wait $pid || status=$?
[ $status -eq 143 ] || fail "--loops 0 ended by SIGTERM with status $status"
echo "--loops 0 plays on past three passes, until stopped"

# No sound device (ALSA with an empty configuration): one line of our own, status 1.
: > empty-alsa.conf
status=0
SDL_AUDIODRIVER=alsa ALSA_CONFIG_PATH=$PWD/empty-alsa.conf "$player" "$song" > no-device.txt 2>&1 || status=$?
[ $status -eq 1 ] || fail "without a sound device: status $status"
[ "$(wc -l < no-device.txt)" -eq 1 ] && grep -q '^songplayer: no sound device' no-device.txt ||
    fail "without a sound device, expected one line of ours: $(cat no-device.txt)"
grep -q 'SDL_AUDIODRIVER=dummy' no-device.txt || fail "the message does not name the dummy driver: $(cat no-device.txt)"
echo "without a sound device: $(cat no-device.txt)"
echo "PASS"
