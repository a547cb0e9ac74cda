#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "pattern_text.h"
#include "sample_recipe.h"
#include "sample_synthesis.h"
#include "song_compiler.h"
#include "xm_writer.h"

namespace {

using song_compiler::TextError;
using xm_writer::Cell;

Cell cellOf(const std::string& text) {
    Cell cell;
    std::string error;
    EXPECT_TRUE(song_compiler::parseCell(text, cell, error)) << text << ": " << error;
    return cell;
}

bool rejects(const std::string& text) {
    Cell cell;
    std::string error;
    return !song_compiler::parseCell(text, cell, error) && !error.empty();
}

song_compiler::SampleRecipe onlyRecipe(const std::string& text) {
    std::vector<song_compiler::SampleRecipe> recipes;
    TextError error;
    EXPECT_TRUE(song_compiler::parseSampleRecipes(text, "recipes", recipes, error)) << error.message;
    EXPECT_EQ(recipes.size(), 1u);
    return recipes.empty() ? song_compiler::SampleRecipe{} : recipes[0];
}

int largestStep(const std::vector<int16_t>& frames, size_t from, size_t to) {
    int step = 0;
    for (size_t index = from + 1; index < to; ++index) step = std::max(step, std::abs(frames[index] - frames[index - 1]));
    return step;
}

}  // namespace

// Note names map to the format's note numbers; only real note names are accepted.
TEST(PatternText, NotesAndTheirLimits) {
    EXPECT_EQ(cellOf("C-0 .. .. ...").note, 1);
    EXPECT_EQ(cellOf("C#4 .. .. ...").note, 50);
    EXPECT_EQ(cellOf("A-4 .. .. ...").note, 58);
    EXPECT_EQ(cellOf("B-7 .. .. ...").note, 96);
    EXPECT_EQ(cellOf("=== .. .. ...").note, 97);
    EXPECT_EQ(cellOf("--- .. .. ...").note, 0);
    EXPECT_TRUE(rejects("E#4 .. .. ..."));
    EXPECT_TRUE(rejects("B#4 .. .. ..."));
    EXPECT_TRUE(rejects("H-4 .. .. ..."));
    EXPECT_TRUE(rejects("C-8 .. .. ..."));
}

// Instrument, volume column and effect become the bytes the format stores.
TEST(PatternText, InstrumentVolumeAndEffectColumns) {
    const Cell full = cellOf("A-4 1F 40 A04");
    EXPECT_EQ(full.instrument, 0x1F);
    EXPECT_EQ(full.volume, 0x50);
    EXPECT_EQ(full.effect, 10);
    EXPECT_EQ(full.parameter, 4);
    EXPECT_EQ(cellOf("--- .. 00 ...").volume, 0x10);
    EXPECT_EQ(cellOf("--- .. -3 ...").volume, 0x63);
    EXPECT_EQ(cellOf("--- .. +F ...").volume, 0x7F);
    EXPECT_EQ(cellOf("--- .. P8 ...").volume, 0xC8);
    EXPECT_EQ(cellOf("--- .. M4 ...").volume, 0xF4);
    const Cell arpeggio = cellOf("--- .. .. 037");
    EXPECT_EQ(arpeggio.effect, 0);
    EXPECT_EQ(arpeggio.parameter, 0x37);
    EXPECT_EQ(cellOf("--- .. .. Z01").effect, 35);
    EXPECT_TRUE(rejects("--- .. 41 ..."));  // volume above 64
    EXPECT_TRUE(rejects("--- 00 .. ..."));  // instruments count from 1
    EXPECT_TRUE(rejects("--- .. .. 0370"));
    EXPECT_TRUE(rejects("--- .. .."));
}

// Rows must be numbered in order with one cell per channel; a sharp is not a comment.
TEST(PatternText, RowsAreCheckedAndErrorsNameTheLine) {
    xm_writer::PatternData pattern;
    TextError error;
    const std::string good =
        "# heading\n"
        "00 | C#4 01 .. ... | --- .. .. ...   # trailing note\n"
        "\n"
        "01 | --- .. .. ... | === .. .. ...\n";
    ASSERT_TRUE(song_compiler::parsePattern(good, "p", 2, pattern, error)) << error.message;
    EXPECT_EQ(pattern.rowCount, 2);
    ASSERT_EQ(pattern.cells.size(), 4u);
    EXPECT_EQ(pattern.cells[0].note, 50);
    EXPECT_EQ(pattern.cells[3].note, 97);

    EXPECT_FALSE(song_compiler::parsePattern("00 | --- .. .. ...\n02 | --- .. .. ...\n", "p", 1, pattern, error));
    EXPECT_EQ(error.line, 2);
    EXPECT_FALSE(song_compiler::parsePattern("00 | --- .. .. ... | --- .. .. ...\n", "p", 1, pattern, error));
    EXPECT_EQ(error.line, 1);
    EXPECT_FALSE(song_compiler::parsePattern("# nothing\n", "p", 1, pattern, error));
}

// Recipes are complete and synthesisable, or rejected with the line at fault.
TEST(SampleRecipes, IncompleteOrImpossibleRecipesAreRejected) {
    std::vector<song_compiler::SampleRecipe> recipes;
    TextError error;
    EXPECT_FALSE(song_compiler::parseSampleRecipes("instrument a\n  wave 64 1\n  colour red\n", "r", recipes, error));
    EXPECT_EQ(error.line, 3);
    EXPECT_FALSE(song_compiler::parseSampleRecipes("instrument a\n  drum 0\ninstrument b\n  wave 8 1\n", "r", recipes, error));
    EXPECT_EQ(error.line, 1);  // the drum has no duration and no sound
    // 8 harmonics of 4 cycles do not fit below half the rate of 64 frames.
    EXPECT_FALSE(song_compiler::parseSampleRecipes("instrument a\n  wave 64 4\n  spectrum saw 8 2\n", "r", recipes, error));
    EXPECT_FALSE(song_compiler::parseSampleRecipes("  volume 3\n", "r", recipes, error));
    EXPECT_FALSE(song_compiler::parseSampleRecipes("instrument a\n  volume 65\n  wave 8 1\n", "r", recipes, error));
}

// Drums start and end at zero and reach the requested peak; the same seed gives the same frames.
TEST(SampleSynthesis, DrumsStartAndEndSilentAndRepeatExactly) {
    const auto recipe = onlyRecipe(
        "instrument hit\n  drum 12\n  duration 0.1\n  attack 0.001\n  peak 0.5\n"
        "  tone 200 50 0.02 0.05 1\n  noise 0.03 0.8 500 6000\n  seed 3\n");
    const xm_writer::SampleData sample = song_compiler::synthesiseSample(recipe);
    ASSERT_EQ(sample.frames.size(), static_cast<size_t>(std::lround(0.1 * 8363 * 2)));
    EXPECT_EQ(sample.frames.front(), 0);
    EXPECT_EQ(sample.frames.back(), 0);
    int peak = 0;
    for (const int16_t frame : sample.frames) peak = std::max(peak, std::abs(static_cast<int>(frame)));
    EXPECT_NEAR(peak, 63.5, 0.5);  // 0.5 of 127
    EXPECT_EQ(sample.loop, xm_writer::LoopKind::None);
    EXPECT_EQ(sample.relativeNote, 12);
    EXPECT_EQ(song_compiler::synthesiseSample(recipe).frames, sample.frames);
    auto reseeded = recipe;
    reseeded.seed = 4;
    EXPECT_NE(song_compiler::synthesiseSample(reseeded).frames, sample.frames);
}

// Waves loop over whole cycles, so the jump from the last frame to the first is an ordinary step.
TEST(SampleSynthesis, WavesLoopWithoutAStepAndAreTuned) {
    const auto recipe = onlyRecipe("instrument pad\n  wave 1024 15\n  detune 16 0.8\n  spectrum saw 8 3\n");
    const xm_writer::SampleData sample = song_compiler::synthesiseSample(recipe);
    ASSERT_EQ(sample.frames.size(), 1024u);
    EXPECT_EQ(sample.loop, xm_writer::LoopKind::Forward);
    EXPECT_EQ(sample.loopStart, 0u);
    EXPECT_EQ(sample.loopLength, 1024u);
    EXPECT_EQ(sample.frames.front(), 0);
    EXPECT_LE(std::abs(sample.frames.front() - sample.frames.back()), largestStep(sample.frames, 0, 1024));

    // One cycle of 64 frames at 8363 Hz is 130.7 Hz: an octave up, a touch sharp.
    const song_compiler::Tuning octave = song_compiler::tuningFor(8363.0 / 64);
    EXPECT_EQ(octave.relativeNote, 12);
    EXPECT_EQ(octave.finetune, 2);
    const song_compiler::Tuning exact = song_compiler::tuningFor(song_compiler::middleCFrequency);
    EXPECT_EQ(exact.relativeNote, 0);
    EXPECT_EQ(exact.finetune, 0);
    // A quarter tone flat needs +64/128 of a semitone.
    const song_compiler::Tuning quarter = song_compiler::tuningFor(song_compiler::middleCFrequency / std::exp2(1.0 / 24));
    EXPECT_EQ(quarter.relativeNote * 128 + quarter.finetune, 64);
}

// Settings errors name the song file; a missing pattern file is reported by name.
TEST(SongCompiler, MissingFilesAreReported) {
    xm_writer::ModuleData module;
    TextError error;
    EXPECT_FALSE(song_compiler::compileSong("/nonexistent/song.txt", module, error));
    EXPECT_EQ(error.file, "/nonexistent/song.txt");
    EXPECT_FALSE(error.message.empty());
}

// The project's song compiles to the shape the program expects, with clean samples.
TEST(SongCompiler, ProjectSongHasItsShape) {
    xm_writer::ModuleData module;
    TextError error;
    ASSERT_TRUE(song_compiler::compileSong(INTRO_SONG_SOURCE, module, error))
        << error.file << ":" << error.line << ": " << error.message;
    EXPECT_EQ(module.channelCount, 8);
    EXPECT_EQ(module.orders.size(), 23u);
    EXPECT_EQ(module.restartPosition, 0);
    EXPECT_EQ(module.flags, 0);
    EXPECT_EQ(module.defaultSpeed, 6);
    EXPECT_EQ(module.defaultBpm, 125);
    ASSERT_EQ(module.patterns.size(), 6u);
    for (const auto& pattern : module.patterns) EXPECT_EQ(pattern.rowCount, 64);
    for (const uint8_t order : module.orders) EXPECT_LT(order, 6);
    ASSERT_EQ(module.instruments.size(), 6u);
    for (const auto& instrument : module.instruments) {
        ASSERT_EQ(instrument.samples.size(), 1u);
        EXPECT_TRUE(instrument.volumeEnvelope.points.empty());
        EXPECT_EQ(instrument.volumeEnvelope.flags, 0);
        const auto& sample = instrument.samples[0];
        EXPECT_FALSE(sample.sixteenBit);
        EXPECT_EQ(sample.frames.front(), 0) << instrument.name;
        if (sample.loop == xm_writer::LoopKind::None) {
            EXPECT_EQ(sample.frames.back(), 0) << instrument.name;
        }
    }
    xm_writer::ModuleData again;
    ASSERT_TRUE(song_compiler::compileSong(INTRO_SONG_SOURCE, again, error));
    EXPECT_EQ(xm_writer::writeModule(again), xm_writer::writeModule(module));
}
