#!/usr/bin/python3
"""Spectrogram similarity of two 16-bit PCM WAV files.

usage: spectral_similarity.py FIRST.wav SECOND.wav

Both files are mixed to mono and cut to the shorter length; each gets a
2048-point STFT (Hann window, hop 1024). Magnitudes are scaled so that each
spectrogram's loudest bin is 0 dB (levels normalised: a player's overall gain
does not count), taken in dB and floored at -80 dB. The printed figure is the
Pearson correlation of the two log spectrograms over all bins and frames:
1 for the same sound, about 0.4 for unrelated music.
"""

import sys
import wave

import numpy as np

WINDOW_LENGTH = 2048
HOP_LENGTH = 1024
FLOOR_DECIBELS = -80.0


def read_mono(path):
    """Returns the file's samples as one float channel (mean of its channels)."""
    with wave.open(path, "rb") as wav:
        if wav.getsampwidth() != 2:
            raise ValueError(f"{path}: only 16-bit PCM is supported")
        channels = wav.getnchannels()
        frames = wav.readframes(wav.getnframes())
    samples = np.frombuffer(frames, dtype="<i2").astype(np.float64)
    return samples.reshape(-1, channels).mean(axis=1), wav.getframerate()


def read_sides(path):
    """Returns the left and right channels of a stereo file as float arrays."""
    with wave.open(path, "rb") as wav:
        if wav.getsampwidth() != 2 or wav.getnchannels() != 2:
            raise ValueError(f"{path}: only 16-bit stereo PCM is supported")
        frames = wav.readframes(wav.getnframes())
    samples = np.frombuffer(frames, dtype="<i2").astype(np.float64).reshape(-1, 2)
    return samples[:, 0], samples[:, 1]


def log_spectrogram(samples):
    """Level-normalised log magnitude, one row per frame."""
    if len(samples) < WINDOW_LENGTH:
        samples = np.pad(samples, (0, WINDOW_LENGTH - len(samples)))
    frame_count = 1 + (len(samples) - WINDOW_LENGTH) // HOP_LENGTH
    starts = np.arange(frame_count) * HOP_LENGTH
    frames = samples[starts[:, None] + np.arange(WINDOW_LENGTH)[None, :]]
    magnitude = np.abs(np.fft.rfft(frames * np.hanning(WINDOW_LENGTH), axis=1))
    peak = magnitude.max()
    if peak <= 0:
        return np.full(magnitude.shape, FLOOR_DECIBELS)
    floor = 10.0 ** (FLOOR_DECIBELS / 20.0)
    return 20.0 * np.log10(np.maximum(magnitude / peak, floor))


def prepared(samples):
    """The centred log spectrogram and its spread: worked out once for a
    signal that is compared with several others."""
    centred = log_spectrogram(samples).ravel()
    centred -= centred.mean()
    return centred, np.sqrt((centred * centred).sum())


def prepared_similarity(first, second):
    """similarity() of two prepared() signals of equal length."""
    (a, a_spread), (b, b_spread) = first, second
    spread = a_spread * b_spread
    if spread == 0:
        # A flat spectrogram (silence) only matches another flat one.
        return 1.0 if not a.any() and not b.any() else 0.0
    return float((a * b).sum() / spread)


def similarity(first, second):
    """Pearson correlation of the two log spectrograms (equal-length inputs)."""
    return prepared_similarity(prepared(first), prepared(second))


def main(arguments):
    if len(arguments) != 3:
        print("usage: spectral_similarity.py FIRST.wav SECOND.wav", file=sys.stderr)
        return 2
    first, first_rate = read_mono(arguments[1])
    second, second_rate = read_mono(arguments[2])
    if first_rate != second_rate:
        print(f"sample rates differ: {first_rate} and {second_rate}", file=sys.stderr)
        return 2
    length = min(len(first), len(second))
    print(f"{similarity(first[:length], second[:length]):.4f}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
