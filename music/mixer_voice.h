// One resampling voice of the software mixer; an engine's voice table holds
// voiceTableSize of them, and the replayer hands notes to them.
#pragma once

#include <cstdint>

namespace intro_music::engine {

struct Sample;
struct Song;

inline constexpr int32_t mixRate = 44100;
inline constexpr int voiceTableSize = 256;
inline constexpr int mixedVoiceCount = 64;
inline constexpr int partnerVoiceDistance = 32;  // channel c plays on voice c or c + 32

enum VoiceDirection : int32_t { DirectionForward = 1, DirectionBackward = 2 };

struct MixerVoice {
    int32_t index;
    int32_t volumeCopy;
    int32_t frequency;
    int32_t panCopy;
    int32_t volume;  // 0..127
    int32_t pan;     // 0..255
    uint32_t startOffset;
    Sample* sample;  // null: idle
    int32_t leftTarget;
    int32_t rightTarget;
    int32_t position;
    uint32_t positionFraction;
    uint32_t stepFraction;
    int32_t stepInteger;
    int32_t direction;
    // Nonzero once the voice has passed its loop's end: the long filters
    // then hear the loop's end before its start (sample_seams.h).
    int32_t looped;
    int32_t lastLeftTarget;
    int32_t lastRightTarget;
    int32_t leftVolume;  // 8.8
    int32_t rightVolume;
    float leftRampDelta;
    float rightRampDelta;
    int32_t rampRemaining;
    // A running ramp's gains, carried exactly from pass to pass with the
    // tracker's ramps: however the frames are cut into passes, the ramp is the
    // same. The presentation's ramps start each pass from the 8.8 volumes.
    float leftRampGain;
    float rightRampGain;
    // Nonzero for a tick whose volume or panning the song set outright
    // (the replayer's VolumeSet): that change takes the short ramp.
    int32_t volumeSet;
};

inline constexpr int32_t lowestOutputRate = 8000;
inline constexpr int32_t highestOutputRate = 192000;

// Stores bpm and sets framesPerTick = floor(rate x 5 / (2 x bpm x tempo
// factor)) for the song's output rate (bpm 0 is treated as 1): 110250 / bpm
// at 44.1 kHz.
void setTempo(Song* song, int32_t bpm);

}  // namespace intro_music::engine
