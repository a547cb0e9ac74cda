#include "effects.h"

#include <algorithm>
#include <cstdint>

#include "envelopes.h"
#include "mixer_voice.h"
#include "periods.h"
#include "replayer.h"
#include "tracker_pitch.h"
#include "volume_column.h"
#include "waveforms.h"

namespace intro_music::engine {

namespace {

constexpr int32_t effectCount = 34;          // effect numbers 0..33; higher ones do nothing
constexpr int32_t extendedEffectCount = 16;  // sub-effects of effect 14, by the high nibble
constexpr int32_t nibbleShift = 4;
constexpr int32_t nibbleMask = 0x0F;

constexpr int32_t periodSlideScale = 4;   // portamento parameters move the period in units of 4
constexpr int32_t minimumSlidPeriod = 56;  // portamento up stops here
constexpr int32_t slidPeriodLimit = 1 << 28;
constexpr int32_t slidPanningLimit = 1 << 28;

constexpr int32_t vibratoDepthDivisor = 32;
constexpr int32_t vibratoOffsetMask = ~3;  // the vibrato offset moves in whole period units of 4
constexpr int32_t tremoloDepthDivisor = 64;
constexpr int32_t squareWaveValue = 255;
enum Waveform : int32_t { WaveformSine = 0, WaveformRamp = 1, WaveformSquare = 2 };
constexpr int32_t waveformSelectMask = 3;
constexpr int32_t waveformNibbleMask = 0x0F;
constexpr int32_t tremoloWaveformShift = 4;

constexpr int32_t arpeggioPhases = 3;
constexpr int32_t sampleOffsetUnit = 256;  // frames per unit of the sample-offset parameter
constexpr int32_t breakRowTens = 10;       // the break row is written in decimal digits
constexpr int32_t lastBreakRow = 63;
constexpr int32_t speedTempoBoundary = 32;  // set-speed parameters below this are speeds
constexpr int32_t panningNibbleStep = 16;

using EffectHandler = void (*)(ChannelTick&);

int32_t parameter(const ChannelTick& tick) { return tick.cell->parameter; }
int32_t highNibble(const ChannelTick& tick) { return tick.cell->parameter >> nibbleShift; }
int32_t lowNibble(const ChannelTick& tick) { return tick.cell->parameter & nibbleMask; }

void remember(uint8_t& memory, int32_t value) {
    if (value != 0) memory = static_cast<uint8_t>(value);
}

void clearFlags(MusicChannel& channel, uint8_t flags) { channel.updateFlags &= static_cast<uint8_t>(~flags); }

int32_t limitVolume(int32_t volume) { return std::clamp(volume, 0, maxChannelVolume); }

// Slide by volumeSlideMemory: the high nibble raises, else the low nibble lowers.
void volumeSlide(MusicChannel& channel) {
    const int32_t up = channel.volumeSlideMemory >> nibbleShift;
    const int32_t down = channel.volumeSlideMemory & nibbleMask;
    if (up != 0) {
        channel.volume = std::min(channel.volume + up, maxChannelVolume);
    } else {
        channel.volume = std::max(channel.volume - down, 0);
    }
    channel.updateFlags |= UpdateVolume;
}

void doNothing(ChannelTick&) {}

// The tracker's arpeggio phase: a 16-entry table read at the ticks left in
// the row; past its end the table runs into the vibrato table, whose first
// entry is 0 and whose others pick the low nibble.
int32_t trackerArpeggioPhase(const Song& song) {
    constexpr int32_t tableLength = 16;
    const int32_t speed = std::max(song.speed, 1);
    const int32_t ticksLeft = speed - song.tick % speed;
    if (ticksLeft < tableLength) return ticksLeft % arpeggioPhases;
    return ticksLeft == tableLength ? 0 : 2;
}

// Effect 0: arpeggio, cycling through the note and two semitone offsets.
void arpeggio(ChannelTick& tick) {
    if (parameter(tick) == 0) return;
    MusicChannel& channel = *tick.channel;
    const int32_t phase = tick.song->rules.arpeggioTable ? trackerArpeggioPhase(*tick.song)
                                                        : tick.song->tick % arpeggioPhases;
    const int32_t semitones = phase == 0 ? 0 : (phase == 1 ? highNibble(tick) : lowNibble(tick));
    if (semitones == 0) {
        channel.periodOffset = 0;
    } else if (tick.song->rules.arpeggioTable) {
        channel.periodOffset = trackerArpeggioPeriod(usesLinearPeriods(tick.song), channel.period, channel.finetune,
                                                     semitones, tick.song->playsFinetuneLowBits) -
                               channel.period;
    } else if (usesLinearPeriods(tick.song)) {
        channel.periodOffset = linearSemitoneUnits * semitones;
    } else {
        const int32_t finetune = tick.sample->finetune;
        channel.periodOffset =
            amigaPeriod(channel.realNote + semitones, finetune) - amigaPeriod(channel.realNote, finetune);
    }
    channel.updateFlags |= UpdateFrequency;
}

// Effects 1 and 2: portamento up and down.
void rememberPortamentoUp(ChannelTick& tick) { remember(tick.channel->portaUpMemory, parameter(tick)); }
void rememberPortamentoDown(ChannelTick& tick) { remember(tick.channel->portaDownMemory, parameter(tick)); }

void portamentoUp(ChannelTick& tick) {
    MusicChannel& channel = *tick.channel;
    const int32_t lowest = tick.song->rules.trackerPitch ? trackerMinimumPeriod : minimumSlidPeriod;
    channel.period = std::max(channel.period - periodSlideScale * channel.portaUpMemory, lowest);
    channel.periodOffset = 0;
    channel.updateFlags |= UpdateFrequency;
}

void portamentoDown(ChannelTick& tick) {
    MusicChannel& channel = *tick.channel;
    channel.period = limitSlidPeriod(static_cast<int64_t>(channel.period) + periodSlideScale * channel.portaDownMemory);
    channel.periodOffset = 0;
    channel.updateFlags |= UpdateFrequency;
}

// Effects 3 and 5: glide to the row's note instead of starting it.
void aimTonePortamento(ChannelTick& tick) {
    aimAtRowNote(tick);
    clearFlags(*tick.channel, StartSample | UpdateFrequency);
}

void setUpTonePortamento(ChannelTick& tick) {
    constexpr uint8_t volumeColumnPortamento = 0xF0;
    const bool volumeColumnFirst = tick.song->rules.volumeColumnPortamento &&
                                   (tick.cell->volume & volumeColumnPortamento) == volumeColumnPortamento;
    if (!volumeColumnFirst) remember(tick.channel->tonePortaSpeed, parameter(tick));
    aimTonePortamento(tick);
    snapToGlissandoNote(*tick.channel, *tick.song);
}

void tonePortamento(ChannelTick& tick) {
    tick.channel->periodOffset = 0;
    tonePortamentoStep(*tick.channel, *tick.song);
    snapToGlissandoNote(*tick.channel, *tick.song);
}

void setUpTonePortamentoVolumeSlide(ChannelTick& tick) {
    aimTonePortamento(tick);
    snapToGlissandoNote(*tick.channel, *tick.song);
    remember(tick.channel->volumeSlideMemory, parameter(tick));
}

void tonePortamentoVolumeSlide(ChannelTick& tick) {
    tonePortamento(tick);
    volumeSlide(*tick.channel);
}

// Effects 4 and 6: vibrato (and volume slide).
void setUpVibrato(ChannelTick& tick) {
    remember(tick.channel->vibratoSpeed, highNibble(tick));
    remember(tick.channel->vibratoDepth, lowNibble(tick));
    vibratoStep(*tick.channel, *tick.song);
}

void vibrato(ChannelTick& tick) {
    vibratoStep(*tick.channel, *tick.song);
    advanceVibrato(*tick.channel);
}

void setUpVibratoVolumeSlide(ChannelTick& tick) {
    remember(tick.channel->volumeSlideMemory, parameter(tick));
    vibratoStep(*tick.channel, *tick.song);
}

void vibratoVolumeSlide(ChannelTick& tick) {
    vibrato(tick);
    volumeSlide(*tick.channel);
}

// Effect 7: tremolo.
void setUpTremolo(ChannelTick& tick) {
    remember(tick.channel->tremoloSpeed, highNibble(tick));
    remember(tick.channel->tremoloDepth, lowNibble(tick));
    // The tracker sets the volume on the first tick too, where the wave is, without moving on.
    if (tick.song->rules.tremoloOnFirstTick) {
        const int8_t position = tick.channel->tremoloPosition;
        tremoloStep(*tick.channel, *tick.song);
        tick.channel->tremoloPosition = position;
    }
}

void tremolo(ChannelTick& tick) { tremoloStep(*tick.channel, *tick.song); }

// Effect 8: set panning.
void setPanning(ChannelTick& tick) {
    tick.channel->panning = parameter(tick);
    tick.channel->updateFlags |= UpdatePanning | VolumeSet;
}

// The tracker's sample offset: only for a note that starts; one past the
// sample (or its loop) leaves the note silent.
void trackerSampleOffset(ChannelTick& tick) {
    MusicChannel& channel = *tick.channel;
    if ((channel.updateFlags & StartSample) == 0) return;
    if (parameter(tick) != 0) channel.sampleOffsetMemory = parameter(tick);
    const uint64_t offset = static_cast<uint64_t>(sampleOffsetUnit) * channel.sampleOffsetMemory;
    const Sample& sample = *tick.sample;
    const bool looped = (sample.loopType & (LoopForward | LoopPingPong)) != 0 && sample.loopLength > 0;
    const uint64_t loopEnd = static_cast<uint64_t>(sample.loopStart) + sample.loopLength;
    if (offset >= sample.length || (looped && offset >= loopEnd)) {
        channel.updateFlags |= StopVoice;
    } else if (channel.voice != nullptr) {
        channel.voice->startOffset = static_cast<uint32_t>(offset);
    }
}

// Effect 9: sample offset; an offset past the loop end restarts the playing voice instead.
void sampleOffset(ChannelTick& tick) {
    if (tick.song->rules.offsetOnlyWithNote) {
        trackerSampleOffset(tick);
        return;
    }
    MusicChannel& channel = *tick.channel;
    if (parameter(tick) != 0) channel.sampleOffsetMemory = parameter(tick);
    const uint32_t offset = static_cast<uint32_t>(sampleOffsetUnit * channel.sampleOffsetMemory);
    const uint64_t loopEnd = static_cast<uint64_t>(tick.sample->loopStart) + tick.sample->loopLength;
    if (offset < loopEnd) {
        if (channel.voice != nullptr) channel.voice->startOffset = offset;
    } else {
        clearFlags(channel, StartSample);
        channel.updateFlags |= ResetPosition;
    }
}

// Effects 10 and 5/6 share the volume slide memory.
void rememberVolumeSlide(ChannelTick& tick) { remember(tick.channel->volumeSlideMemory, parameter(tick)); }
void slideVolume(ChannelTick& tick) { volumeSlide(*tick.channel); }

// Effect 11: position jump to row 0 of an order.
void positionJump(ChannelTick& tick) {
    Song& song = *tick.song;
    if (song.rules.trackerPatternFlow) {
        song.jumpOrder = parameter(tick);
        song.breakRow = 0;
        song.patternJumpDue = 1;
        return;
    }
    song.nextRow = 0;
    song.nextOrder = parameter(tick) < song.songLength ? parameter(tick) : 0;
    if (tick.positionJump != nullptr) *tick.positionJump = true;
}

// Effect 12: set volume (not limited).
void setVolume(ChannelTick& tick) {
    tick.channel->volume = parameter(tick);
    tick.channel->updateFlags |= UpdateVolume | VolumeSet;
}

// Effect 13: pattern break to a row of the next order (or of the jump's order).
void patternBreak(ChannelTick& tick) {
    Song& song = *tick.song;
    const int32_t row = breakRowTens * highNibble(tick) + lowNibble(tick);
    if (song.rules.trackerPatternFlow) {
        song.breakRow = row > lastBreakRow ? 0 : row;
        song.patternJumpDue = 1;
        return;
    }
    song.nextRow = row > lastBreakRow ? 0 : row;
    if (tick.positionJump == nullptr || !*tick.positionJump) song.nextOrder = song.orderPosition + 1;
    if (song.nextOrder >= song.songLength) song.nextOrder = 0;
}

// Effect 15: speed below 32, tempo from 32 on.
void setSpeedOrTempo(ChannelTick& tick) {
    if (parameter(tick) < speedTempoBoundary) {
        tick.song->speed = parameter(tick);
    } else {
        setTempo(tick.song, parameter(tick));
    }
}

// Effects 16 and 17: global volume.
void setGlobalVolume(ChannelTick& tick) {
    tick.song->globalVolume = std::min(parameter(tick), maxGlobalVolume);
    tick.channel->updateFlags |= UpdateVolume;
}

void rememberGlobalVolumeSlide(ChannelTick& tick) { remember(tick.song->globalVolumeSlideMemory, parameter(tick)); }

void globalVolumeSlide(ChannelTick& tick) {
    Song& song = *tick.song;
    const int32_t up = song.globalVolumeSlideMemory >> nibbleShift;
    const int32_t down = song.globalVolumeSlideMemory & nibbleMask;
    if (up != 0) {
        song.globalVolume = std::min(song.globalVolume + up, maxGlobalVolume);
    } else if (down != 0) {
        song.globalVolume = std::max(song.globalVolume - down, 0);
    }
}

// Effect 20: with the tracker's rules, key-off on the parameter's tick.
void keyOffOnTick(ChannelTick& tick) {
    constexpr int32_t tickMask = 31;
    if (!tick.song->rules.keyOffAtItsTick || (parameter(tick) & tickMask) != tick.song->tick) return;
    releaseNote(*tick.channel, *tick.instrument, *tick.song);
}

// Effect 21: set the volume envelope position. The tracker moves the panning
// envelope too, but only when the volume envelope's sustain is on.
void setEnvelopePosition(ChannelTick& tick) {
    const Instrument& instrument = *tick.instrument;
    setVolumeEnvelopePosition(*tick.channel, instrument, parameter(tick));
    const bool volumeSustainOn = (instrument.volumeEnvelopeFlags & EnvelopeSustain) != 0;
    if (tick.song->rules.envelopePositionMovesPanning && volumeSustainOn) {
        setPanningEnvelopePosition(*tick.channel, instrument, parameter(tick));
    }
}

// Effect 25: panning slide.
void rememberPanningSlide(ChannelTick& tick) {
    if (parameter(tick) == 0) return;
    tick.channel->panningSlideMemory = static_cast<uint8_t>(parameter(tick));
    tick.channel->updateFlags |= UpdatePanning;
}

void panningSlide(ChannelTick& tick) {
    MusicChannel& channel = *tick.channel;
    const int32_t right = channel.panningSlideMemory >> nibbleShift;
    const int32_t left = channel.panningSlideMemory & nibbleMask;
    if (right != 0) {
        channel.panning = std::min(channel.panning + right, maxChannelPanning);
    } else if (left != 0) {
        channel.panning = std::max(channel.panning - left, 0);
    }
    channel.updateFlags |= UpdatePanning;
}

// Effect 27: multi retrigger with a volume change.
enum RetriggerVolumeMode : int32_t {
    RetriggerKeepVolume = 0,
    RetriggerTwoThirds = 6,
    RetriggerHalf = 7,
    RetriggerUnchanged = 8,
    RetriggerThreeHalves = 14,
    RetriggerDouble = 15,
};
constexpr int32_t retriggerVolumeSteps[16] = {0, -1, -2, -4, -8, -16, 0, 0, 0, 1, 2, 4, 8, 16, 0, 0};
constexpr int32_t retriggerModeMask = 0x0F;

void rememberMultiRetrigger(ChannelTick& tick) {
    if (parameter(tick) == 0) return;
    tick.channel->retrigInterval = static_cast<uint8_t>(lowNibble(tick));
    tick.channel->retrigVolumeMode = static_cast<uint8_t>(highNibble(tick));
}

int32_t retriggeredVolume(int32_t volume, int32_t mode) {
    switch (mode) {
        case RetriggerTwoThirds: return volume * 2 / 3;
        case RetriggerHalf: return volume >> 1;
        case RetriggerThreeHalves: return volume * 3 / 2;
        case RetriggerDouble: return volume * 2;
        default: return volume + retriggerVolumeSteps[mode & retriggerModeMask];
    }
}

void multiRetrigger(ChannelTick& tick) {
    MusicChannel& channel = *tick.channel;
    if (channel.retrigInterval == 0 || tick.song->tick % channel.retrigInterval != 0) return;
    if (channel.retrigVolumeMode != RetriggerKeepVolume) {
        channel.volume = limitVolume(retriggeredVolume(channel.volume, channel.retrigVolumeMode));
        channel.updateFlags |= UpdateVolume;
    }
    channel.updateFlags |= StartSample;
}

// The tracker's tremor on a tick after the first: the count runs down, and
// when it runs out the phase switches and the parameter gives the new count.
void trackerTremor(ChannelTick& tick) {
    MusicChannel& channel = *tick.channel;
    uint8_t& state = channel.tremorCounter;
    state &= static_cast<uint8_t>(~tremorHeldByInstrument);
    if (state == tremorUsed) {
        state = static_cast<uint8_t>(tremorUsed | tremorOnPhase | (channel.tremorParameter >> nibbleShift));
    } else if (state == (tremorUsed | tremorOnPhase)) {
        state = static_cast<uint8_t>(tremorUsed | (channel.tremorParameter & nibbleMask));
    } else {
        state -= 1;
    }
    channel.updateFlags |= UpdateVolume;
}

// Effect 29: tremor.
void setUpTremor(ChannelTick& tick) {
    MusicChannel& channel = *tick.channel;
    if (tick.song->rules.trackerTremor) {
        remember(channel.tremorParameter, parameter(tick));
        channel.tremorCounter |= tremorUsed;
        return;
    }
    if (parameter(tick) != 0) {
        channel.tremorOnTicks = static_cast<uint8_t>(highNibble(tick) + 1);
        channel.tremorOffTicks = static_cast<uint8_t>(lowNibble(tick) + 1);
    }
    tremorStep(channel);
}

void tremor(ChannelTick& tick) {
    if (tick.song->rules.trackerTremor) {
        trackerTremor(tick);
    } else {
        tremorStep(*tick.channel);
    }
}

// Effect 33: extra fine portamento, one period unit per step.
enum ExtraFineDirection : int32_t { ExtraFineUp = 1, ExtraFineDown = 2 };

void extraFinePortamento(ChannelTick& tick) {
    MusicChannel& channel = *tick.channel;
    if (highNibble(tick) == ExtraFineUp) {
        remember(channel.extraFinePortaUpMemory, lowNibble(tick));
        channel.period = limitSlidPeriod(static_cast<int64_t>(channel.period) - channel.extraFinePortaUpMemory);
    } else if (highNibble(tick) == ExtraFineDown) {
        remember(channel.extraFinePortaDownMemory, lowNibble(tick));
        channel.period = limitSlidPeriod(static_cast<int64_t>(channel.period) + channel.extraFinePortaDownMemory);
    }
}

// Effect 14/1 and 14/2: fine portamento, once on the first tick.
void finePortamentoUp(ChannelTick& tick) {
    MusicChannel& channel = *tick.channel;
    remember(channel.finePortaUpMemory, lowNibble(tick));
    channel.period =
        limitSlidPeriod(static_cast<int64_t>(channel.period) - periodSlideScale * channel.finePortaUpMemory);
}

void finePortamentoDown(ChannelTick& tick) {
    MusicChannel& channel = *tick.channel;
    remember(channel.finePortaDownMemory, lowNibble(tick));
    channel.period =
        limitSlidPeriod(static_cast<int64_t>(channel.period) + periodSlideScale * channel.finePortaDownMemory);
}

// Effect 14/3: glissando on (x > 0) or off, with the tracker's rules.
void setGlissando(ChannelTick& tick) {
    if (tick.song->rules.trackerGlissando) tick.channel->glissando = lowNibble(tick) != 0 ? 1 : 0;
}

// Effects 14/4 and 14/7: waveform and retrigger bit of vibrato and tremolo.
void setVibratoWaveform(ChannelTick& tick) {
    MusicChannel& channel = *tick.channel;
    channel.waveformControl =
        static_cast<uint8_t>((channel.waveformControl & ~waveformNibbleMask) | lowNibble(tick));
}

void setTremoloWaveform(ChannelTick& tick) {
    MusicChannel& channel = *tick.channel;
    channel.waveformControl = static_cast<uint8_t>((channel.waveformControl & waveformNibbleMask) |
                                                   (lowNibble(tick) << tremoloWaveformShift));
}

// Effect 14/5: set the finetune of the sample itself. The shared empty
// sample stays all zero.
void setFinetune(ChannelTick& tick) {
    if (tick.sample == &emptySample || tick.song->rules.finetuneOnChannel) return;
    tick.sample->finetune = static_cast<int8_t>(lowNibble(tick));
}

// Effect 14/6: pattern loop.
void patternLoop(ChannelTick& tick) {
    MusicChannel& channel = *tick.channel;
    const int32_t count = lowNibble(tick);
    if (count == 0) {
        channel.patternLoopRow = tick.song->row;
        return;
    }
    if (channel.patternLoopCount == 0) {
        channel.patternLoopCount = count;
    } else {
        channel.patternLoopCount -= 1;
    }
    if (channel.patternLoopCount == 0) return;
    if (tick.song->rules.trackerPatternFlow) {
        tick.song->breakRow = channel.patternLoopRow;
        tick.song->loopJumpDue = 1;
    } else {
        tick.song->nextRow = channel.patternLoopRow;
    }
}

// Effect 14/8: coarse panning.
void setPanningNibble(ChannelTick& tick) {
    tick.channel->panning = panningNibbleStep * lowNibble(tick);
    tick.channel->updateFlags |= UpdatePanning | VolumeSet;
}

// Effect 14/9: retrigger every y ticks.
void retrigger(ChannelTick& tick) {
    const int32_t interval = lowNibble(tick);
    if (interval == 0 || tick.song->tick % interval != 0) return;
    if (tick.song->rules.retriggerRestartsNote) {
        if (restartNote(tick.song, *tick.channel, tick.channel->note)) restartEnvelopes(*tick.channel);
        return;
    }
    tick.channel->updateFlags |= StartSample | UpdateFrequency | UpdateVolume;
}

// Effects 14/10 and 14/11: fine volume slide with a shared memory.
void fineVolumeUp(ChannelTick& tick) {
    MusicChannel& channel = *tick.channel;
    remember(channel.fineVolumeSlideMemory, lowNibble(tick));
    channel.volume = std::min(channel.volume + channel.fineVolumeSlideMemory, maxChannelVolume);
    channel.updateFlags |= UpdateVolume;
}

void fineVolumeDown(ChannelTick& tick) {
    MusicChannel& channel = *tick.channel;
    uint8_t& memory =
        tick.song->rules.separateFineVolumeMemories ? channel.fineVolumeDownMemory : channel.fineVolumeSlideMemory;
    remember(memory, lowNibble(tick));
    channel.volume = std::max(channel.volume - memory, 0);
    channel.updateFlags |= UpdateVolume;
}

// Effect 14/12: note cut on tick y.
void noteCut(ChannelTick& tick) {
    if (lowNibble(tick) != tick.song->tick) return;
    tick.channel->volume = 0;
    tick.channel->updateFlags |= UpdateVolume;
}

// Effect 14/13: note delay; the row's note starts on tick y instead of tick 0.
constexpr uint8_t delayedNoteFlags = StartSample | UpdateFrequency | UpdateVolume | UpdatePanning;

void holdDelayedNote(ChannelTick& tick) {
    // The tracker holds a delayed cell back before its effects run; ED0 is no delay at all.
    if (tick.song->rules.trackerNoteDelay) return;
    MusicChannel& channel = *tick.channel;
    channel.volume = tick.rememberedVolume;
    channel.period = tick.rememberedPeriod;
    channel.panning = tick.rememberedPanning;
    clearFlags(channel, delayedNoteFlags);
}

// The tracker's delayed cell, on its tick: the note (or the last one, or a
// key-off), the volume only with an instrument, the envelopes always.
void startTrackerDelayedNote(ChannelTick& tick) {
    constexpr uint8_t setVolumeFirst = 0x10, setVolumeLast = 0x50, panningFirst = 0xC0, panningLast = 0xCF;
    constexpr int32_t panningStep = 16;
    MusicChannel& channel = *tick.channel;
    const Song& song = *tick.song;
    if (lowNibble(tick) != song.tick || lowNibble(tick) >= song.speed) return;
    const Cell& cell = *tick.cell;
    const bool keyOff = cell.note == keyOffNote;
    if (keyOff) {
        releaseNote(channel, *tick.instrument, song);
    } else if (cell.note != 0 || channel.sample != nullptr) {
        restartNote(tick.song, channel, cell.note != 0 ? static_cast<uint8_t>(cell.note - 1) : channel.note);
    }
    if (cell.instrument != 0) resetVolumeAndPanning(channel, channel.sample);
    restartEnvelopes(channel);
    if (cell.volume >= setVolumeFirst && cell.volume <= setVolumeLast) {
        channel.volume = cell.volume - setVolumeFirst;
        channel.updateFlags |= UpdateVolume | VolumeSet;
    } else if (cell.volume >= panningFirst && cell.volume <= panningLast) {
        // Beside a delayed key-off the panning waits for the next panning update.
        channel.panning = panningStep * (cell.volume & nibbleMask);
        if (!keyOff) channel.updateFlags |= UpdatePanning | VolumeSet;
    }
}

void startDelayedNote(ChannelTick& tick) {
    if (tick.song->rules.trackerNoteDelay) {
        startTrackerDelayedNote(tick);
        return;
    }
    MusicChannel& channel = *tick.channel;
    if (lowNibble(tick) != tick.song->tick) {
        clearFlags(channel, delayedNoteFlags);
        return;
    }
    resetChannel(&channel, tick.sample);
    channel.period = channel.notePeriod;
    channel.updateFlags |= UpdateFrequency;
    if (tick.cell->volume != 0) applyVolumeColumnFirstTick(tick);
    channel.updateFlags |= StartSample;
}

// Effect 14/14: pattern delay, the row lasts speed x (y + 1) ticks.
void patternDelay(ChannelTick& tick) { tick.song->patternDelayTicks = tick.song->speed * lowNibble(tick); }

constexpr EffectHandler extendedFirstTickHandlers[extendedEffectCount] = {
    doNothing,        finePortamentoUp,  finePortamentoDown, setGlissando,
    setVibratoWaveform, setFinetune,     patternLoop,        setTremoloWaveform,
    setPanningNibble, doNothing,         fineVolumeUp,       fineVolumeDown,
    doNothing,        holdDelayedNote,   patternDelay,       doNothing,
};

constexpr EffectHandler extendedLaterTickHandlers[extendedEffectCount] = {
    doNothing, doNothing, doNothing, doNothing, doNothing, doNothing, doNothing, doNothing,
    doNothing, retrigger, doNothing, doNothing, noteCut,   startDelayedNote, doNothing, doNothing,
};

void extendedFirstTick(ChannelTick& tick) { extendedFirstTickHandlers[highNibble(tick)](tick); }
void extendedLaterTick(ChannelTick& tick) { extendedLaterTickHandlers[highNibble(tick)](tick); }

constexpr EffectHandler firstTickHandlers[effectCount] = {
    doNothing,                       // 0 arpeggio
    rememberPortamentoUp,            // 1
    rememberPortamentoDown,          // 2
    setUpTonePortamento,             // 3
    setUpVibrato,                    // 4
    setUpTonePortamentoVolumeSlide,  // 5
    setUpVibratoVolumeSlide,         // 6
    setUpTremolo,                    // 7
    setPanning,                      // 8
    sampleOffset,                    // 9
    rememberVolumeSlide,             // 10
    positionJump,                    // 11
    setVolume,                       // 12
    patternBreak,                    // 13
    extendedFirstTick,               // 14
    setSpeedOrTempo,                 // 15
    setGlobalVolume,                 // 16
    rememberGlobalVolumeSlide,       // 17
    doNothing,                       // 18
    doNothing,                       // 19
    doNothing,                       // 20 key-off: taken by the row processing
    setEnvelopePosition,             // 21
    doNothing,                       // 22
    doNothing,                       // 23
    doNothing,                       // 24
    rememberPanningSlide,            // 25
    doNothing,                       // 26
    rememberMultiRetrigger,          // 27
    doNothing,                       // 28
    setUpTremor,                     // 29
    doNothing,                       // 30
    doNothing,                       // 31
    doNothing,                       // 32
    extraFinePortamento,             // 33
};

constexpr EffectHandler laterTickHandlers[effectCount] = {
    arpeggio,                   // 0
    portamentoUp,               // 1
    portamentoDown,             // 2
    tonePortamento,             // 3
    vibrato,                    // 4
    tonePortamentoVolumeSlide,  // 5
    vibratoVolumeSlide,         // 6
    tremolo,                    // 7
    doNothing,                  // 8
    doNothing,                  // 9
    slideVolume,                // 10
    doNothing,                  // 11
    doNothing,                  // 12
    doNothing,                  // 13
    extendedLaterTick,          // 14
    doNothing,                  // 15
    doNothing,                  // 16
    globalVolumeSlide,          // 17
    doNothing,                  // 18
    doNothing,                  // 19
    keyOffOnTick,               // 20
    doNothing,                  // 21
    doNothing,                  // 22
    doNothing,                  // 23
    doNothing,                  // 24
    panningSlide,               // 25
    doNothing,                  // 26
    multiRetrigger,             // 27
    doNothing,                  // 28
    tremor,                     // 29
    doNothing,                  // 30
    doNothing,                  // 31
    doNothing,                  // 32
    doNothing,                  // 33
};

// Waveform value 0..255 at a vibrato or tremolo position.
int32_t waveformValue(int32_t waveform, int32_t position) {
    switch (waveform) {
        case WaveformSine: return sineWaveValue(position);
        case WaveformRamp: return rampWaveValue(position);
        default: return squareWaveValue;
    }
}

int8_t advancedPosition(int8_t position, uint8_t speed) {
    int32_t moved = position + speed;
    if (moved > waveformPositionMaximum) moved -= waveformPositionCount;
    return static_cast<int8_t>(moved);
}

}  // namespace

void applyEffectFirstTick(ChannelTick& tick) {
    if (tick.cell->effect < effectCount) firstTickHandlers[tick.cell->effect](tick);
}

void applyEffectLaterTick(ChannelTick& tick) {
    if (tick.cell->effect < effectCount) laterTickHandlers[tick.cell->effect](tick);
}

void aimAtRowNote(ChannelTick& tick) {
    const bool rowHasNote = tick.cell->note != 0 && tick.cell->note != keyOffNote;
    if (rowHasNote || !tick.song->rules.portamentoTargetOnlyWithNote) {
        tick.channel->tonePortaTarget = tick.channel->notePeriod;
        tick.channel->tonePortaReachedFromAbove = 0;
    }
}

void tonePortamentoStep(MusicChannel& channel, const Song& song) {
    if (song.rules.portamentoTargetOnlyWithNote && channel.tonePortaTarget == 0) return;
    const int32_t step = periodSlideScale * channel.tonePortaSpeed;
    // The tracker keeps the way its glide went: once it came down onto its
    // target, it only climbs to it, and from a period above it that is a jump.
    const bool climbsOnly = song.rules.reachedPortamentoJumps && channel.tonePortaReachedFromAbove != 0;
    if (channel.period < channel.tonePortaTarget || climbsOnly) {
        channel.period = static_cast<int32_t>(
            std::min<int64_t>(static_cast<int64_t>(channel.period) + step, channel.tonePortaTarget));
    } else if (channel.period > channel.tonePortaTarget) {
        channel.period = static_cast<int32_t>(
            std::max<int64_t>(static_cast<int64_t>(channel.period) - step, channel.tonePortaTarget));
        if (channel.period == channel.tonePortaTarget) channel.tonePortaReachedFromAbove = 1;
    }
    channel.updateFlags |= UpdateFrequency;
}

void snapToGlissandoNote(MusicChannel& channel, const Song& song) {
    if (!song.rules.trackerGlissando || channel.glissando == 0) return;
    channel.periodOffset = trackerArpeggioPeriod(usesLinearPeriods(&song), channel.period, channel.finetune, 0,
                                                 song.playsFinetuneLowBits) -
                           channel.period;
    channel.updateFlags |= UpdateFrequency;
}

void vibratoStep(MusicChannel& channel, const Song& song) {
    const int32_t position = channel.vibratoPosition;
    const int32_t value = waveformValue(channel.waveformControl & waveformSelectMask, position);
    const int32_t fullDepth = (value * channel.vibratoDepth) / vibratoDepthDivisor;
    const int32_t depth = song.rules.vibratoFullDepth ? fullDepth : fullDepth & vibratoOffsetMask;
    // The tracker's offsets add to the period: its vibrato first lowers the pitch.
    const bool firstHalf = position >= 0;
    channel.periodOffset = firstHalf == song.rules.trackerPitch ? depth : -depth;
    channel.updateFlags |= UpdateFrequency;
}

void advanceVibrato(MusicChannel& channel) {
    channel.vibratoPosition = advancedPosition(channel.vibratoPosition, channel.vibratoSpeed);
}

void tremoloStep(MusicChannel& channel, const Song& song) {
    const int32_t position = channel.tremoloPosition;
    int32_t waveform = (channel.waveformControl >> tremoloWaveformShift) & waveformSelectMask;
    if (waveform == waveformSelectMask) waveform = WaveformSine;  // the fourth tremolo waveform is the sine
    // The tracker's tremolo ramp reads the vibrato's half of the wave.
    const int32_t value = waveform == WaveformRamp && song.rules.tremoloRampFollowsVibrato
                              ? rampWaveValueTurnedBy(position, channel.vibratoPosition)
                              : waveformValue(waveform, position);
    const int32_t depth = (value * channel.tremoloDepth) / tremoloDepthDivisor;
    if (position >= 0) {
        channel.volumeOffset = channel.volume + depth > maxChannelVolume ? maxChannelVolume - channel.volume : depth;
    } else {
        channel.volumeOffset = channel.volume - depth < 0 ? -channel.volume : -depth;
    }
    channel.tremoloPosition = advancedPosition(channel.tremoloPosition, channel.tremoloSpeed);
    channel.updateFlags |= UpdateVolume;
}

void tremorStep(MusicChannel& channel) {
    if (channel.tremorCounter >= channel.tremorOnTicks) channel.volumeOffset = -channel.volume;
    channel.tremorCounter += 1;
    // A counter already past a shortened cycle restarts too.
    if (channel.tremorCounter >= channel.tremorOnTicks + channel.tremorOffTicks) channel.tremorCounter = 0;
    channel.updateFlags |= UpdateVolume;
}

int32_t limitSlidPeriod(int64_t period) {
    return static_cast<int32_t>(std::clamp<int64_t>(period, -slidPeriodLimit, slidPeriodLimit));
}

int32_t limitSlidPanning(int64_t panning) {
    return static_cast<int32_t>(std::clamp<int64_t>(panning, -slidPanningLimit, slidPanningLimit));
}

}  // namespace intro_music::engine
