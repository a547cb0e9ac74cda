#!/usr/bin/python3
"""Checks the GStreamer plugin against xm2wav.

usage:
  gstreamer_checks.py element --build-dir DIR --check PROGRAM --song SONG [--cache DIR]
  gstreamer_checks.py plugin --build-dir DIR --song SONG --plugin-version VERSION [--cache DIR]

element: the element, registered statically in PROGRAM (gst_decoder_check,
sanitizer builds included): damaged and foreign files end in an error on the
bus and a failure status, never a crash; the properties act as the
library's settings; a flushing accurate seek to 30 s
gives the bytes `xm2wav --start 30` gives, and one with a stop ends there; playbin plays a real song to EOS.

plugin: the built plugin (DIR/gstreamer) as applications load it:
gst-inspect-1.0 finds the element and the type finder; gst-launch-1.0
through decodebin gives exactly xm2wav's bytes for the embedded song and every
real song, 16-bit at 44,100 Hz and 48,000 Hz and float at 48,000 Hz;
gst-discoverer-1.0 reports the one-pass duration `xm2wav --info` prints (within
1 ms) and the title; gst-launch-1.0 fails on damaged and foreign files.

Every GStreamer program runs with a registry of its own in a temporary folder.
The real songs come from scripts/fetch-real-songs.sh; without the Debian
archive only the embedded song is checked (and playbin plays that).
"""

import argparse
import concurrent.futures
import os
import pathlib
import re
import subprocess
import sys
import tempfile

REPOSITORY = pathlib.Path(__file__).resolve().parents[2]
SKIP_STATUS = 77
# (rule, the check's seek argument, the xm2wav options giving the same bytes) per row.
SEEK_ROWS = [
    ("a flushing accurate seek to 30 s gives xm2wav --start's bytes", "30", ["--start", "30"]),
    ("a seek's stop ends the stream there, to the frame", "30:40", ["--start", "30", "--seconds", "10"]),
]
# (format caps, rate, xm2wav options) per output the plugin is compared in.
OUTPUTS = [
    ("S16LE", "44100", []),
    ("S16LE", "48000", ["--rate", "48000"]),
    ("F32LE", "48000", ["--float", "--rate", "48000"]),
]
DURATION_TOLERANCE_SECONDS = 0.001
TITLE_AT = 17
TITLE_LENGTH = 20
# A 3 GiB file, sparse: larger than the largest song the library loads.
TOO_LARGE_BYTES = 3 << 30
TIMEOUT_SECONDS = 600
# The test holds both cores (PROCESSORS 2 in CMake).
WORKERS = 2


def damaged_files(song_bytes):
    """(rule, bytes or a size to make sparse, expected status, text the error must hold) per row."""
    header_size_at = 60
    channels_at = 68

    def patched(offset, value):
        data = bytearray(song_bytes)
        data[offset:offset + len(value)] = value
        return bytes(data)

    return [
        ("a text file is no song: decodebin fails", b"just some words\n" * 8, 1, "text file"),
        ("bytes of no known kind: no type, decodebin fails", bytes(range(7, 256, 3)) * 4, 1, "determine type"),
        ("an empty file fails", b"", 1, ""),
        ("a song cut inside its header: the library's message", song_bytes[:100], 1, "damaged beyond use"),
        ("an absurd header size: the library's message", patched(header_size_at, b"\xf0\xff\xff\xff"), 1,
         "damaged beyond use"),
        ("no channels: the library's message", patched(channels_at, b"\x00\x00"), 1, "damaged beyond use"),
        ("a song cut short after its header plays what it has", song_bytes[:336], 0, ""),
        ("a file larger than the library loads is refused before it is read", TOO_LARGE_BYTES, 1, "2 GiB"),
    ]


def middle_only(data):
    samples = memoryview(data).cast("h")
    return None if data and samples[0::2] == samples[1::2] else "left and right differ"


def silent(data):
    return None if data and not any(data) else "not silent"


# (rule, decoder properties, xm2wav options whose bytes it must give, or a check of the bytes) per row.
PROPERTY_ROWS = [
    ("rules=intro with repeat-count=1 gives xm2wav --rules intro --loops 2", ["rules=intro", "repeat-count=1"],
     ["--rules", "intro", "--loops", "2"]),
    ("stereo-separation=0 plays every channel in the middle", ["stereo-separation=0"], middle_only),
    ("master-gain=0 silences the mix", ["master-gain=0"], silent),
    ("interpolation=sinc gives xm2wav --interpolation sinc", ["interpolation=sinc"], ["--interpolation", "sinc"]),
]


def write_case(path, content, song_bytes):
    if isinstance(content, int):
        with open(path, "wb") as file:
            file.write(song_bytes[:336])
            file.truncate(content)
    else:
        path.write_bytes(content)


def gst_environment(work, plugin_dir=None):
    environment = dict(os.environ)
    environment["GST_REGISTRY"] = str(work / "registry.bin")
    environment.pop("GST_PLUGIN_PATH_1_0", None)
    if plugin_dir is None:
        environment.pop("GST_PLUGIN_PATH", None)
    else:
        environment["GST_PLUGIN_PATH"] = str(plugin_dir)
    return environment


def run(command, environment):
    return subprocess.run([str(part) for part in command], env=environment, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, text=True, errors="replace", timeout=TIMEOUT_SECONDS)


def real_songs(cache):
    fetch = subprocess.run([str(REPOSITORY / "scripts" / "fetch-real-songs.sh"), str(cache)],
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if fetch.returncode == SKIP_STATUS:
        print("note: the real-song set is not available (Debian archive unreachable); embedded song only")
        return []
    if fetch.returncode != 0:
        print(fetch.stdout, end="")
        raise SystemExit(f"fetch-real-songs.sh exited with {fetch.returncode}")
    return sorted((pathlib.Path(cache) / "songs").glob("*.xm"))


class Report:
    def __init__(self):
        self.failures = 0

    def check(self, rule, failure):
        """failure: None when the rule holds, else why not."""
        self.failures += failure is not None
        print(("ok   " if failure is None else "FAIL ") + rule + ("" if failure is None else f": {failure}"))


def crashed(result):
    return result.returncode < 0 or "Sanitizer" in result.stderr


def expected_raw(xm2wav, song, options, output, environment):
    result = run([xm2wav, "--force", "--raw", *options, song, output], environment)
    return None if result.returncode == 0 else f"xm2wav failed: {result.stderr.strip()}"


def same_bytes(ours, theirs):
    a, b = pathlib.Path(ours).read_bytes(), pathlib.Path(theirs).read_bytes()
    if a == b:
        return None
    first = next((index for index, (x, y) in enumerate(zip(a, b)) if x != y), min(len(a), len(b)))
    return f"{len(a)} bytes against xm2wav's {len(b)}, first difference at byte {first}"


def check_element(arguments, report, work):
    environment = gst_environment(work)
    song_bytes = pathlib.Path(arguments.song).read_bytes()
    for rule, content, status, text in damaged_files(song_bytes):
        case = work / "case.xm"
        write_case(case, content, song_bytes)
        result = run([arguments.check, "decode", case, work / "case.raw", "S16LE", "44100"], environment)
        failure = None
        if crashed(result):
            failure = f"crashed (status {result.returncode}): {result.stderr[-2000:]}"
        elif result.returncode != status or text not in result.stderr:
            failure = f"status {result.returncode}, expected {status} and '{text}': {result.stderr.strip()}"
        report.check(rule, failure)
        case.unlink()

    xm2wav = pathlib.Path(arguments.build_dir) / "xm2wav"
    for rule, properties, expected in PROPERTY_ROWS:
        ours, theirs = work / "properties.raw", work / "properties.expected.raw"
        result = run([arguments.check, "decode", arguments.song, ours, "S16LE", "44100", "-", *properties],
                     environment)
        if result.returncode != 0:
            failure = result.stderr.strip()
        elif callable(expected):
            failure = expected(ours.read_bytes())
        else:
            failure = expected_raw(xm2wav, arguments.song, expected, theirs, environment) or same_bytes(ours, theirs)
        report.check(rule, failure)

    songs = real_songs(arguments.cache)
    for song in [pathlib.Path(arguments.song)] + songs[:1]:
        for rule, seek, options in SEEK_ROWS:
            ours, theirs = work / "seek.raw", work / "seek.expected.raw"
            failure = expected_raw(xm2wav, song, options, theirs, environment)
            if failure is None:
                result = run([arguments.check, "decode", song, ours, "S16LE", "44100", seek], environment)
                failure = result.stderr.strip() if result.returncode != 0 else same_bytes(ours, theirs)
            report.check(f"{rule}: {song.name}", failure)

    played = songs[0] if songs else pathlib.Path(arguments.song)
    result = run([arguments.check, "play", played], environment)
    report.check(f"playbin with fake sinks plays to EOS: {played.name}",
                 None if result.returncode == 0 else result.stderr.strip())


def check_discovered(report, xm2wav, song, environment, expected_title=None):
    """gst-discoverer-1.0's duration and tags against xm2wav --info's."""
    info = run([xm2wav, "--info", song], environment).stdout
    expected_seconds = float(re.search(r"one pass, ([0-9.]+) s", info).group(1))
    expected = {
        "title": expected_title or re.search(r"^title: *(.*)$", info, re.MULTILINE).group(1),
        "encoder": re.search(r"^tracker: *(.*)$", info, re.MULTILINE).group(1),
        "extended comment": "channels=" + re.search(r"^channels: *(\d+)", info, re.MULTILINE).group(1),
    }
    result = run(["gst-discoverer-1.0", "-v", song], environment)
    duration = re.search(r"Duration: (\d+):(\d+):([0-9.]+)", result.stdout)
    seconds = int(duration.group(1)) * 3600 + int(duration.group(2)) * 60 + float(duration.group(3)) \
        if duration else None
    failure = None
    if seconds is None or abs(seconds - expected_seconds) > DURATION_TOLERANCE_SECONDS:
        failure = f"duration {seconds} s, xm2wav --info says {expected_seconds} s"
    for tag, value in expected.items():
        found = re.search(rf"^ *{tag}: (.*)$", result.stdout, re.MULTILINE)
        if failure is None and value and (found is None or found.group(1) != value):
            failure = f"{tag} {found.group(1) if found else None!r}, expected {value!r}"
    report.check(f"gst-discoverer-1.0 reports the one-pass duration, title, tracker and channels: {song.name}",
                 failure)


def check_plugin(arguments, report, work):
    build = pathlib.Path(arguments.build_dir)
    environment = gst_environment(work, build / "gstreamer")
    # Without a version, --exists asks for GStreamer's own (1.22), which our plugin's is not.
    result = run(["gst-inspect-1.0", "--exists", f"--atleast-version={arguments.plugin_version}", "intromusicdec"],
                 environment)
    report.check("gst-inspect-1.0 --exists finds the element", None if result.returncode == 0 else result.stderr)
    result = run(["gst-inspect-1.0", "intromusic"], environment)
    listed = result.returncode == 0 and re.search(r"intromusic_xm: xm", result.stdout) and \
        "1 typefinders" in result.stdout
    report.check("gst-inspect-1.0 lists the element and the XM type finder",
                 None if listed else result.stdout + result.stderr)

    xm2wav = build / "xm2wav"
    songs = [pathlib.Path(arguments.song)] + real_songs(arguments.cache)

    def decoded(index_and_song):
        """(rule, failure) per output for one song, in a folder of its own."""
        index, song = index_and_song
        ours, theirs = work / f"ours-{index}.raw", work / f"xm2wav-{index}.raw"
        rows = []
        for caps_format, rate, options in OUTPUTS:
            failure = expected_raw(xm2wav, song, options, theirs, environment)
            if failure is None:
                result = run(["gst-launch-1.0", "-q", "filesrc", f"location={song}", "!", "decodebin", "!",
                              "audioconvert", "!", f"audio/x-raw,format={caps_format},rate={rate},channels=2", "!",
                              "filesink", f"location={ours}"], environment)
                failure = result.stdout + result.stderr if result.returncode != 0 else same_bytes(ours, theirs)
            rows.append((f"decodebin gives xm2wav's bytes in {caps_format} at {rate} Hz: {song.name}", failure))
            ours.unlink(missing_ok=True)
            theirs.unlink(missing_ok=True)
        return rows

    # Each render is one process on one core: two songs at a time.
    with concurrent.futures.ThreadPoolExecutor(max_workers=WORKERS) as pool:
        for song, rows in zip(songs, pool.map(decoded, enumerate(songs))):
            for rule, failure in rows:
                report.check(rule, failure)
            check_discovered(report, xm2wav, song, environment)

    # Titles are bytes from the tracker's code page; tags are UTF-8.
    latin_title = work / "latin-title.xm"
    song_bytes = bytearray(pathlib.Path(arguments.song).read_bytes())
    song_bytes[TITLE_AT:TITLE_AT + TITLE_LENGTH] = "Café ©2026".encode("cp1252").ljust(TITLE_LENGTH, b" ")
    latin_title.write_bytes(song_bytes)
    check_discovered(report, xm2wav, latin_title, environment, "Café ©2026")

    song_bytes = pathlib.Path(arguments.song).read_bytes()
    for rule, content, status, text in damaged_files(song_bytes):
        if content == b"":
            continue  # gst-launch-1.0 1.22 hangs after typefind's error on an empty file, before any decoder
        case = work / "case.xm"
        write_case(case, content, song_bytes)
        result = run(["gst-launch-1.0", "filesrc", f"location={case}", "!", "decodebin", "!", "fakesink", "sync=false"],
                     environment)
        failure = None
        if crashed(result):
            failure = f"crashed (status {result.returncode})"
        elif (result.returncode != 0) != (status != 0) or text not in result.stdout + result.stderr:
            failure = f"status {result.returncode}, expected {'failure' if status else 'success'} and '{text}'"
        report.check(f"gst-launch-1.0: {rule}", failure)
        case.unlink()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("mode", choices=["element", "plugin"])
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--check", help="gst_decoder_check (element mode)")
    parser.add_argument("--plugin-version", default="0", help="the project's version (plugin mode)")
    parser.add_argument("--song", required=True, help="the embedded song, build/assets/song.xm")
    parser.add_argument("--cache", default=str(REPOSITORY / ".cache" / "real-songs"))
    arguments = parser.parse_args()
    report = Report()
    with tempfile.TemporaryDirectory(prefix="gstreamer-checks-") as folder:
        (check_element if arguments.mode == "element" else check_plugin)(arguments, report, pathlib.Path(folder))
    print(f"{report.failures} failed" if report.failures else "all passed")
    return 1 if report.failures else 0


if __name__ == "__main__":
    sys.exit(main())
