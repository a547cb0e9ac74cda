"""Renders a song with our engine (xm2wav, under either rule set) and with the
reference players (reference_render), and checks the WAV files they write.
Shared by the real-song tests, the small-module comparisons and the fidelity
report."""

import os
import pathlib
import subprocess
import sys
import wave

SAMPLE_RATE = 44100
CHANNELS = 2
SAMPLE_BYTES = 2
# Our renders may end on a mixing block boundary (884 frames).
LENGTH_SLACK_FRAMES = 884
SANITIZER_MARKERS = ("Sanitizer", "runtime error:")
REFERENCE_PLAYERS = ("libxmp", "libopenmpt")
# xm2wav --rules: the tracker's behaviour and the presentation's own rules.
RULE_SETS = ("tracker", "intro")


def require_tool(build_dir, name):
    """Returns the tool's path; exits with a failure when it is not built."""
    tool = pathlib.Path(build_dir).resolve() / name
    if not os.access(tool, os.X_OK):
        print(f"FAILED: {tool} is missing; build the '{name}' target first")
        sys.exit(1)
    return tool


def run_tool(command):
    """Runs a renderer; returns an error text or None."""
    result = subprocess.run([str(part) for part in command], stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True, errors="replace")
    output = result.stdout.strip()
    if result.returncode != 0:
        return f"exit status {result.returncode}: {output[-2000:]}"
    if any(marker in output for marker in SANITIZER_MARKERS):
        return f"sanitizer report: {output[-2000:]}"
    return None


def check_wav(path, seconds):
    """Checks the format, the length and that there is sound; returns an error text or None."""
    try:
        with wave.open(str(path), "rb") as wav:
            if (wav.getframerate(), wav.getnchannels(), wav.getsampwidth()) != (SAMPLE_RATE, CHANNELS, SAMPLE_BYTES):
                return (f"format {wav.getframerate()} Hz, {wav.getnchannels()} channels, "
                        f"{8 * wav.getsampwidth()} bits; expected 44100 Hz 16-bit stereo")
            frame_count = wav.getnframes()
            data = wav.readframes(frame_count)
    except (wave.Error, EOFError, OSError) as error:
        return f"not a readable WAV: {error}"
    expected = round(seconds * SAMPLE_RATE)
    if abs(frame_count - expected) >= LENGTH_SLACK_FRAMES or len(data) != frame_count * CHANNELS * SAMPLE_BYTES:
        return f"{frame_count} frames, expected {expected}"
    if not any(data):
        return "the render is silent"
    return None


def ours_command(xm2wav, song, output, seconds, rules=None):
    """xm2wav's command line; rules None keeps its default rule set."""
    rule_option = [] if rules is None else ["--rules", rules]
    return [xm2wav, *rule_option, "--force", "--seconds", seconds, song, output]


def reference_command(reference_render, player, song, output, seconds):
    return [reference_render, "--player", player, "--seconds", seconds, song, output]


def render(command, output, seconds, require_sound=True):
    """Runs a render command and checks its WAV; returns an error text or None."""
    error = run_tool(command)
    if error is None:
        error = check_wav(output, seconds)
        if error == "the render is silent" and not require_sound:
            error = None
    return error
