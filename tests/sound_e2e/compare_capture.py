#!/usr/bin/python3
"""Checks that captured device output is exactly the start of an offline render.

Usage: compare_capture.py CAPTURE.raw RENDER.wav [--min-seconds S]
The capture is raw 16-bit stereo PCM as the device received it. Leading silent
frames are skipped on both sides (the device plays silence before it starts).
"""
import argparse
import struct
import sys

FRAME_BYTES = 4
RATE = 44100


def wav_frames(path):
    with open(path, "rb") as handle:
        data = handle.read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        sys.exit(f"{path}: not a WAV file")
    offset = 12
    while offset + 8 <= len(data):
        chunk_id, chunk_size = struct.unpack_from("<4sI", data, offset)
        if chunk_id == b"data":
            return data[offset + 8:offset + 8 + chunk_size]
        offset += 8 + chunk_size + (chunk_size & 1)
    sys.exit(f"{path}: no data chunk")


def strip_leading_silence(pcm):
    frame_count = len(pcm) // FRAME_BYTES
    for frame in range(frame_count):
        if pcm[frame * FRAME_BYTES:(frame + 1) * FRAME_BYTES] != b"\0\0\0\0":
            return pcm[frame * FRAME_BYTES:frame_count * FRAME_BYTES], frame
    return b"", frame_count


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("capture")
    parser.add_argument("render")
    parser.add_argument("--min-seconds", type=float, default=1.0)
    arguments = parser.parse_args()

    with open(arguments.capture, "rb") as handle:
        captured, skipped = strip_leading_silence(handle.read())
    rendered, _ = strip_leading_silence(wav_frames(arguments.render))
    frames = len(captured) // FRAME_BYTES
    if frames < arguments.min_seconds * RATE:
        sys.exit(f"FAIL: only {frames} frames captured after {skipped} silent frames")
    if frames > len(rendered) // FRAME_BYTES:
        sys.exit("FAIL: the capture is longer than the render; render more")
    for frame in range(frames):
        start = frame * FRAME_BYTES
        if captured[start:start + FRAME_BYTES] != rendered[start:start + FRAME_BYTES]:
            sys.exit(f"FAIL: first difference at frame {frame} ({frame / RATE:.3f} s) of {frames}")
    print(f"{frames} frames ({frames / RATE:.2f} s) identical to the render after {skipped} silent frames")


if __name__ == "__main__":
    main()
