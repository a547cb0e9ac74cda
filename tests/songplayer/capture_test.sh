#!/usr/bin/env bash
# songplayer through SDL's file-writing audio driver: the captured bytes are
# xm2wav's render of the same song, between the silence the device plays
# before the song starts and after it ends; off a terminal it prints only the
# result line.
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
echo "PASS"
