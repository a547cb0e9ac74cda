// The rules the replayer plays by where the presentation's simplified rules
// and the tracker that defined the format part ways. Each difference is one
// switch, read where the rule acts: false keeps the presentation's rule,
// true plays the tracker's. A zero-initialised record is the presentation's
// rules, byte for byte what the presentation has always played.
#pragma once

namespace intro_music::engine {

struct PlaybackRules {
    bool arpeggioTable;           // arpeggio note from a 16-entry table by ticks left, off the rounded slid note, capped
    bool trackerPitch;            // interpolated Amiga table, exact Hz, periods 1..31999, wrapping linear octaves
    bool finetuneOnChannel;       // E5x sets the finetune of the note beside it, not the sample's
    bool trackerNoteDelay;        // EDx holds the whole cell back to tick x; no note replays the last; envelopes restart
    bool keyOffAtItsTick;         // Kxx releases on tick xx; K00 ignores the note beside it
    bool keyOffCutsVolume;        // key-off zeroes the volume without volume envelope; with instrument: volume only
    bool offsetOnlyWithNote;      // 9xx only with a starting note; an offset past the sample's end silences it
    bool retriggerRestartsNote;   // E9x restarts the note and its envelopes; E90 does so on the first tick
    bool separateFineVolumeMemories;      // EAx and EBx each keep their own memory
    bool globalVolumeReachesAllChannels;  // a global volume change reaches every playing channel at once
    bool trackerTremor;           // tremor counts after the first tick; a note it muted stays muted till an instrument
    bool volumeColumnPortamento;  // volume-column portamento glides like 3xx and a 3xx beside it loses its parameter
    bool trackerPatternFlow;      // loops, breaks and jumps share one break row, kept after a loop for the next pattern
    bool vibratoFullDepth;        // vibrato moves the period by its full depth, not in steps of 4
    bool trackerAutoVibrato;      // auto-vibrato moves before it is read; its sweep grows only while the note is held
    bool trackerVolumeRamps;      // 5 ms ramps in files the tracker saved; 0.36 ms up, 0.95 ms down in others' files
    bool tremoloRampFollowsVibrato;  // the tremolo's ramp turns over with the vibrato's half, not its own
    bool tremoloOnFirstTick;      // tremolo sets the volume on the row's first tick too, where its wave stands
    bool instrumentAloneKeepsSample;  // an instrument without a note takes the playing sample's volume and panning
    bool trackerGlissando;        // E31: tone portamento plays the note nearest its slid period, as arpeggio finds it
    bool volumeGlidesOverTick;    // a change between two heard levels glides over the tick; set levels take the short ramp
    bool portamentoTargetOnlyWithNote;  // only a note beside 3xx aims it; notes without a portamento leave its target
    bool reachedPortamentoJumps;  // once a glide came down onto its target period, one from above jumps there
    bool envelopesAfterEffects;   // after a row's first tick envelopes step after the effects: EDx, Kxx move at once
    bool envelopePositionMovesPanning;  // Lxx moves the panning envelope too when the volume envelope's sustain is on
};

inline constexpr PlaybackRules presentationRules{};

inline constexpr PlaybackRules trackerRules{
    .arpeggioTable = true,
    .trackerPitch = true,
    .finetuneOnChannel = true,
    .trackerNoteDelay = true,
    .keyOffAtItsTick = true,
    .keyOffCutsVolume = true,
    .offsetOnlyWithNote = true,
    .retriggerRestartsNote = true,
    .separateFineVolumeMemories = true,
    .globalVolumeReachesAllChannels = true,
    .trackerTremor = true,
    .volumeColumnPortamento = true,
    .trackerPatternFlow = true,
    .vibratoFullDepth = true,
    .trackerAutoVibrato = true,
    .trackerVolumeRamps = true,
    .tremoloRampFollowsVibrato = true,
    .tremoloOnFirstTick = true,
    .instrumentAloneKeepsSample = true,
    .trackerGlissando = true,
    .volumeGlidesOverTick = true,
    .portamentoTargetOnlyWithNote = true,
    .reachedPortamentoJumps = true,
    .envelopesAfterEffects = true,
    .envelopePositionMovesPanning = true,
};

}  // namespace intro_music::engine
