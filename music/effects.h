// The effect column of a cell: what each effect does on the first tick of a
// row and on every later tick, plus the motion routines that the volume
// column shares (tone portamento, vibrato, tremolo, tremor).
#pragma once

#include <cstdint>

#include "music_channel.h"
#include "song.h"

namespace intro_music::engine {

inline constexpr int32_t maxChannelVolume = 64;
inline constexpr int32_t maxChannelPanning = 255;
inline constexpr int32_t maxGlobalVolume = 64;

// Effect numbers that the row processing itself looks at.
enum EffectNumber : uint8_t {
    EffectTonePortamento = 3,
    EffectTonePortamentoVolumeSlide = 5,
    EffectTremolo = 7,
    EffectExtended = 14,
    EffectKeyOff = 20,
};

// One channel's view of the tick being processed.
struct ChannelTick {
    Song* song;
    MusicChannel* channel;
    const Cell* cell;        // an empty cell outside the pattern
    Instrument* instrument;  // resolved from the channel's instrument (emptyInstrument if missing)
    Sample* sample;          // resolved from the instrument's sample map (emptySample if missing)
    // First tick only: the row's position-jump flag and the channel's volume,
    // period and panning as they were before the row (for the note delay).
    bool* positionJump;
    int32_t rememberedVolume;
    int32_t rememberedPeriod;
    int32_t rememberedPanning;
};

void applyEffectFirstTick(ChannelTick& tick);
void applyEffectLaterTick(ChannelTick& tick);

// Aims a tone portamento set up on this row at the row's note. By the
// tracker's rules only a note beside it aims; without one the glide goes on
// toward its last target, whatever notes played since.
void aimAtRowNote(ChannelTick& tick);
// Moves the period towards tonePortaTarget by 4 x tonePortaSpeed; by the
// tracker's rules a channel no portamento has aimed yet does not glide.
void tonePortamentoStep(MusicChannel& channel, const Song& song);
// With the tracker's glissando on (E31), a tone portamento sounds the note
// nearest its slid period: sets the channel's period offset to reach it.
void snapToGlissandoNote(MusicChannel& channel, const Song& song);
// Sets periodOffset from the vibrato waveform; does not move the position.
void vibratoStep(MusicChannel& channel, const Song& song);
// Moves the vibrato position by its speed, wrapping within -32..31.
void advanceVibrato(MusicChannel& channel);
// Sets volumeOffset from the tremolo waveform and moves the tremolo position.
void tremoloStep(MusicChannel& channel, const Song& song);
// Silences the channel in the off phase of its tremor cycle and counts on.
void tremorStep(MusicChannel& channel);

// The tracker's tremor state (in tremorCounter): used since the last
// instrument, its phase and the ticks left in the phase.
inline constexpr uint8_t tremorUsed = 0x80;
inline constexpr uint8_t tremorOnPhase = 0x40;
inline constexpr uint8_t tremorHeldByInstrument = 0x20;
inline constexpr uint8_t tremorPhaseMask = 0xE0;
// The tracker's tremor mutes a note in its off phase, whatever the row plays
// now, until an instrument number comes.
inline bool tremorMutes(const MusicChannel& channel) {
    return (channel.tremorCounter & tremorPhaseMask) == tremorUsed;
}

// Keeps a period moved by an unbounded slide within a range where every
// later sum stays far from int32 overflow (far outside audible pitches).
int32_t limitSlidPeriod(int64_t period);
// The same for a panning moved by an unbounded slide.
int32_t limitSlidPanning(int64_t panning);

}  // namespace intro_music::engine
