#!/usr/bin/python3
"""The capture tool end to end, on small captures.

usage: video_capture_test.py lossless|mp4|bad_input CAPTURE_VIDEO XM2WAV SONG.xm WORK_DIR

lossless:  two lossless captures are byte-identical; their sound, decoded, is
           the offline render's bytes; the frames show the presentation (the
           logo at rest on the dimmed backdrop at 1 s, the first message's
           white text at 3.4 s) and the still image of 3.4 s is that frame.
mp4:       the MP4 holds H.264 and AAC of the requested size, rate, frame
           count and duration.
bad_input: refusals are one line with status 1 or 2 and leave no file.
outputs:   an existing file is replaced only with --force; a device node or a
           pipe is written into and stays what it is; a link is followed and
           stays a link; the name's extension must match the container.
"""
import json
import os
import shutil
import stat
import subprocess
import sys
import threading

import numpy

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "picture_e2e"))
import check_screenshot  # noqa: E402  the picture checks of the presentation's screenshots

WAV_HEADER_BYTES = 44
SMALL_WIDTH, SMALL_HEIGHT = 640, 360


def fail(message):
    sys.exit(f"FAIL: {message}")


def run(command):
    result = subprocess.run(command, capture_output=True, text=True)
    return result.returncode, result.stdout, result.stderr


def capture(tool, *arguments):
    status, _, errors = run([tool, *arguments])
    if status != 0:
        fail(f"{' '.join(arguments)}: status {status}: {errors.strip()}")


def decoded(source, *arguments):
    """Raw bytes of `source` decoded by ffmpeg with the given output options."""
    result = subprocess.run(["ffmpeg", "-v", "error", "-i", source, *arguments, "-"], capture_output=True)
    if result.returncode != 0:
        fail(f"decoding {source}: {result.stderr.decode().strip()}")
    return result.stdout


def decoded_frame(video, index, width, height):
    raw = decoded(video, "-vf", f"select=eq(n\\,{index})", "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24")
    pixels = numpy.frombuffer(raw, dtype=numpy.uint8)
    if pixels.size != width * height * 3:
        fail(f"frame {index} of {video} decodes to {pixels.size} bytes")
    return pixels.reshape(height, width, 3).astype(int)


def check_lossless(tool, xm2wav, song, work):
    seconds, fps = 4, 60
    first, second = os.path.join(work, "first.mkv"), os.path.join(work, "second.mkv")
    for path in (first, second):
        capture(tool, "--lossless", "--size", f"{SMALL_WIDTH}x{SMALL_HEIGHT}", "--seconds", str(seconds),
                "--output", path)
    with open(first, "rb") as one, open(second, "rb") as other:
        if one.read() != other.read():
            fail("two captures of the same length and size differ")
    print("two lossless captures are byte-identical")

    sound = decoded(first, "-map", "0:a", "-f", "s16le")
    reference = os.path.join(work, "reference.wav")
    status, _, errors = run([xm2wav, "--rules", "intro", "--seconds", str(seconds), song, reference])
    if status != 0:
        fail(f"xm2wav: {errors.strip()}")
    with open(reference, "rb") as wav:
        expected = wav.read()[WAV_HEADER_BYTES:]
    if sound != expected:
        same = next((i for i, (a, b) in enumerate(zip(sound, expected)) if a != b), min(len(sound), len(expected)))
        fail(f"the decoded sound ({len(sound)} bytes) differs from the offline render ({len(expected)} bytes) "
             f"from byte {same}")
    print(f"the decoded sound equals the offline render: {len(sound)} bytes")

    # The logo rests for its first two seconds; the first message is fully shown well before 3.4 s.
    resting = decoded_frame(first, 1 * fps, SMALL_WIDTH, SMALL_HEIGHT)
    check_screenshot.check_rest(resting, SMALL_WIDTH, SMALL_HEIGHT)
    text_frame = round(3.4 * fps)
    text = decoded_frame(first, text_frame, SMALL_WIDTH, SMALL_HEIGHT)
    check_screenshot.check_text(text, SMALL_WIDTH, SMALL_HEIGHT)
    # Most of the picture is the backdrop, dimmed to 0.4 yet not black.
    brightest = text.max(axis=2)
    median = numpy.median(brightest)
    print(f"frame {text_frame}: median brightest channel {median} (limit {check_screenshot.DIMMED_LIMIT})")
    if not 3 <= median <= check_screenshot.DIMMED_LIMIT:
        fail("the backdrop behind the text is not dimmed")

    still = os.path.join(work, "still.png")
    capture(tool, "--still", "3.4", "--size", f"{SMALL_WIDTH}x{SMALL_HEIGHT}", "--output", still)
    raw = decoded(still, "-f", "rawvideo", "-pix_fmt", "rgb24")
    if numpy.frombuffer(raw, dtype=numpy.uint8).reshape(text.shape).astype(int).tolist() != text.tolist():
        fail(f"the still image of 3.4 s differs from frame {text_frame} of the video")
    print(f"the still image of 3.4 s is frame {text_frame} of the video")


def check_mp4(tool, work):
    width, height, fps, seconds = 320, 180, 30, 2.5
    video = os.path.join(work, "capture.mp4")
    capture(tool, "--size", f"{width}x{height}", "--fps", str(fps), "--seconds", str(seconds), "--output", video)
    status, output, errors = run(["ffprobe", "-v", "error", "-count_frames", "-print_format", "json", "-show_format",
                                  "-show_streams", video])
    if status != 0:
        fail(f"ffprobe: {errors.strip()}")
    probe = json.loads(output)
    streams = {stream["codec_type"]: stream for stream in probe["streams"]}
    picture, sound = streams.get("video"), streams.get("audio")
    frames = round(seconds * fps)
    print(f"probed: {probe['format']['format_name']}, {len(probe['streams'])} streams, "
          f"{picture and picture['codec_name']} {picture and picture['width']}x{picture and picture['height']} "
          f"{picture and picture['pix_fmt']} {picture and picture['r_frame_rate']} "
          f"{picture and picture['nb_read_frames']} frames {picture and picture['duration']} s, "
          f"{sound and sound['codec_name']} {sound and sound['sample_rate']} Hz {sound and sound['channels']} "
          f"channels {sound and sound['duration']} s")
    rules = [
        ("an MP4 container", "mp4" in probe["format"]["format_name"].split(",")),
        ("exactly one picture and one sound stream", len(probe["streams"]) == 2 and picture and sound),
        ("H.264 pictures in 4:2:0", picture and picture["codec_name"] == "h264" and picture["pix_fmt"] == "yuv420p"),
        ("the requested size", picture and (picture["width"], picture["height"]) == (width, height)),
        ("the requested frame rate", picture and picture["r_frame_rate"] == f"{fps}/1"
         and picture["avg_frame_rate"] == f"{fps}/1"),
        ("the requested number of frames", picture and int(picture["nb_read_frames"]) == frames),
        ("AAC sound, 44,100 Hz stereo", sound and sound["codec_name"] == "aac" and sound["sample_rate"] == "44100"
         and sound["channels"] == 2),
    ]
    for name, duration in (("picture", picture and picture["duration"]), ("sound", sound and sound["duration"]),
                           ("file", probe["format"]["duration"])):
        rules.append((f"the {name} lasts the requested time within one frame",
                      duration is not None and abs(float(duration) - seconds) <= 1 / fps))
    broken = [name for name, holds in rules if not holds]
    if broken:
        fail("the MP4 lacks: " + "; ".join(broken))
    print("the MP4 holds what was asked for")


def check_bad_input(tool, work):
    missing_folder = os.path.join(work, "missing", "out.mp4")
    folder = os.path.join(work, "a-folder")
    os.mkdir(folder)
    rows = [
        ("an output in a missing folder", ["--size", "64x36", "--seconds", "1", "--output", missing_folder], 1,
         "cannot create"),
        ("an output that is a folder", ["--size", "64x36", "--seconds", "1", "--output", folder], 1, "is a folder"),
        ("standard output", ["--size", "64x36", "--output", "-"], 2, "standard output"),
        ("an MP4 named .wav", ["--size", "64x36", "--output", os.path.join(work, "x.wav")], 2, "name the file *.mp4"),
        ("Matroska named .mp4", ["--lossless", "--output", os.path.join(work, "y.mp4")], 2, "name the file *.mkv"),
        ("an MP4 named .mkv", ["--output", os.path.join(work, "z.mkv")], 2, "name the file *.mp4"),
        ("a still named .mp4", ["--still", "1", "--output", os.path.join(work, "s.mp4")], 2, "name the file *.png"),
        ("a size of 0", ["--size", "0x0", "--output", os.path.join(work, "zero.mp4")], 2, "--size"),
        ("an unknown option", ["--frobnicate", "--output", os.path.join(work, "unknown.mp4")], 2,
         "unknown option --frobnicate"),
    ]
    for rule, arguments, expected_status, message in rows:
        status, output, errors = run([tool, *arguments])
        lines = errors.strip().splitlines()
        print(f"{rule}: status {status}: {errors.strip()}")
        if status != expected_status or len(lines) != 1 or message not in lines[0] or output:
            fail(f"{rule}: expected status {expected_status} and one line with '{message}'")
    left = sorted(os.listdir(work))
    if left != ["a-folder"] or os.listdir(folder):
        fail(f"files left behind: {left}")
    print("every refusal was one line and left no file")


SMALL_CAPTURE = ["--size", "64x36", "--seconds", "0.1", "--lossless"]


def check_outputs(tool, work):
    existing = os.path.join(work, "existing.mkv")
    with open(existing, "wb") as file:
        file.write(b"keep me")
    status, _, errors = run([tool, *SMALL_CAPTURE, "--output", existing])
    if status != 1 or "exists; --force replaces it" not in errors or open(existing, "rb").read() != b"keep me":
        fail(f"an existing file without --force: status {status}: {errors.strip()}")
    capture(tool, *SMALL_CAPTURE, "--force", "--output", existing)
    if open(existing, "rb").read(4) != b"\x1a\x45\xdf\xa3":
        fail("--force did not replace the file with a Matroska capture")
    print("an existing file is replaced only with --force")

    # The link is followed: the file it names gets the capture, the link stays a link.
    target, link = os.path.join(work, "named.mkv"), os.path.join(work, "link.mkv")
    os.symlink("named.mkv", link)
    capture(tool, *SMALL_CAPTURE, "--output", link)
    if not os.path.islink(link) or os.path.getsize(target) == 0:
        fail("writing through a link replaced the link or left its file empty")
    print("a link is followed and stays a link")

    # A null device node of our own: written into, still a device afterwards.
    null = os.path.join(work, "null")
    os.mknod(null, 0o666 | stat.S_IFCHR, os.makedev(1, 3))
    capture(tool, *SMALL_CAPTURE, "--output", null)
    if not stat.S_ISCHR(os.lstat(null).st_mode):
        fail("the device node was replaced")
    pipe = os.path.join(work, "pipe")
    os.mkfifo(pipe)
    received = []
    reader = threading.Thread(target=lambda: received.append(open(pipe, "rb").read()))
    reader.start()
    capture(tool, *SMALL_CAPTURE, "--output", pipe)
    reader.join(timeout=60)
    if not stat.S_ISFIFO(os.lstat(pipe).st_mode) or not received or received[0][:4] != b"\x1a\x45\xdf\xa3":
        fail("the pipe was replaced or did not carry the capture")
    left = sorted(name for name in os.listdir(work) if name.startswith("."))
    if left:
        fail(f"temporary files left behind: {left}")
    print("a device node and a pipe are written into and stay what they are")


def main():
    group, tool, xm2wav, song, work = sys.argv[1:6]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    if group == "lossless":
        check_lossless(tool, xm2wav, song, work)
    elif group == "mp4":
        check_mp4(tool, work)
    elif group == "bad_input":
        check_bad_input(tool, work)
    elif group == "outputs":
        check_outputs(tool, work)
    else:
        fail(f"no test group {group}")


if __name__ == "__main__":
    main()
