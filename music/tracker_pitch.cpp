#include "tracker_pitch.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace intro_music::engine {

namespace {

// Amiga periods of the notes C..B (and a few beyond) at 8 finetune steps each.
constexpr std::array<uint16_t, 104> amigaFinePeriods = {
    907, 900, 894, 887, 881, 875, 868, 862, 856, 850, 844, 838, 832, 826, 820, 814, 808, 802, 796, 791, 785,
    779, 774, 768, 762, 757, 752, 746, 741, 736, 730, 725, 720, 715, 709, 704, 699, 694, 689, 684, 678, 675,
    670, 665, 660, 655, 651, 646, 640, 636, 632, 628, 623, 619, 614, 610, 604, 601, 597, 592, 588, 584, 580,
    575, 570, 567, 563, 559, 555, 551, 547, 543, 538, 535, 532, 528, 524, 520, 516, 513, 508, 505, 502, 498,
    494, 491, 487, 484, 480, 477, 474, 470, 467, 463, 460, 457, 453, 450, 447, 443, 440, 437, 434, 431,
};
constexpr int32_t amigaStepsPerNote = 8;
constexpr int32_t amigaTableMiddle = 8;  // finetune 0 of C sits one note into the table
constexpr int32_t notesPerOctave = 12;

constexpr int32_t linearTopPeriod = 7680;  // note 0, finetune 0
constexpr int32_t linearUnitsPerNote = 64;

// The tracker's note table: 16 entries per note, from a finetune of -128 of note 0.
constexpr int32_t tableStepsPerNote = 16;
constexpr int32_t tableFinetuneShift = 3;
constexpr int32_t arpeggioSearchNotes = 96;
constexpr int32_t arpeggioSearchRounds = 8;
constexpr int32_t arpeggioHalfNote = 8;
constexpr int32_t arpeggioCapIndex = arpeggioSearchNotes * tableStepsPerNote + 14;  // a slip in the tracker: not 10 octaves
constexpr int32_t arpeggioCappedIndex = arpeggioSearchNotes * tableStepsPerNote + 15;

// Linear mode: 768 steps per octave, the table for the highest octave.
constexpr int32_t linearStepsPerOctave = 768;
constexpr double linearTableBase = 8363.0 * 64.0;
constexpr uint32_t linearOctaveRange = 12 * 768 + 767;  // 12 octaves, plus the rounding of the division
constexpr uint32_t linearOctaveBase = 14;
constexpr uint32_t octaveShiftMask = 0x1F;
constexpr uint32_t periodMask = 0xFFFF;  // the tracker keeps periods in 16 bits
constexpr double amigaFrequencyConstant = 8363.0 * 1712.0;

int32_t amigaNotePeriod(int32_t note, int32_t finetune) {
    const int32_t noteStep = (note % notesPerOctave) * amigaStepsPerNote;
    const int32_t octave = note / notesPerOctave;
    int32_t fine = finetune / tableStepsPerNote;
    const auto at = [&](int32_t index) {
        return int32_t{amigaFinePeriods[static_cast<size_t>(std::clamp<int32_t>(index, 0, 103))]};
    };
    const int32_t first = at(noteStep + fine + amigaTableMiddle);
    int32_t weight = finetune;
    if (weight < 0) {
        fine -= 1;
        weight = -weight;
    } else {
        fine += 1;
    }
    const int32_t second = at(noteStep + fine + amigaTableMiddle);
    weight &= tableStepsPerNote - 1;
    return ((first * (tableStepsPerNote - weight) + second * weight) << 1) >> octave;
}

// The tracker's note table entry: note (index / 16) - 1 at a finetune of
// (index % 16) x 8, plus the finetune's lowest bits when they are kept.
int32_t tableEntry(bool linear, int32_t index, int32_t finetuneLowBits) {
    int32_t note = index / tableStepsPerNote - 1;
    int32_t finetune = ((index % tableStepsPerNote) << tableFinetuneShift) + finetuneLowBits;
    if (note < 0) {
        note = 0;
        finetune -= 128;
    }
    return trackerNotePeriod(linear, note, finetune, true);
}

// An entry of the tracker's linear frequency table (for the highest octave),
// worked out as it is needed: the pitch memo keeps the result per channel.
double linearTableEntry(uint32_t step) {
    return std::floor(linearTableBase * std::exp2(-static_cast<double>(step) / linearStepsPerOctave));
}

}  // namespace

int32_t trackerNotePeriod(bool linear, int32_t note, int32_t finetune, bool keepFinetuneLowBits) {
    note = std::max(note, 0);
    if (!keepFinetuneLowBits) finetune = (finetune >> tableFinetuneShift) << tableFinetuneShift;
    if (linear) return std::max(linearTopPeriod - linearUnitsPerNote * note - finetune / 2, 1);
    return amigaNotePeriod(note, finetune);
}

int32_t trackerArpeggioPeriod(bool linear, int32_t period, int32_t finetune, int32_t semitones,
                              bool keepFinetuneLowBits) {
    const int32_t fine = (finetune >> tableFinetuneShift) + tableStepsPerNote;
    const int32_t lowBits = keepFinetuneLowBits ? finetune & ((1 << tableFinetuneShift) - 1) : 0;
    int32_t high = arpeggioSearchNotes * tableStepsPerNote;
    int32_t low = 0;
    for (int32_t round = 0; round < arpeggioSearchRounds; ++round) {
        const int32_t middle = (((low + high) >> 1) & ~(tableStepsPerNote - 1)) + fine;
        const int32_t lookUp = std::max(middle - arpeggioHalfNote, 0);
        const int32_t noteStart = (middle - fine) & ~(tableStepsPerNote - 1);
        if (period >= tableEntry(linear, lookUp, lowBits)) {
            high = noteStart;
        } else {
            low = noteStart;
        }
    }
    int32_t index = low + fine + semitones * tableStepsPerNote;
    if (index >= arpeggioCapIndex) index = arpeggioCappedIndex;
    return tableEntry(linear, index, lowBits);
}

double trackerFrequency(bool linear, int32_t period) {
    const uint32_t wrapped = static_cast<uint32_t>(period) & periodMask;
    if (wrapped == 0) return 0.0;
    if (!linear) return amigaFrequencyConstant / wrapped;
    const uint32_t octaveCount = (linearOctaveRange - wrapped) / linearStepsPerOctave;
    const uint32_t shift = (linearOctaveBase - octaveCount) & octaveShiftMask;
    return std::ldexp(linearTableEntry(wrapped % linearStepsPerOctave) * 4.0,
                      -static_cast<int>(shift));
}

}  // namespace intro_music::engine
