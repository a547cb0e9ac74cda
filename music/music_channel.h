// The replayer's state of one pattern channel.
#pragma once

#include <cstdint>

#include "periods.h"
#include "song.h"

namespace intro_music::engine {

struct MixerVoice;

enum UpdateFlag : uint8_t {
    UpdateFrequency = 1,
    UpdateVolume = 2,
    UpdatePanning = 4,
    StartSample = 8,
    // Volume or panning set outright (not slid) on this tick: the tracker's
    // gliding ramps take the short ramp for it.
    VolumeSet = 0x10,
    ResetPosition = 0x20,
    StopVoice = 0x40,  // the note starts silent: nothing sounds until the next note
};

struct MusicChannel {
    uint8_t note;
    uint8_t updateFlags;
    MixerVoice* voice;
    Sample* sample;
    int32_t period;
    int32_t volume;
    int32_t panning;
    int32_t volumeOffset;
    int32_t periodOffset;
    int32_t volumeEnvelopeTick, volumeEnvelopePoint, volumeEnvelopeValue, volumeEnvelopeOutput, volumeEnvelopeSlope;
    uint8_t volumeEnvelopeFinished;
    int32_t panningEnvelopeTick, panningEnvelopePoint, panningEnvelopeValue, panningEnvelopeOutput,
        panningEnvelopeSlope;
    uint8_t panningEnvelopeFinished;
    int32_t fadeoutVolume;
    int32_t autoVibratoPosition, autoVibratoSweep;
    uint8_t autoVibratoSwept;  // the tracker's sweep has reached the full depth
    uint8_t keyOff;
    uint8_t instrument;
    uint8_t realNote;
    int32_t notePeriod;
    int32_t finetune;  // of the note last started
    uint8_t lastEffect;
    int32_t sampleOffsetMemory;
    uint8_t portaDownMemory, portaUpMemory, extraFinePortaDownMemory, extraFinePortaUpMemory;
    uint8_t volumeSlideMemory, panningSlideMemory, retrigVolumeMode, retrigInterval;
    int32_t tonePortaTarget;
    uint8_t tonePortaReachedFromAbove;  // the tracker's glide came down onto its target
    uint8_t tonePortaSpeed;
    int8_t vibratoPosition;
    uint8_t vibratoSpeed, vibratoDepth;
    int8_t tremoloPosition;
    uint8_t tremoloSpeed, tremoloDepth;
    uint8_t tremorCounter, tremorOnTicks, tremorOffTicks;
    uint8_t tremorParameter;  // the tracker's tremor memory
    int32_t heardGlobalVolume;  // the global volume in the voice's volume
    int32_t patternLoopRow, patternLoopCount;
    uint8_t waveformControl;
    uint8_t glissando;  // E3x: the tracker's tone portamento plays whole notes
    uint8_t fineVolumeSlideMemory, finePortaUpMemory, finePortaDownMemory;
    uint8_t fineVolumeDownMemory;  // the tracker's own memory for EBx
    // Most ticks leave the pitch alone: they skip the power and the divisions.
    PitchMemo pitchMemo;
};

}  // namespace intro_music::engine
