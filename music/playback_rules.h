// The rules the replayer plays by where the presentation's simplified rules
// and the tracker that defined the format part ways. Each difference is one
// switch, read where the rule acts: false keeps the presentation's rule,
// true plays the tracker's. A zero-initialised record is the presentation's
// rules, byte for byte what the presentation has always played.
#pragma once

namespace intro_music::engine {

struct PlaybackRules {
    // The tracker picks the arpeggio note from a 16-entry table indexed by the
    // ticks left in the row (past 16 it reads on into its vibrato table),
    // relative to the slid period rounded to a semitone, capped at note 96.
    bool arpeggioTable;
    // The tracker takes Amiga periods from its table (interpolated between its
    // 8 finetune steps), plays the exact frequency rather than one cut to
    // whole Hz, and keeps periods in 16 bits (slides past the ends wrap).
    bool trackerPitch;
    // The tracker's E5x sets the channel's finetune for the note beside it;
    // the sample keeps its own.
    bool finetuneOnChannel;
    // The tracker's EDx (x > 0) holds back the whole cell until tick x (only
    // its instrument number is taken at once); then it starts the cell's note,
    // or the channel's last note when the cell has none, resets the volume
    // only when the cell names an instrument, always restarts the envelopes
    // (a key-off this way just restarts them), and takes a volume or panning
    // from the volume column. A delay not below the speed never comes.
    bool trackerNoteDelay;
    // The tracker's Kxx releases the note on tick xx, not at once, and K00
    // ignores the note beside it.
    bool keyOffAtItsTick;
    // The tracker's key-off silences a note without volume envelope through
    // its volume (a volume command beside or after it brings it back), and a
    // key-off with an instrument resets the volume but not the envelopes.
    bool keyOffCutsVolume;
    // The tracker's 9xx acts only with a note that starts (not beside a tone
    // portamento, which leaves its memory alone), and an offset at or past
    // the sample's end (or its loop's end) stops the note.
    bool offsetOnlyWithNote;
    // The tracker's E9x retriggers the note itself, envelopes and all, and
    // E90 retriggers it on the first tick.
    bool retriggerRestartsNote;
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
};

}  // namespace intro_music::engine
