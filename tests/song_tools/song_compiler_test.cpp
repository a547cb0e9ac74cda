#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <tuple>

#include "pattern_text.h"
#include "sample_recipe.h"
#include "sample_synthesis.h"
#include "song_compiler.h"
#include "xm_writer.h"

namespace {

using song_compiler::TextError;
using xm_writer::Cell;

song_compiler::SampleRecipe onlyRecipe(const std::string& text) {
    std::vector<song_compiler::SampleRecipe> recipes;
    TextError error;
    EXPECT_TRUE(song_compiler::parseSampleRecipes(text, "recipes", recipes, error)) << error.message;
    EXPECT_EQ(recipes.size(), 1u);
    return recipes.empty() ? song_compiler::SampleRecipe{} : recipes[0];
}

}  // namespace

// Note names, instrument, volume column and effect become the bytes the format stores.
TEST(PatternText, CellColumns) {
    const std::pair<const char*, Cell> cases[] = {
        {"C-0 .. .. ...", {1, 0, 0, 0, 0}},          // the lowest note is 1
        {"C#4 .. .. ...", {50, 0, 0, 0, 0}},         // a sharp is one above
        {"B-7 .. .. ...", {96, 0, 0, 0, 0}},         // the highest note
        {"=== .. .. ...", {97, 0, 0, 0, 0}},         // key-off
        {"A-4 1F 40 A04", {58, 0x1F, 0x50, 10, 4}},  // a volume is stored plus 0x10; effect letters count from 10
        {"--- .. 00 ...", {0, 0, 0x10, 0, 0}},       // volume 0 is not an empty column
        {"--- .. -3 ...", {0, 0, 0x63, 0, 0}},       // volume column slide down
        {"--- .. +F ...", {0, 0, 0x7F, 0, 0}},       // and up
        {"--- .. P8 ...", {0, 0, 0xC8, 0, 0}},       // set panning
        {"--- .. M4 ...", {0, 0, 0xF4, 0, 0}},       // tone portamento
        {"--- .. .. 037", {0, 0, 0, 0, 0x37}},       // effect 0 (arpeggio) with a parameter
        {"--- .. .. Z01", {0, 0, 0, 35, 1}},         // the last effect letter
    };
    for (const auto& [text, expected] : cases) {
        Cell cell;
        std::string error;
        ASSERT_TRUE(song_compiler::parseCell(text, cell, error)) << text << ": " << error;
        EXPECT_EQ(std::tie(cell.note, cell.instrument, cell.volume, cell.effect, cell.parameter),
                  std::tie(expected.note, expected.instrument, expected.volume, expected.effect, expected.parameter))
            << text;
    }
}

// Cells that are no real note, volume, instrument or effect are refused with a message.
TEST(PatternText, MalformedCellsAreRefused) {
    for (const char* text : {"E#4 .. .. ...", "B#4 .. .. ...", "H-4 .. .. ...", "C-8 .. .. ...", "--- .. 41 ...",
                             "--- 00 .. ...", "--- .. .. 0370", "--- .. .."}) {
        Cell cell;
        std::string error;
        EXPECT_FALSE(song_compiler::parseCell(text, cell, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

// Rows must be numbered in order with one cell per channel; a sharp is not a comment; errors name the line.
TEST(PatternText, RowsAreCheckedAndErrorsNameTheLine) {
    xm_writer::PatternData pattern;
    TextError error;
    const std::string good =
        "# heading\n00 | C#4 01 .. ... | --- .. .. ...   # note\n\n01 | --- .. .. ... | === .. .. ...\n";
    ASSERT_TRUE(song_compiler::parsePattern(good, "p", 2, pattern, error)) << error.message;
    EXPECT_EQ(pattern.rowCount, 2);
    ASSERT_EQ(pattern.cells.size(), 4u);
    EXPECT_EQ(pattern.cells[0].note, 50);
    EXPECT_EQ(pattern.cells[3].note, 97);
    for (auto [text, line] : {std::pair{"00 | --- .. .. ...\n02 | --- .. .. ...\n", 2},  // a row skipped
                              {"00 | --- .. .. ... | --- .. .. ...\n", 1},               // two cells for one channel
                              {"# nothing\n", 0}}) {                                     // no rows: no line
        EXPECT_FALSE(song_compiler::parsePattern(text, "p", 1, pattern, error)) << text;
        EXPECT_EQ(error.line, line) << text;
    }
}

// Recipes are complete and synthesisable, or refused with the line at fault.
TEST(SampleRecipes, IncompleteOrImpossibleRecipesAreRefused) {
    for (auto [text, line] : {
             std::pair{"instrument a\n  wave 64 1\n  colour red\n", 3},  // an unknown setting
             {"instrument a\n  drum 0\ninstrument b\n  wave 8 1\n", 1},  // a drum without duration or sound
             {"instrument a\n  wave 64 4\n  spectrum saw 8 2\n", 1},     // harmonics above half the rate
             {"  volume 3\n", 1},                                        // a setting outside an instrument
             {"instrument a\n  volume 65\n  wave 8 1\n", 2},             // volume above 64
         }) {
        std::vector<song_compiler::SampleRecipe> recipes;
        TextError error;
        EXPECT_FALSE(song_compiler::parseSampleRecipes(text, "r", recipes, error)) << text;
        EXPECT_EQ(error.line, line) << text;
    }
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
TEST(SampleSynthesis, WavesLoopWithoutAStep) {
    const auto recipe = onlyRecipe("instrument pad\n  wave 1024 15\n  detune 16 0.8\n  spectrum saw 8 3\n");
    const xm_writer::SampleData sample = song_compiler::synthesiseSample(recipe);
    ASSERT_EQ(sample.frames.size(), 1024u);
    EXPECT_EQ(std::tie(sample.loop, sample.loopStart, sample.loopLength),
              std::tuple(xm_writer::LoopKind::Forward, 0u, 1024u));
    EXPECT_EQ(sample.frames.front(), 0);
    int largestStep = 0;
    for (size_t index = 1; index < sample.frames.size(); ++index) {
        largestStep = std::max(largestStep, std::abs(sample.frames[index] - sample.frames[index - 1]));
    }
    EXPECT_LE(std::abs(sample.frames.front() - sample.frames.back()), largestStep);
}

// A fundamental becomes relative note and finetune (128ths of a semitone) against middle C at 8363 Hz.
TEST(SampleSynthesis, Tuning) {
    const double middleC = song_compiler::middleCFrequency;
    for (auto [fundamental, relativeNote, finetune] : {
             std::tuple{middleC, 0, 0},               // exact
             {8363.0 / 64, 12, 2},                    // 64 frames a cycle: an octave up, a touch sharp
             {middleC / std::exp2(1.0 / 24), 0, 64},  // a quarter tone flat needs +64/128
         }) {
        const song_compiler::Tuning tuning = song_compiler::tuningFor(fundamental);
        EXPECT_EQ(tuning.relativeNote * 128 + tuning.finetune, relativeNote * 128 + finetune) << fundamental;
    }
}

// A missing song file is reported by name.
TEST(SongCompiler, MissingFilesAreReported) {
    xm_writer::ModuleData module;
    TextError error;
    EXPECT_FALSE(song_compiler::compileSong("/nonexistent/song.txt", module, error));
    EXPECT_EQ(error.file, "/nonexistent/song.txt");
    EXPECT_FALSE(error.message.empty());
}

// The project's song compiles to the same bytes every time, with samples that start (and, unlooped, end) at zero.
TEST(SongCompiler, ProjectSongIsReproducibleAndClickFree) {
    xm_writer::ModuleData module;
    xm_writer::ModuleData again;
    TextError error;
    ASSERT_TRUE(song_compiler::compileSong(INTRO_SONG_SOURCE, module, error))
        << error.file << ":" << error.line << ": " << error.message;
    ASSERT_TRUE(song_compiler::compileSong(INTRO_SONG_SOURCE, again, error));
    EXPECT_EQ(xm_writer::writeModule(again), xm_writer::writeModule(module));
    for (const auto& instrument : module.instruments) {
        for (const auto& sample : instrument.samples) {
            EXPECT_EQ(sample.frames.front(), 0) << instrument.name;
            EXPECT_TRUE(sample.loop != xm_writer::LoopKind::None || sample.frames.back() == 0) << instrument.name;
        }
    }
}
