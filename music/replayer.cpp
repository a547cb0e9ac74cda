#include "replayer.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "effects.h"
#include "envelopes.h"
#include "mixer.h"
#include "mixer_voice.h"
#include "music_engine.h"
#include "periods.h"
#include "tracker_pitch.h"
#include "volume_column.h"

namespace intro_music::engine {

namespace {

// An order that names no stored pattern walks like the loader's stand-in for
// a missing pattern: 64 rows.
constexpr int32_t missingPatternRowCount = 64;
constexpr uint8_t lastNote = 254;  // cell notes 1..254 start a note; 255 is key-off
constexpr int32_t noteIndexMask = 255;  // the played note wraps within 0..255
constexpr int32_t centrePanning = 128;
constexpr int32_t panningEnvelopeStepDivisor = 32;  // the envelope swing shrinks towards the edges
constexpr int32_t maxFinalPanning = 255;
constexpr int32_t voiceGainRange = 255;  // voice targets are volume x (255 - pan) / 255 and volume x pan / 255
// Final volume: 64 x 64 x 65536 x 64 x finalVolumeScale = 127.5 at full scale.
constexpr float finalVolumeScale = 255.0f / 34359738368.0f;  // 255 x 2^-35 in single precision

// waveformControl: vibrato waveform in the low nibble, tremolo in the high one.
constexpr uint8_t vibratoWaveformMask = 0x0F;
constexpr int32_t tremoloWaveformShift = 4;
constexpr int32_t keepPositionWaveform = 4;

const Cell emptyCell{};

int32_t activeChannelCount(const Song* song) { return std::clamp<int32_t>(song->channelCount, 0, maxChannels); }

const Pattern* patternAtOrder(const Song* song, int32_t orderPosition) {
    if (song->patterns == nullptr || orderPosition < 0 || orderPosition >= orderTableSize) return nullptr;
    const int32_t number = song->orderTable[orderPosition];
    if (number >= song->patternSlotCount) return nullptr;
    return &song->patterns[number];
}

int32_t rowCountAtOrder(const Song* song, int32_t orderPosition) {
    const Pattern* pattern = patternAtOrder(song, orderPosition);
    return pattern != nullptr ? pattern->rowCount : missingPatternRowCount;
}

// The cells of the current row. Null when the pattern has no cells at all;
// a row outside the pattern reads as empty cells (rowIsEmpty).
const Cell* currentRowCells(const Song* song, bool* rowIsEmpty) {
    *rowIsEmpty = false;
    const Pattern* pattern = patternAtOrder(song, song->orderPosition);
    if (pattern == nullptr || pattern->cells == nullptr) return nullptr;
    if (song->row < 0 || song->row >= pattern->rowCount || song->channelCount <= 0) {
        *rowIsEmpty = true;
        return &emptyCell;
    }
    return pattern->cells + static_cast<int64_t>(song->row) * song->channelCount;
}

const Cell* channelCell(const Cell* rowCells, bool rowIsEmpty, int32_t channel) {
    return rowIsEmpty ? &emptyCell : &rowCells[channel];
}

bool isNote(uint8_t note) { return note >= 1 && note <= lastNote; }

bool isTonePortamento(const Cell* cell, const PlaybackRules& rules) {
    constexpr uint8_t volumeColumnPortamento = 0xF0;
    if (rules.volumeColumnPortamento && (cell->volume & volumeColumnPortamento) == volumeColumnPortamento) return true;
    return cell->effect == EffectTonePortamento || cell->effect == EffectTonePortamentoVolumeSlide;
}

struct ResolvedInstrument {
    Instrument* instrument;
    Sample* sample;
    bool known;  // the channel's instrument exists in the song
};

// Instrument and sample that the channel's instrument and note select.
ResolvedInstrument resolveInstrument(Song* song, const MusicChannel& channel) {
    if (channel.instrument >= song->instrumentCount || song->instruments == nullptr) {
        return {&emptyInstrument, &emptySample, false};
    }
    Instrument* instrument = &song->instruments[channel.instrument];
    Sample* sample = &emptySample;
    // Notes past the sample map (invalid cell notes) select no sample.
    if (channel.note < sampleMapSize) {
        const uint8_t slot = instrument->sampleMap[channel.note];
        if (slot < maxSamplesPerInstrument && instrument->samples[slot] != nullptr) sample = instrument->samples[slot];
    }
    return {instrument, sample, true};
}

// The finetune a new note plays with: the sample's, or with the tracker's
// rules an E5x beside the note (E50 lowest, E58 none, E5F highest).
int32_t noteFinetune(const Song& song, const Cell& cell, const Sample& sample) {
    constexpr uint8_t setFinetuneCommand = 0x50;
    constexpr int32_t finetuneStep = 16;
    constexpr int32_t finetuneBias = 128;
    const bool setFinetune = cell.effect == EffectExtended && (cell.parameter & 0xF0) == setFinetuneCommand;
    if (!song.rules.finetuneOnChannel || !setFinetune) return sample.finetune;
    return (cell.parameter & 0x0F) * finetuneStep - finetuneBias;
}

bool isPlayableNote(int32_t realNote) { return realNote >= 0 && realNote < playableNoteCount; }

constexpr uint8_t noteDelayCommand = 0xD0;
constexpr uint8_t retriggerCommand = 0x90;
constexpr uint8_t commandMask = 0xF0;

bool isExtended(const Cell& cell, uint8_t command) {
    return cell.effect == EffectExtended && (cell.parameter & commandMask) == command;
}

// EDx with x > 0: the tracker holds the whole cell back until tick x.
bool isHeldByNoteDelay(const Cell& cell) {
    return isExtended(cell, noteDelayCommand) && (cell.parameter & ~commandMask) != 0;
}

bool isImmediateKeyOff(const Cell& cell) { return cell.effect == EffectKeyOff && cell.parameter == 0; }

// The first tick of a row whose cell waits for its note delay: only the
// instrument number is taken; envelopes and auto-vibrato go on.
void holdCellForNoteDelay(MusicEngine& engine, Song* song, MusicChannel& channel, const Cell& cell) {
    if (cell.instrument != 0) channel.instrument = static_cast<uint8_t>(cell.instrument - 1);
    if (channel.lastEffect == EffectTremolo) channel.volume += channel.volumeOffset;
    channel.lastEffect = cell.effect;
    channel.volumeOffset = 0;
    channel.periodOffset = 0;
    channel.updateFlags = UpdateFrequency | UpdateVolume;
    const ResolvedInstrument resolved = resolveInstrument(song, channel);
    stepEnvelopesAndFadeout(channel, *resolved.instrument, false);
    autoVibratoStep(channel, *resolved.instrument, song->rules);
    applyChannelToVoice(engine, &channel, channel.sample, song);
}

void processChannelRow(MusicEngine& engine, Song* song, MusicChannel& channel, const Cell* cell, bool* positionJump) {
    const PlaybackRules& rules = song->rules;
    if (rules.trackerNoteDelay && isHeldByNoteDelay(*cell)) {
        holdCellForNoteDelay(engine, song, channel, *cell);
        return;
    }
    Cell adjusted;
    if (rules.keyOffAtItsTick && isImmediateKeyOff(*cell) && isNote(cell->note)) {
        adjusted = *cell;  // K00 ignores the note beside it
        adjusted.note = 0;
        cell = &adjusted;
    } else if (rules.retriggerRestartsNote && cell->effect == EffectExtended && cell->parameter == retriggerCommand &&
               cell->note == 0 && channel.sample != nullptr) {
        adjusted = *cell;  // E90 plays the channel's last note again
        adjusted.note = static_cast<uint8_t>(channel.note + 1);
        cell = &adjusted;
    }
    const bool tonePortamento = isTonePortamento(cell, rules);
    const uint8_t previousNote = channel.note;
    if (!tonePortamento) {
        if (cell->instrument != 0) channel.instrument = static_cast<uint8_t>(cell->instrument - 1);
        if (isNote(cell->note)) channel.note = static_cast<uint8_t>(cell->note - 1);
    }
    ResolvedInstrument resolved = resolveInstrument(song, channel);
    // A note that its sample's relative note pushes out of the period tables
    // is dropped: the row goes on as if the cell had no note.
    Cell withoutNote;
    if (isNote(cell->note) && !isPlayableNote(cell->note - 1 + resolved.sample->relativeNote)) {
        withoutNote = *cell;
        withoutNote.note = 0;
        cell = &withoutNote;
        channel.note = previousNote;
        resolved = resolveInstrument(song, channel);
    }
    Sample* const playingSample = channel.sample;
    if (!tonePortamento && resolved.known) channel.sample = resolved.sample;

    ChannelTick tick{song, &channel, cell, resolved.instrument, resolved.sample, positionJump,
                     channel.volume, channel.period, channel.panning};

    // The last tremolo offset stays in the volume once the tremolo stops.
    if (channel.lastEffect == EffectTremolo && cell->effect != EffectTremolo) channel.volume += channel.volumeOffset;
    channel.lastEffect = cell->effect;
    channel.volumeOffset = 0;
    channel.updateFlags = 0;

    if (isNote(cell->note)) {
        channel.realNote = static_cast<uint8_t>((cell->note - 1 + resolved.sample->relativeNote) & noteIndexMask);
        // The tracker's portamento aims with the finetune of the note playing.
        if (!tonePortamento || !rules.finetuneOnChannel) channel.finetune = noteFinetune(*song, *cell, *resolved.sample);
        channel.notePeriod = notePeriod(song, channel.realNote, channel.finetune);
        if (!tonePortamento) channel.period = channel.notePeriod;
        channel.updateFlags = StartSample;
    }
    channel.periodOffset = 0;
    channel.updateFlags |= UpdateFrequency | UpdateVolume;

    const bool release = cell->note == keyOffNote ||
                         (rules.keyOffAtItsTick ? isImmediateKeyOff(*cell) : cell->effect == EffectKeyOff);
    if (rules.keyOffCutsVolume && release) {
        // The tracker releases first; an instrument then brings the volume back (the note fades).
        releaseNote(channel, *resolved.instrument, *song);
        if (cell->instrument != 0) resetVolumeAndPanning(channel, channel.sample);
    } else {
        // The tracker's instrument number without a note restores the playing sample's volume and panning,
        // whatever instrument it names (one with no samples too); the note plays on. Before any note the
        // instrument's own sample gives them.
        const bool playingSampleDefaults =
            rules.instrumentAloneKeepsSample && !isNote(cell->note) && !release && playingSample != nullptr;
        if (cell->instrument != 0) resetChannel(&channel, playingSampleDefaults ? playingSample : resolved.sample);
        if (release) releaseNote(channel, *resolved.instrument, *song);
    }
    // An instrument number holds the tracker's tremor off until its next tick.
    if (rules.trackerTremor && cell->instrument != 0) channel.tremorCounter = tremorHeldByInstrument;
    if (cell->volume != 0) applyVolumeColumnFirstTick(tick);
    stepEnvelopesAndFadeout(channel, *resolved.instrument, !rules.keyOffCutsVolume);
    applyEffectFirstTick(tick);
    autoVibratoStep(channel, *resolved.instrument, song->rules);
    applyChannelToVoice(engine, &channel, resolved.sample, song);
}

void processChannelTick(MusicEngine& engine, Song* song, MusicChannel& channel, const Cell* cell) {
    const ResolvedInstrument resolved = resolveInstrument(song, channel);
    ChannelTick tick{song,    &channel, cell, resolved.instrument, resolved.sample, nullptr, channel.volume,
                     channel.period, channel.panning};
    channel.volumeOffset = 0;
    channel.periodOffset = 0;
    channel.updateFlags = 0;
    // The tracker moves the envelopes once the tick's effects are done, so a
    // note a delay starts on this tick, or a Kxx release, moves them at once.
    const bool envelopesLast = song->rules.envelopesAfterEffects;
    if (!envelopesLast) stepEnvelopesAndFadeout(channel, *resolved.instrument, false);
    applyVolumeColumnLaterTick(tick);
    applyEffectLaterTick(tick);
    if (envelopesLast) stepEnvelopesAndFadeout(channel, *resolved.instrument, false);
    autoVibratoStep(channel, *resolved.instrument, song->rules);
    applyChannelToVoice(engine, &channel, resolved.sample, song);
}

// Where the song goes after the current row unless an effect said otherwise.
void advanceRow(Song* song) {
    song->nextRow = song->row + 1;
    if (song->nextRow < rowCountAtOrder(song, song->orderPosition)) return;
    song->nextOrder = song->orderPosition + 1;
    if (song->nextOrder >= song->songLength) {
        const bool restartValid = song->restartPosition >= 0 && song->restartPosition < song->songLength;
        song->nextOrder = restartValid ? song->restartPosition : 0;
    }
    song->nextRow = 0;
}

// The tracker's move to the next row: a pattern loop goes to the break row,
// and so does the end of the pattern or a jump, into the next (or the
// jumped-to) order; the break row is used up only by the latter.
void advanceTrackerRow(Song* song) {
    int32_t row = song->row + 1;
    if (song->loopJumpDue != 0) {
        song->loopJumpDue = 0;
        row = song->breakRow;
    }
    int32_t order = song->orderPosition;
    if (row >= rowCountAtOrder(song, song->orderPosition) || song->patternJumpDue != 0) {
        row = song->breakRow;
        song->breakRow = 0;
        song->patternJumpDue = 0;
        order = song->jumpOrder >= 0 ? song->jumpOrder : song->orderPosition + 1;
        song->jumpOrder = -1;
        if (order >= song->songLength) {
            const bool restartValid = song->restartPosition >= 0 && song->restartPosition < song->songLength;
            order = restartValid ? song->restartPosition : 0;
        }
        // A break row the new pattern does not have starts it from the top.
        if (row >= rowCountAtOrder(song, order)) row = 0;
    }
    song->nextOrder = order;
    song->nextRow = row;
}

int32_t finalVolume(const MusicChannel& channel, const Song* song) {
    if (song->rules.trackerTremor && tremorMutes(channel)) return 0;
    const double product = static_cast<double>(channel.volume + channel.volumeOffset) * channel.volumeEnvelopeOutput *
                           channel.fadeoutVolume * song->globalVolume * static_cast<double>(finalVolumeScale);
    return truncateToInt32(product);
}

int32_t finalPanning(const MusicChannel& channel) {
    const int64_t panning = channel.panning;
    const int64_t swing = (centrePanning - std::llabs(panning - centrePanning)) / panningEnvelopeStepDivisor;
    const int64_t moved = panning + swing * (static_cast<int64_t>(channel.panningEnvelopeOutput) - centreEnvelopePanning);
    return static_cast<int32_t>(std::clamp<int64_t>(moved, 0, maxFinalPanning));
}

int32_t gainTarget(int64_t volume, int64_t pan) {
    return static_cast<int32_t>(std::clamp<int64_t>(volume * pan / voiceGainRange, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// Panning 0 is hard left and 255 hard right, as the format defines it.
void setGainTargets(MixerVoice& voice) {
    voice.leftTarget = gainTarget(voice.volume, voiceGainRange - voice.pan);
    voice.rightTarget = gainTarget(voice.volume, voice.pan);
}

// The voice that takes over from a voice when a new note starts on it.
MixerVoice* partnerVoice(MixerVoice* voices, MixerVoice* voice) {
    const std::ptrdiff_t index = voice - voices;
    if (index < 0 || index >= voiceTableSize) return nullptr;
    const std::ptrdiff_t partner = index < partnerVoiceDistance ? index + partnerVoiceDistance
                                                                : index - partnerVoiceDistance;
    return &voices[partner];
}

// A new note: the old note fades out on its voice while the new one starts on the partner.
void startSample(MixerVoice* voices, MusicChannel* channel, Sample* sample) {
    MixerVoice* voice = channel->voice;
    if (voice->sample != nullptr) {
        MixerVoice* partner = partnerVoice(voices, voice);
        if (partner != nullptr) {
            const int32_t partnerIndex = static_cast<int32_t>(partner - voices);
            *partner = *voice;
            partner->index = partnerIndex;
            voice->volume = 0;
            voice->volumeCopy = 0;
            voice->leftTarget = 0;
            voice->rightTarget = 0;
            channel->voice = partner;
            voice = partner;
        }
    }
    voice->sample = sample;
    // An offset at or past the loop end starts from the beginning; a loop
    // reaching past the sample (a hand-built record) never lets it start outside.
    const uint64_t loopEnd = static_cast<uint64_t>(sample->loopStart) + sample->loopLength;
    if (voice->startOffset >= std::min<uint64_t>(loopEnd, sample->length)) voice->startOffset = 0;
    voice->position = static_cast<int32_t>(voice->startOffset);
    voice->positionFraction = 0;
    voice->direction = DirectionForward;
    voice->looped = 0;
    voice->startOffset = 0;
    voice->leftVolume = 0;
    voice->rightVolume = 0;
    voice->rampRemaining = 0;
}

// A global volume change reaches every voice on the tick it happens.
void applyGlobalVolumeChange(MusicEngine& engine, Song* song) {
    for (int32_t index = 0; index < activeChannelCount(song); ++index) {
        MusicChannel& channel = engine.channels[index];
        if (channel.heardGlobalVolume == song->globalVolume || channel.voice == nullptr) continue;
        channel.heardGlobalVolume = song->globalVolume;
        MixerVoice& voice = *channel.voice;
        voice.volumeSet = 1;  // the song's level changed: no glide
        voice.volume = finalVolume(channel, song);
        voice.volumeCopy = voice.volume;
        setGainTargets(voice);
    }
}

// Set-finetune writes into the sample as the song plays; every start plays
// the samples as they were loaded.
void restoreLoadedFinetunes(Song* song) {
    for (int32_t index = 0; index < song->instrumentCount && song->instruments != nullptr; ++index) {
        const Instrument& instrument = song->instruments[index];
        for (int32_t slot = 0; slot < instrument.sampleCount && slot < maxSamplesPerInstrument; ++slot) {
            Sample* sample = instrument.samples[slot];
            if (sample != nullptr && sample != &emptySample) sample->finetune = sample->loadedFinetune;
        }
    }
}

}  // namespace

void resetSongPlayState(MusicEngine& engine, Song* song) {
    song->breakRow = 0;
    song->jumpOrder = -1;
    song->loopJumpDue = 0;
    song->patternJumpDue = 0;
    song->globalVolume = song->initialGlobalVolume;
    song->globalVolumeSlideMemory = 0;
    song->nextOrder = -1;
    song->nextRow = -1;
    song->speed = song->defaultSpeed;
    song->row = 0;
    song->orderPosition = 0;
    song->framesLeftInTick = 0;
    song->tick = 0;
    song->patternDelayTicks = 0;
    setTempo(song, song->defaultBpm);
    for (int32_t index = 0; index < activeChannelCount(song); ++index) {
        engine.channels[index] = MusicChannel{};
        engine.channels[index].voice = &engine.voices[index];
    }
}

void prepareSongStart(MusicEngine& engine, Song* song) {
    restoreLoadedFinetunes(song);
    resetMixerVoices(engine);
    resetSongPlayState(engine, song);
}

void replayTick(MusicEngine& engine, Song* song) {
    if (song->tick == 0) {
        if (song->nextOrder >= 0) song->orderPosition = song->nextOrder;
        if (song->nextRow >= 0) song->row = song->nextRow;
        processRow(engine, song);
        if (song->rules.trackerPatternFlow) {
            advanceTrackerRow(song);
        } else if (song->nextRow == -1) {
            advanceRow(song);
        }
    } else {
        processTickEffects(engine, song);
    }
    song->tick += 1;
    if (song->tick >= song->speed + song->patternDelayTicks) {
        song->tick = 0;
        song->patternDelayTicks = 0;
    }
}

void processRow(MusicEngine& engine, Song* song) {
    song->nextOrder = -1;
    song->nextRow = -1;
    bool rowIsEmpty = false;
    const Cell* rowCells = currentRowCells(song, &rowIsEmpty);
    if (rowCells == nullptr) return;
    bool positionJump = false;
    for (int32_t index = 0; index < activeChannelCount(song); ++index) {
        processChannelRow(engine, song, engine.channels[index], channelCell(rowCells, rowIsEmpty, index), &positionJump);
    }
    if (song->rules.globalVolumeReachesAllChannels) applyGlobalVolumeChange(engine, song);
}

void processTickEffects(MusicEngine& engine, Song* song) {
    bool rowIsEmpty = false;
    const Cell* rowCells = currentRowCells(song, &rowIsEmpty);
    if (rowCells == nullptr) return;
    for (int32_t index = 0; index < activeChannelCount(song); ++index) {
        processChannelTick(engine, song, engine.channels[index], channelCell(rowCells, rowIsEmpty, index));
    }
    if (song->rules.globalVolumeReachesAllChannels) applyGlobalVolumeChange(engine, song);
}

void resetVolumeAndPanning(MusicChannel& channel, const Sample* sample) {
    if (sample == nullptr) sample = &emptySample;
    channel.volume = sample->volume;
    channel.panning = sample->panning;
    channel.updateFlags |= UpdateVolume | UpdatePanning | VolumeSet;
}

void releaseNote(MusicChannel& channel, const Instrument& instrument, const Song& song) {
    channel.keyOff = 1;
    if (song.rules.keyOffCutsVolume && (instrument.volumeEnvelopeFlags & EnvelopeOn) == 0) {
        channel.volume = 0;
        channel.updateFlags |= UpdateVolume;
    }
}

bool restartNote(Song* song, MusicChannel& channel, uint8_t note) {
    const uint8_t previousNote = channel.note;
    channel.note = note;
    const ResolvedInstrument resolved = resolveInstrument(song, channel);
    if (!isPlayableNote(note + resolved.sample->relativeNote)) {
        channel.note = previousNote;
        return false;
    }
    if (resolved.known) channel.sample = resolved.sample;
    channel.realNote = static_cast<uint8_t>((note + resolved.sample->relativeNote) & noteIndexMask);
    channel.finetune = resolved.sample->finetune;
    channel.notePeriod = notePeriod(song, channel.realNote, channel.finetune);
    channel.period = channel.notePeriod;
    channel.periodOffset = 0;
    channel.updateFlags |= StartSample | UpdateFrequency | UpdateVolume;
    return true;
}

void restartEnvelopes(MusicChannel& channel) {
    channel.volumeEnvelopeOutput = fullEnvelopeVolume;
    channel.volumeEnvelopePoint = 0;
    channel.volumeEnvelopeTick = 0;
    channel.volumeEnvelopeSlope = 0;
    channel.volumeEnvelopeFinished = 0;
    channel.panningEnvelopeOutput = centreEnvelopePanning;
    channel.panningEnvelopePoint = 0;
    channel.panningEnvelopeTick = 0;
    channel.panningEnvelopeSlope = 0;
    channel.panningEnvelopeFinished = 0;
    channel.keyOff = 0;
    channel.fadeoutVolume = fullFadeoutVolume;
    channel.autoVibratoSweep = 0;
    channel.autoVibratoSwept = 0;
    channel.autoVibratoPosition = 0;
    // A waveform nibble of 4 or more keeps its position across notes.
    if ((channel.waveformControl & vibratoWaveformMask) < keepPositionWaveform) channel.vibratoPosition = 0;
    if ((channel.waveformControl >> tremoloWaveformShift) < keepPositionWaveform) channel.tremoloPosition = 0;
    channel.tremorCounter = 0;
    channel.updateFlags |= UpdateVolume;
}

void resetChannel(MusicChannel* channel, const Sample* sample) {
    resetVolumeAndPanning(*channel, sample);
    restartEnvelopes(*channel);
}

// A voice left behind by a new note, once faded out, can never be heard
// again: only the next note's copy writes it. Idling it spares the mixer
// from moving a silent position round its loop every tick.
void idleFadedPartner(MixerVoice* voices, MixerVoice* voice) {
    MixerVoice* partner = partnerVoice(voices, voice);
    if (partner == nullptr || partner->sample == nullptr) return;
    const bool faded = partner->rampRemaining == 0 && partner->leftTarget == 0 && partner->rightTarget == 0 &&
                       (partner->leftVolume >> 8) == 0 && (partner->rightVolume >> 8) == 0;
    if (faded) partner->sample = nullptr;
}

void applyChannelToVoice(MusicEngine& engine, MusicChannel* channel, Sample* sample, Song* song) {
    if (channel->voice == nullptr) return;
    idleFadedPartner(engine.voices, channel->voice);
    if (sample == nullptr) sample = &emptySample;
    // The tracker keeps every period within its own range, whatever moved it.
    if (song->rules.trackerPitch) channel->period = std::clamp(channel->period, trackerMinimumPeriod, trackerMaximumPeriod);
    int32_t frequency = 0;
    ResamplingStep step{};
    if (!rememberedPitch(channel->pitchMemo, song, channel->period, channel->periodOffset, &frequency, &step)) {
        channel->updateFlags &= static_cast<uint8_t>(~UpdateFrequency);
    }
    if ((channel->updateFlags & StartSample) != 0) startSample(engine.voices, channel, sample);
    if ((channel->updateFlags & StopVoice) != 0) channel->voice->sample = nullptr;

    MixerVoice& voice = *channel->voice;
    // A level set outright, or a new global volume heard, takes the short
    // ramp: the global volume scales the whole mix, it does not glide.
    const bool globalVolumeChanged = channel->heardGlobalVolume != song->globalVolume;
    voice.volumeSet = (channel->updateFlags & VolumeSet) != 0 || globalVolumeChanged ? 1 : 0;
    if ((channel->updateFlags & UpdateVolume) != 0) {
        channel->heardGlobalVolume = song->globalVolume;
        voice.volume = finalVolume(*channel, song);
        voice.volumeCopy = voice.volume;
        setGainTargets(voice);
    }
    if ((channel->updateFlags & UpdatePanning) != 0) {
        voice.pan = finalPanning(*channel);
        voice.panCopy = voice.pan;
        setGainTargets(voice);
    }
    if ((channel->updateFlags & UpdateFrequency) != 0) {
        voice.frequency = frequency;
        voice.stepInteger = step.integer;
        voice.stepFraction = step.fraction;
    }
    if ((channel->updateFlags & ResetPosition) != 0) {
        voice.position = 0;
        voice.positionFraction = 0;
        voice.looped = 0;
        voice.startOffset = 0;
    }
}

}  // namespace intro_music::engine
