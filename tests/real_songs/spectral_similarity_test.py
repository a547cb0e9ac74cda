#!/usr/bin/python3
"""Checks the spectrogram similarity on signals whose answer is known."""

import pathlib
import sys
import tempfile
import unittest
import wave

import numpy as np

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "scripts"))
import spectral_similarity  # noqa: E402

RATE = 44100
SECONDS = 2


def tone(frequency, amplitude=8000.0):
    time = np.arange(RATE * SECONDS) / RATE
    return amplitude * np.sin(2 * np.pi * frequency * time)


def melody(frequencies):
    """Consecutive tones of equal length, so the spectrum changes over time."""
    parts = np.array_split(np.arange(RATE * SECONDS), len(frequencies))
    return np.concatenate([8000.0 * np.sin(2 * np.pi * f * part / RATE) for f, part in zip(frequencies, parts)])


def write_stereo(path, left, right):
    frames = np.stack([left, right], axis=1).round().clip(-32768, 32767).astype("<i2")
    with wave.open(str(path), "wb") as wav:
        wav.setnchannels(2)
        wav.setsampwidth(2)
        wav.setframerate(RATE)
        wav.writeframes(frames.tobytes())


class SpectralSimilarityTest(unittest.TestCase):
    def test_identical_sound_scores_one(self):
        """The same signal has similarity 1."""
        song = melody([220, 330, 440, 550])
        self.assertAlmostEqual(spectral_similarity.similarity(song, song), 1.0, places=6)

    def test_overall_gain_does_not_count(self):
        """Levels are normalised: a quieter copy still scores 1."""
        song = melody([220, 330, 440, 550])
        self.assertAlmostEqual(spectral_similarity.similarity(song, song * 0.25), 1.0, places=6)

    def test_different_notes_score_lower(self):
        """Other notes in the same rhythm score clearly below 1."""
        first = melody([220, 330, 440, 550])
        second = melody([550, 440, 330, 220])
        self.assertLess(spectral_similarity.similarity(first, second), 0.8)

    def test_silence_matches_only_silence(self):
        """A flat spectrogram gives 1 against silence and 0 against sound, never a division by zero."""
        silence = np.zeros(RATE * SECONDS)
        self.assertEqual(spectral_similarity.similarity(silence, silence), 1.0)
        self.assertEqual(spectral_similarity.similarity(silence, tone(440)), 0.0)

    def test_stereo_is_compared_as_mono_mix(self):
        """Swapping left and right (a panning convention) does not change the figure."""
        left, right = tone(440), melody([220, 660])
        with tempfile.TemporaryDirectory() as folder:
            straight = pathlib.Path(folder) / "straight.wav"
            swapped = pathlib.Path(folder) / "swapped.wav"
            write_stereo(straight, left, right)
            write_stereo(swapped, right, left)
            first, _ = spectral_similarity.read_mono(str(straight))
            second, _ = spectral_similarity.read_mono(str(swapped))
        self.assertAlmostEqual(spectral_similarity.similarity(first, second), 1.0, places=6)

    def test_shorter_than_one_window(self):
        """A render shorter than one STFT window is padded, not rejected."""
        short = tone(440)[:1000]
        self.assertAlmostEqual(spectral_similarity.similarity(short, short), 1.0, places=6)


if __name__ == "__main__":
    unittest.main()
