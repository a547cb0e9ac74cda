// The library's output settings, controls and information, as a game or a
// player uses them: rates, float and mono output, gain and separation,
// seeking by time, order and row, channel muting, tempo and pitch factors,
// names, cells, the header probe, load warnings and the C interface.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "intro_music.h"
#include "intro_music_c.h"
#include "api_test_songs.h"
#include "test_modules.h"
#include "test_songs.h"
#include "xm_writer.h"

using namespace test_modules;
using namespace test_songs;
using namespace api_test_songs;
namespace im = intro_music;

namespace {

template <typename Value, typename Render>
std::vector<Value> renderAll(im::Module* module, int32_t valuesPerFrame, Render render, int32_t chunk = 1000) {
    std::vector<Value> all;
    std::vector<Value> buffer(static_cast<size_t>(chunk * valuesPerFrame));
    int32_t count = 0;
    while ((count = render(module, buffer.data(), chunk)) > 0) {
        all.insert(all.end(), buffer.begin(), buffer.begin() + count * valuesPerFrame);
    }
    return all;
}

std::vector<int16_t> render16(im::Module* module) { return renderAll<int16_t>(module, 2, im::render); }
std::vector<float> renderFloat(im::Module* module) { return renderAll<float>(module, 2, im::renderFloat); }

// The 16-bit value a float sample stands for: x 32768, ties to even, clamped.
int16_t toPcm16(float value) {
    const float scaled = std::clamp(value * 32768.0f, -32768.0f, 32767.0f);
    return static_cast<int16_t>(std::nearbyint(scaled));
}

}  // namespace

// Ticks last floor(rate x 5 / (2 x tempo)) frames at every rate, so one pass
// keeps its length in seconds to within a tick.
TEST(OutputRate, PassLengthFollowsTheRate) {
    const struct {
        const char* rule;
        int32_t rate;
        int32_t tempo;
    } cases[] = {
        {"the default rate", 44100, 125},         {"the lowest rate", 8000, 125},
        {"a common device rate", 48000, 125},     {"a rate that leaves a remainder", 22050, 97},
        {"a high rate and a fast tempo", 96000, 255}, {"the highest rate", 192000, 32},
    };
    xm_writer::ModuleData module = emptySong(2, 4);
    for (const auto& given : cases) {
        SCOPED_TRACE(given.rule);
        module.defaultBpm = given.tempo;
        const ModulePointer song = loadBytes(xm_writer::writeModule(module));
        ASSERT_TRUE(im::setOutputRate(song.get(), given.rate, nullptr));
        EXPECT_EQ(im::outputRate(song.get()), given.rate);
        const int64_t tickFrames = int64_t{given.rate} * 5 / (2 * given.tempo);
        EXPECT_EQ(static_cast<int64_t>(render16(song.get()).size() / 2), 8 * tickFrames);
        const double tickSeconds = 2.5 / given.tempo;
        const double seconds = im::metadata(song.get()).durationSeconds;
        EXPECT_NEAR(seconds, 8 * tickSeconds, tickSeconds);
        EXPECT_DOUBLE_EQ(seconds, 8.0 * static_cast<double>(tickFrames) / given.rate);
    }
    const ModulePointer song = loadBytes(xm_writer::writeModule(module));
    im::Error error{};
    for (const int32_t outside : {7999, 192001, 0, -44100}) {
        EXPECT_FALSE(im::setOutputRate(song.get(), outside, &error)) << outside;
        EXPECT_EQ(error.code, im::ErrorCode::InvalidArgument);
    }
    EXPECT_EQ(im::outputRate(song.get()), 44100);
}

// Asking for 44,100 is the default: the same bytes. A rate changed while
// playing goes on from the same time in the song.
TEST(OutputRate, DefaultRateAndChangesWhilePlaying) {
    const std::vector<uint8_t> bytes = xm_writer::writeModule(loudSong());
    const ModulePointer plain = loadBytes(bytes);
    const std::vector<int16_t> straight = render16(plain.get());
    const ModulePointer asked = loadBytes(bytes);
    ASSERT_TRUE(im::setOutputRate(asked.get(), 44100, nullptr));
    EXPECT_EQ(render16(asked.get()), straight);

    const ModulePointer changed = loadBytes(bytes);
    std::vector<int16_t> frames(2 * 5 * rowFrames);
    ASSERT_EQ(im::render(changed.get(), frames.data(), 5 * rowFrames), 5 * rowFrames);
    ASSERT_TRUE(im::setOutputRate(changed.get(), 48000, nullptr));
    EXPECT_NEAR(im::position(changed.get()).seconds, 5.0 * rowFrames / 44100, 1.0 / 48000);
    const int64_t rest = static_cast<int64_t>(render16(changed.get()).size() / 2);
    EXPECT_NEAR(static_cast<double>(rest), 7.0 * (48000 * 5 / 250), 1.0);
}

// Float output is the mix before conversion: x 32768, rounded and clamped, it
// is the 16-bit render, also where a gain drives it past full scale (float
// is not clipped). Mono is the mean of left and right. The gain scales the
// mix of gain 1 on both sides, whatever the separation.
TEST(OutputForms, FloatAndMonoMatchTheSixteenBitRender) {
    const struct {
        const char* rule;
        double gain;
        int32_t separation;
    } cases[] = {
        {"neutral settings", 1.0, 100},
        {"a gain that clips the 16-bit render", 6.0, 100},
        {"half the gain", 0.5, 100},
        {"no separation", 1.0, 0},
        {"wider than the song", 1.0, 200},
        {"half the gain, wider than the song", 0.5, 200},
    };
    const std::vector<uint8_t> bytes = xm_writer::writeModule(loudSong());
    for (const auto& given : cases) {
        SCOPED_TRACE(given.rule);
        auto prepared = [&] {
            ModulePointer song = loadBytes(bytes);
            im::setMasterGain(song.get(), given.gain);
            im::setStereoSeparation(song.get(), given.separation);
            return song;
        };
        const ModulePointer sixteen = prepared();
        const ModulePointer floating = prepared();
        const ModulePointer mono = prepared();
        const ModulePointer monoFloat = prepared();
        const std::vector<int16_t> pcm = render16(sixteen.get());
        const std::vector<float> mix = renderFloat(floating.get());
        const std::vector<int16_t> monoPcm = renderAll<int16_t>(mono.get(), 1, im::renderMono, 777);
        const std::vector<float> monoMix = renderAll<float>(monoFloat.get(), 1, im::renderMonoFloat, 333);
        const ModulePointer unitGain = loadBytes(bytes);
        im::setStereoSeparation(unitGain.get(), given.separation);
        const std::vector<float> unscaled = renderFloat(unitGain.get());
        ASSERT_EQ(unscaled.size(), mix.size());
        ASSERT_EQ(mix.size(), pcm.size());
        ASSERT_EQ(monoPcm.size() * 2, pcm.size());
        ASSERT_EQ(monoMix.size() * 2, pcm.size());
        size_t differences = 0, notScaled = 0;
        float loudest = 0.0f;
        bool sidesDiffer = false;
        for (size_t index = 0; index < mix.size(); ++index) {
            differences += toPcm16(mix[index]) != pcm[index] ? 1 : 0;
            notScaled += mix[index] != unscaled[index] * static_cast<float>(given.gain) ? 1 : 0;
            loudest = std::max(loudest, std::fabs(mix[index]));
        }
        for (size_t frame = 0; frame < monoMix.size(); ++frame) {
            EXPECT_EQ(monoMix[frame], (mix[2 * frame] + mix[2 * frame + 1]) * 0.5f) << frame;
            EXPECT_EQ(monoPcm[frame], toPcm16(monoMix[frame])) << frame;
            sidesDiffer = sidesDiffer || mix[2 * frame] != mix[2 * frame + 1];
            if (HasFailure()) break;
        }
        EXPECT_EQ(differences, 0u);
        EXPECT_EQ(notScaled, 0u) << "the gain scales both sides";
        EXPECT_EQ(loudest > 1.0f, given.gain > 4.0) << loudest;
        EXPECT_EQ(sidesDiffer, given.separation != 0);
    }
}

// The neutral gain and separation leave every byte; others change the sound.
TEST(OutputForms, NeutralSettingsLeaveTheBytes) {
    const std::vector<uint8_t> bytes = xm_writer::writeModule(loudSong());
    const ModulePointer plain = loadBytes(bytes);
    const std::vector<int16_t> straight = render16(plain.get());
    const ModulePointer neutral = loadBytes(bytes);
    im::setMasterGain(neutral.get(), 1.0);
    im::setStereoSeparation(neutral.get(), 100);
    EXPECT_EQ(render16(neutral.get()), straight);
    const ModulePointer louder = loadBytes(bytes);
    im::setMasterGain(louder.get(), 2.0);
    EXPECT_NE(render16(louder.get()), straight);
}

// Muting every channel gives silence; unmuting gives exactly the bytes that
// never muting gives, because a muted channel plays on unheard.
TEST(ChannelControl, MutingAndVolume) {
    const std::vector<uint8_t> bytes = xm_writer::writeModule(loudSong());
    const ModulePointer plain = loadBytes(bytes);
    const std::vector<int16_t> straight = render16(plain.get());
    const int32_t half = 5000;  // any frame: a change is heard from the next render call

    const ModulePointer muted = loadBytes(bytes);
    for (int32_t channel = 0; channel < 2; ++channel) ASSERT_TRUE(im::setChannelMuted(muted.get(), channel, true));
    std::vector<int16_t> first(2 * static_cast<size_t>(half));
    ASSERT_EQ(im::render(muted.get(), first.data(), half), half);
    EXPECT_TRUE(std::all_of(first.begin(), first.end(), [](int16_t value) { return value == 0; }));
    for (int32_t channel = 0; channel < 2; ++channel) ASSERT_TRUE(im::setChannelMuted(muted.get(), channel, false));
    const std::vector<int16_t> rest = render16(muted.get());
    ASSERT_EQ(rest.size(), straight.size() - first.size());
    EXPECT_TRUE(std::equal(rest.begin(), rest.end(), straight.begin() + static_cast<std::ptrdiff_t>(first.size())));

    // One channel muted: what is left is the other channel alone.
    const ModulePointer leftOnly = loadBytes(bytes);
    const ModulePointer rightOnly = loadBytes(bytes);
    im::setChannelMuted(leftOnly.get(), 1, true);
    im::setChannelVolume(rightOnly.get(), 0, 0.0);
    const std::vector<float> one = renderFloat(leftOnly.get());
    const std::vector<float> other = renderFloat(rightOnly.get());
    const ModulePointer both = loadBytes(bytes);
    const std::vector<float> together = renderFloat(both.get());
    ASSERT_EQ(one.size(), together.size());
    double largestGap = 0.0;
    for (size_t index = 0; index < together.size(); ++index) {
        largestGap = std::max(largestGap, std::fabs(static_cast<double>(one[index] + other[index] - together[index])));
    }
    EXPECT_LT(largestGap, 1e-5);
    EXPECT_FALSE(im::setChannelMuted(both.get(), 2, true));  // the song has two channels
    EXPECT_FALSE(im::setChannelVolume(both.get(), -1, 1.0));
}

// Seeking to a time lands on it within a frame, at the order and row that
// play then on a straight run.
TEST(Seeking, ToTimeLandsWithinATick) {
    xm_writer::ModuleData module = loudSong();
    module.patterns[1].cells[2] = xm_writer::Cell{0, 0, 0, 0xF, 3};  // speed 3 from order 1, row 1
    const ModulePointer song = loadBytes(xm_writer::writeModule(module));
    // Rows: 5 of one tick, then 7 of three ticks.
    auto rowStart = [](int32_t row) { return row <= 5 ? row * rowFrames : 5 * rowFrames + (row - 5) * 3 * rowFrames; };
    const struct {
        const char* rule;
        int32_t row;
        int32_t extraFrames;
    } cases[] = {
        {"the start", 0, 0},
        {"the start of a row", 3, 0},
        {"inside a row", 2, 500},
        {"inside a slower row of a later order", 9, 1234},
        {"the last frame of the pass", 11, 3 * rowFrames - 1},
    };
    for (const auto& given : cases) {
        SCOPED_TRACE(given.rule);
        const int32_t frames = rowStart(given.row) + given.extraFrames;
        const double seconds = frames / 44100.0;
        im::Error error{};
        ASSERT_TRUE(im::seekToTime(song.get(), seconds, &error)) << error.message;
        const im::Position at = im::position(song.get());
        EXPECT_NEAR(at.seconds, seconds, 1.0 / 44100);
        // The engine reads ahead as far as a straight run that has handed out as many frames.
        const ModulePointer straight = loadBytes(xm_writer::writeModule(module));
        std::vector<int16_t> skipped(2 * static_cast<size_t>(std::max(frames, 1)));
        ASSERT_EQ(im::render(straight.get(), skipped.data(), frames), frames);
        const im::Position expected = im::position(straight.get());
        EXPECT_EQ(at.order, expected.order);
        EXPECT_EQ(at.row, expected.row);
        EXPECT_EQ(at.speed, expected.speed);
        EXPECT_EQ(static_cast<int64_t>(render16(song.get()).size() / 2),
                  rowStart(12) - rowStart(given.row) - given.extraFrames);
    }
    im::Error error{};
    const double duration = im::metadata(song.get()).durationSeconds;
    for (const double outside : {-1.0, duration, 1000.0, std::nan(""), double{INFINITY}, -double{INFINITY}}) {
        EXPECT_FALSE(im::seekToTime(song.get(), outside, &error)) << outside << " of " << duration;
        EXPECT_EQ(error.code, im::ErrorCode::InvalidArgument);
    }
}

// A seek takes the speed, tempo and seconds of the first pass where it first
// reaches the place, also where it enters an order after a jump to a row.
TEST(Seeking, ToOrderAndRowKeepTheFirstPassState) {
    // 3 orders x 16 rows; order 0: F03 on row 0, D08 on row 3.
    xm_writer::ModuleData jumping = emptySong(3, 16);
    jumping.patterns[0].cells[0] = xm_writer::Cell{0, 0, 0, 0xF, 3};
    jumping.patterns[0].cells[3] = xm_writer::Cell{0, 0, 0, 0xD, 0x08};
    // 3 orders x 4 rows, the speed and tempo set anew in every order.
    xm_writer::ModuleData changing = emptySong(3, 4);
    changing.patterns[0].cells[0] = xm_writer::Cell{0, 0, 0, 0xF, 2};
    changing.patterns[1].cells[0] = xm_writer::Cell{0, 0, 0, 0xF, 4};
    changing.patterns[1].cells[1] = xm_writer::Cell{0, 0, 0, 0xF, 150};
    const struct {
        const char* rule;
        const xm_writer::ModuleData* song;
        int32_t order;
        int32_t row;  // -1: seekToOrder
        double seconds;
        int32_t speed;
        int32_t tempo;
    } cases[] = {
        {"an order first entered at row 8 after a jump", &jumping, 1, -1, 4 * 3 * 882 / 44100.0, 3, 125},
        {"the row the jump enters at", &jumping, 1, 8, 4 * 3 * 882 / 44100.0, 3, 125},
        {"a later row of that order", &jumping, 1, 10, 6 * 3 * 882 / 44100.0, 3, 125},
        {"the order after it", &jumping, 2, -1, 12 * 3 * 882 / 44100.0, 3, 125},
        {"the speed in force at an order", &changing, 1, -1, 4 * 2 * 882 / 44100.0, 2, 125},
        {"speed and tempo set in the order before", &changing, 2, -1, (8 * 882 + 4 * 882 + 3 * 4 * 735) / 44100.0, 4, 150},
        {"a row after a tempo change", &changing, 1, 3, (8 * 882 + 4 * 882 + 2 * 4 * 735) / 44100.0, 4, 150},
    };
    for (const auto& given : cases) {
        SCOPED_TRACE(given.rule);
        const ModulePointer song = loadBytes(xm_writer::writeModule(*given.song));
        im::Error error{};
        ASSERT_TRUE(given.row < 0 ? im::seekToOrder(song.get(), given.order, &error)
                                  : im::seekToRow(song.get(), given.order, given.row, &error))
            << error.message;
        const im::Position at = im::position(song.get());
        EXPECT_EQ(at.order, given.order);
        EXPECT_EQ(at.row, std::max(given.row, 0));
        EXPECT_NEAR(at.seconds, given.seconds, 1e-9);
        EXPECT_EQ(at.speed, given.speed);
        EXPECT_EQ(at.tempo, given.tempo);
    }
    const ModulePointer song = loadBytes(xm_writer::writeModule(jumping));
    im::Error error{};
    EXPECT_FALSE(im::seekToRow(song.get(), 1, 16, &error));
    EXPECT_EQ(error.code, im::ErrorCode::InvalidArgument);
    EXPECT_FALSE(im::seekToRow(song.get(), 3, 0, &error));
}

// Working out the one pass (duration, seeks) in the middle of a render
// leaves the render untouched, set-finetune writes included.
TEST(Seeking, TheLazyPassLeavesPlaybackAlone) {
    xm_writer::ModuleData module = loudSong();
    module.patterns[0].cells[4] = xm_writer::Cell{40, 1, 0, 0xE, 0x5C};  // set finetune on row 2
    const std::vector<uint8_t> bytes = xm_writer::writeModule(module);
    const ModulePointer plain = loadBytes(bytes);
    const std::vector<int16_t> straight = render16(plain.get());
    const ModulePointer asked = loadBytes(bytes);
    std::vector<int16_t> first(2 * 5 * rowFrames);
    ASSERT_EQ(im::render(asked.get(), first.data(), 5 * rowFrames), 5 * rowFrames);
    EXPECT_DOUBLE_EQ(im::metadata(asked.get()).durationSeconds, 12.0 * rowFrames / 44100);
    std::vector<int16_t> all = first;
    const std::vector<int16_t> rest = render16(asked.get());
    all.insert(all.end(), rest.begin(), rest.end());
    EXPECT_EQ(all, straight);
}

// A row reached again with another pattern-loop start, which a later loop
// jumps to, is not the song coming back.
TEST(Seeking, PassKeyCountsTheLoopRow) {
    // Order 0: E61 on row 1 (loops to the loop row once). Order 1: E60 on row 2.
    xm_writer::ModuleData module = emptySong(2, 4);
    module.patterns[0].cells[1] = xm_writer::Cell{0, 0, 0, 0xE, 0x61};
    module.patterns[1].cells[2] = xm_writer::Cell{0, 0, 0, 0xE, 0x60};
    // Rows played: 0 1 0 1 2 3 | 0-3 (loop row now 2) | 0 1 2 3 (E61 jumps to row 2, its counter left at 1)
    // | 0-3 | 0 1 2 3 (the counter runs out) | then order 1 as the first time: 22 rows, not the 10 up to
    // the second visit of order 0, which goes on differently.
    // The presentation's rules: under the tracker's a pattern after a loop starts at the loop's row.
    const ModulePointer song = loadBytes(xm_writer::writeModule(module));
    ASSERT_TRUE(im::setRules(song.get(), im::Rules::Presentation, nullptr));
    EXPECT_DOUBLE_EQ(im::metadata(song.get()).durationSeconds, 22.0 * rowFrames / 44100);
    // A loop whose start is set again before each use comes back as soon as before.
    xm_writer::ModuleData resetting = emptySong(2, 4);
    resetting.patterns[0].cells[1] = xm_writer::Cell{0, 0, 0, 0xE, 0x60};
    resetting.patterns[0].cells[3] = xm_writer::Cell{0, 0, 0, 0xE, 0x62};
    resetting.patterns[1].cells[2] = xm_writer::Cell{0, 0, 0, 0xE, 0x60};
    const ModulePointer plain = loadBytes(xm_writer::writeModule(resetting));
    ASSERT_TRUE(im::setRules(plain.get(), im::Rules::Presentation, nullptr));
    EXPECT_DOUBLE_EQ(im::metadata(plain.get()).durationSeconds, (1 + 3 * 3 + 4) * rowFrames / 44100.0);
    // A channel with E60 alone never loops: the start it sets in order 1 does not keep order 0 from coming back.
    xm_writer::ModuleData startOnly = emptySong(2, 4);
    startOnly.patterns[1].cells[2] = xm_writer::Cell{0, 0, 0, 0xE, 0x60};
    const ModulePointer once = loadBytes(xm_writer::writeModule(startOnly));
    ASSERT_TRUE(im::setRules(once.get(), im::Rules::Presentation, nullptr));
    EXPECT_DOUBLE_EQ(im::metadata(once.get()).durationSeconds, 8.0 * rowFrames / 44100);
}

// The tempo factor shortens ticks; the pitch factor raises every voice.
TEST(ChannelControl, TempoAndPitchFactors) {
    const std::vector<uint8_t> bytes = xm_writer::writeModule(loudSong());
    const ModulePointer faster = loadBytes(bytes);
    im::setTempoFactor(faster.get(), 2.0);
    EXPECT_EQ(render16(faster.get()).size() / 2, size_t{12 * (rowFrames / 2)});
    EXPECT_DOUBLE_EQ(im::metadata(faster.get()).durationSeconds, 12.0 * (rowFrames / 2) / 44100);

    // One note of a saw wave: a drop at every loop of the sample, twice as many an octave up.
    xm_writer::ModuleData saw = emptySong(1, 12);
    saw.instruments = loudSong().instruments;
    for (int row = 0; row < 12; ++row) saw.patterns[0].cells[static_cast<size_t>(row)] = xm_writer::Cell{49, 1};
    const std::vector<uint8_t> sawBytes = xm_writer::writeModule(saw);
    auto wraps = [](const std::vector<float>& mix) {
        int32_t count = 0;
        for (size_t index = 4; index < mix.size(); index += 2) {
            count += mix[index] < mix[index - 2] && mix[index - 2] >= mix[index - 4] ? 1 : 0;
        }
        return count;
    };
    const ModulePointer plain = loadBytes(sawBytes);
    const ModulePointer higher = loadBytes(sawBytes);
    im::setPitchFactor(higher.get(), 2.0);
    const int32_t plainWraps = wraps(renderFloat(plain.get()));
    const int32_t higherWraps = wraps(renderFloat(higher.get()));
    EXPECT_NEAR(static_cast<double>(higherWraps) / plainWraps, 2.0, 0.1) << plainWraps << " " << higherWraps;
    // The highest factor is 4; past it, NaN and infinity are refused and change nothing.
    for (const auto& [factor, heard] : {std::pair{4.0, 4.0}, {5.0, 1.0}, {std::nan(""), 1.0}, {double{INFINITY}, 1.0}}) {
        const ModulePointer song = loadBytes(sawBytes);
        im::setPitchFactor(song.get(), factor);
        EXPECT_NEAR(wraps(renderFloat(song.get())) / (heard * plainWraps), 1.0, 0.1) << factor;
    }
    // Changed after the first row, the factor holds through every later row's note (same note, same period).
    const ModulePointer changed = loadBytes(sawBytes);
    std::vector<float> firstRow(2 * rowFrames);
    ASSERT_EQ(im::renderFloat(changed.get(), firstRow.data(), rowFrames), rowFrames);
    im::setPitchFactor(changed.get(), 2.0);
    const std::vector<float> later = renderFloat(changed.get());
    EXPECT_NEAR(wraps(later) / (higherWraps * 11.0 / 12.0), 1.0, 0.1) << wraps(later) << " of " << higherWraps;
    const ModulePointer back = loadBytes(bytes);
    im::setPitchFactor(back.get(), 2.0);
    im::setPitchFactor(back.get(), 1.0);
    const ModulePointer untouched = loadBytes(bytes);
    EXPECT_EQ(render16(back.get()), render16(untouched.get()));
}

// Every control at and past its limits, each row one rule: the gain heard on channel 0 (channel 1 muted) against
// the plain render, signed, so a phase inversion shows; or the duration the tempo factor gives.
TEST(Controls, LimitsOfEveryControl) {
    const std::vector<uint8_t> bytes = xm_writer::writeModule(loudSong());
    const auto heard = [&](void (*apply)(im::Module*)) {
        const ModulePointer song = loadBytes(bytes);
        im::setChannelMuted(song.get(), 1, true);
        if (apply != nullptr) apply(song.get());
        return renderFloat(song.get());
    };
    const std::vector<float> plain = heard(nullptr);
    const struct {
        const char* rule;
        void (*apply)(im::Module*);
        double gain;
    } gains[] = {
        {"channel volume 0 is silence", [](im::Module* m) { im::setChannelVolume(m, 0, 0.0); }, 0.0},
        {"channel volume 16 is the highest", [](im::Module* m) { im::setChannelVolume(m, 0, 16.0); }, 16.0},
        {"channel volume past 16 is refused", [](im::Module* m) { im::setChannelVolume(m, 0, 16.5); }, 1.0},
        {"a negative channel volume is refused, never the channel inverted",
         [](im::Module* m) { im::setChannelVolume(m, 0, -1.0); }, 1.0},
        {"a NaN channel volume changes nothing", [](im::Module* m) { im::setChannelVolume(m, 0, std::nan("")); }, 1.0},
        {"an infinite channel volume changes nothing", [](im::Module* m) { im::setChannelVolume(m, 0, INFINITY); }, 1.0},
        {"gain 0 is silence", [](im::Module* m) { im::setMasterGain(m, 0.0); }, 0.0},
        {"gain 16 is the highest", [](im::Module* m) { im::setMasterGain(m, 16.0); }, 16.0},
        {"gain past 16 is refused", [](im::Module* m) { im::setMasterGain(m, 17.0); }, 1.0},
        {"a negative gain is refused", [](im::Module* m) { im::setMasterGain(m, -1.0); }, 1.0},
        {"a NaN gain changes nothing", [](im::Module* m) { im::setMasterGain(m, std::nan("")); }, 1.0},
        {"an infinite gain changes nothing", [](im::Module* m) { im::setMasterGain(m, -INFINITY); }, 1.0},
    };
    double plainEnergy = 0.0;
    for (const float value : plain) plainEnergy += static_cast<double>(value) * value;
    ASSERT_GT(plainEnergy, 0.0);
    for (const auto& row : gains) {
        const std::vector<float> mix = heard(row.apply);
        ASSERT_EQ(mix.size(), plain.size()) << row.rule;
        double product = 0.0;
        for (size_t index = 0; index < mix.size(); ++index) product += static_cast<double>(mix[index]) * plain[index];
        EXPECT_NEAR(product / plainEnergy, row.gain, 1e-3) << row.rule;
    }

    // 12 rows of one tick, floor(882 / factor) frames each; a refused factor leaves 882.
    const struct {
        const char* rule;
        double factor;
        int32_t tickFrames;
    } tempos[] = {
        {"tempo factor 0.25 is the lowest", 0.25, 3528}, {"below 0.25 is refused", 0.2, 882},
        {"a negative factor is refused", -1.0, 882},      {"tempo factor 4 is the highest", 4.0, 220},
        {"past 4 is refused", 5.0, 882},                  {"NaN changes nothing", std::nan(""), 882},
        {"infinity changes nothing", INFINITY, 882},
    };
    for (const auto& row : tempos) {
        const ModulePointer song = loadBytes(bytes);
        im::setTempoFactor(song.get(), row.factor);
        EXPECT_DOUBLE_EQ(im::metadata(song.get()).durationSeconds, 12.0 * row.tickFrames / 44100) << row.rule;
    }

    const struct {
        const char* rule;
        int32_t rate;
        bool accepted;
    } rates[] = {
        {"8000 Hz is the lowest rate", 8000, true},     {"7999 Hz is refused", 7999, false},
        {"192000 Hz is the highest", 192000, true},     {"192001 Hz is refused", 192001, false},
        {"a negative rate is refused", -44100, false},  {"0 is refused", 0, false},
    };
    for (const auto& row : rates) {
        const ModulePointer song = loadBytes(bytes);
        im::Error error{};
        EXPECT_EQ(im::setOutputRate(song.get(), row.rate, &error), row.accepted) << row.rule;
        EXPECT_EQ(im::outputRate(song.get()), row.accepted ? row.rate : 44100) << row.rule;
        EXPECT_EQ(error.code, row.accepted ? im::ErrorCode::None : im::ErrorCode::InvalidArgument) << row.rule;
    }

    // Separation: below 0 and above 200 are refused, the song's own image kept.
    const auto separated = [&](int32_t percent) {
        const ModulePointer song = loadBytes(bytes);
        im::setStereoSeparation(song.get(), percent);
        return render16(song.get());
    };
    EXPECT_EQ(separated(-5), separated(100));
    EXPECT_EQ(separated(250), separated(100));
    EXPECT_NE(separated(200), separated(100));
    EXPECT_NE(separated(0), separated(100));
}

// A change during playback is heard from the first frame of the next render call, not before, not later.
TEST(Controls, ChangesDuringPlaybackAreHeardFromTheNextCall) {
    const std::vector<uint8_t> bytes = xm_writer::writeModule(loudSong());
    const std::vector<float> plain = renderFloat(loadBytes(bytes).get());
    constexpr int32_t changedAt = 3 * 884 + 100;  // frames handed out before the change
    constexpr int32_t nextCall = changedAt;
    const struct {
        const char* rule;
        void (*apply)(im::Module*);
        int32_t firstChangedFrame;
    } changes[] = {
        {"muting", [](im::Module* m) { im::setChannelMuted(m, 0, true); }, nextCall},
        {"a channel volume", [](im::Module* m) { im::setChannelVolume(m, 1, 0.5); }, nextCall},
        {"the gain", [](im::Module* m) { im::setMasterGain(m, 0.5); }, nextCall},
        {"the separation", [](im::Module* m) { im::setStereoSeparation(m, 0); }, nextCall},
        // The call's first frame is read where the voices stand; the new step moves them from there.
        {"the pitch factor", [](im::Module* m) { im::setPitchFactor(m, 1.5); }, nextCall + 1},
        // The tick under way plays its frames left at the new tempo: 776 of the tick from 2646 become 388, so the
        // next row starts at 3140, where its notes ramp in from silence (heard one frame on).
        {"the tempo factor", [](im::Module* m) { im::setTempoFactor(m, 2.0); },
         changedAt + (4 * rowFrames - changedAt) / 2 + 1},
    };
    for (const auto& change : changes) {
        SCOPED_TRACE(change.rule);
        const ModulePointer song = loadBytes(bytes);
        std::vector<float> mix(2 * static_cast<size_t>(changedAt));
        ASSERT_EQ(im::renderFloat(song.get(), mix.data(), changedAt), changedAt);
        change.apply(song.get());
        const std::vector<float> rest = renderFloat(song.get());
        mix.insert(mix.end(), rest.begin(), rest.end());
        const auto firstDifference = std::mismatch(mix.begin(), mix.end(), plain.begin()).first - mix.begin();
        EXPECT_EQ(firstDifference / 2, change.firstChangedFrame);
    }
}

// Names, cells and the probe read what the file holds.
TEST(SongInformation, NamesCellsAndProbe) {
    const std::vector<uint8_t> bytes = xm_writer::writeModule(loudSong());
    const ModulePointer song = loadBytes(bytes);
    EXPECT_STREQ(im::instrumentName(song.get(), 1), "lead");
    EXPECT_EQ(im::sampleCount(song.get(), 1), 1);
    EXPECT_STREQ(im::sampleName(song.get(), 1, 0), "saw wave");
    EXPECT_STREQ(im::instrumentName(song.get(), 2), "");
    EXPECT_STREQ(im::sampleName(song.get(), 1, 1), "");
    EXPECT_EQ(im::patternRows(song.get(), 2), 4);
    EXPECT_EQ(im::patternRows(song.get(), 3), 0);
    im::PatternCell cell{};
    ASSERT_TRUE(im::patternCell(song.get(), 1, 2, 1, &cell));
    EXPECT_EQ(cell.note, 49 + 6);
    EXPECT_EQ(cell.instrument, 1);
    EXPECT_EQ(cell.effect, 8);
    EXPECT_EQ(cell.parameter, 0xE0);
    EXPECT_FALSE(im::patternCell(song.get(), 1, 4, 0, &cell));
    xm_writer::ModuleData keyOff = loudSong();
    keyOff.patterns[0].cells[0].note = 97;
    const ModulePointer keyedOff = loadBytes(xm_writer::writeModule(keyOff));
    ASSERT_TRUE(im::patternCell(keyedOff.get(), 0, 0, 0, &cell));
    EXPECT_EQ(cell.note, 97) << "a key-off reads back as the file's 97";
    EXPECT_FALSE(im::patternCell(song.get(), 1, 0, 2, &cell));

    std::vector<uint8_t> text(400, 'x');
    std::vector<uint8_t> tooManyChannels = bytes;
    put16(tooManyChannels, xm_writer::channelCountOffset, 33);
    std::vector<uint8_t> noChannels = bytes;
    put16(noChannels, xm_writer::channelCountOffset, 0);
    const auto first = [](const std::vector<uint8_t>& all, size_t count) {
        return std::vector<uint8_t>(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(count));
    };
    xm_writer::ModuleData longest = loudSong();
    longest.orders.assign(256, 0);
    const std::vector<uint8_t> allOrders = xm_writer::writeModule(longest);
    std::vector<uint8_t> tooManyOrders = allOrders;
    put16(tooManyOrders, xm_writer::songLengthOffset, 257);
    const std::string hello = "hello";
    const struct {
        const char* rule;
        std::vector<uint8_t> bytes;
        im::Probe expected;
    } cases[] = {
        {"the longest order list the loader takes, 256 entries", allOrders, im::Probe::Song},
        {"an order count past the table's 256", tooManyOrders, im::Probe::NotASong},
        {"a whole song", bytes, im::Probe::Song},
        {"its first probeBytes, the counts included", first(bytes, im::probeBytes), im::Probe::Song},
        {"64 bytes lack the counts the loader checks", first(bytes, 64), im::Probe::NeedMoreBytes},
        {"64 bytes of a header with 0 channels cannot tell yet", first(noChannels, 64), im::Probe::NeedMoreBytes},
        {"a channel count of 0 is no song once its two bytes are there", first(noChannels, 70), im::Probe::NotASong},
        {"too few bytes of a song to tell", first(bytes, 20), im::Probe::NeedMoreBytes},
        {"five bytes that are no signature's start", std::vector<uint8_t>(hello.begin(), hello.end()),
         im::Probe::NotASong},
        {"text", text, im::Probe::NotASong},
        {"a channel count the loader refuses", tooManyChannels, im::Probe::NotASong},
    };
    for (const auto& given : cases) {
        EXPECT_EQ(im::probe(given.bytes.data(), given.bytes.size()), given.expected) << given.rule;
        EXPECT_EQ(im::probeBytesNeeded(given.bytes.data(), given.bytes.size()),
                  given.expected == im::Probe::NeedMoreBytes ? im::probeBytes : 0u)
            << given.rule;
    }
    EXPECT_FALSE(im::loadFromMemory(noChannels.data(), noChannels.size(), nullptr)) << "the loader refuses it too";
    EXPECT_EQ(im::probe(nullptr, 100), im::Probe::NeedMoreBytes);
}

// A file cut short loads, and says what it lacks.
TEST(SongInformation, LoadWarningsNameTheDamage) {
    xm_writer::ModuleData module = loudSong();
    module.instruments.push_back(module.instruments[0]);
    const std::vector<uint8_t> bytes = xm_writer::writeModule(module);
    const size_t instruments = instrumentOffset(bytes, 0);
    const size_t secondSampleData = sampleHeaderOffset(bytes, 1, 0) + sampleHeaderBytes;
    const struct {
        const char* rule;
        size_t length;
        std::vector<std::string> warnings;
    } cases[] = {
        {"an intact song", bytes.size(), {}},
        {"cut inside the last sample's data", bytes.size() - 10, {"sample data: 1 sample is"}},
        {"cut before the last sample's data", secondSampleData, {"sample data: 1 sample is"}},
        {"cut inside the instruments, the next one missing", instruments + 100, {"instruments: 2 instruments are"}},
        {"cut inside the patterns", xm_writer::firstPatternOffset + 12,
         {"patterns: 3 patterns are", "instruments: 2 instruments are"}},
    };
    for (const auto& given : cases) {
        SCOPED_TRACE(given.rule);
        const ModulePointer song = loadBytes(std::vector<uint8_t>(bytes.begin(), bytes.begin() + given.length));
        ASSERT_NE(song, nullptr);
        ASSERT_EQ(im::loadWarningCount(song.get()), static_cast<int32_t>(given.warnings.size()));
        for (size_t index = 0; index < given.warnings.size(); ++index) {
            EXPECT_NE(std::string(im::loadWarning(song.get(), static_cast<int32_t>(index))).find(given.warnings[index]),
                      std::string::npos)
                << im::loadWarning(song.get(), static_cast<int32_t>(index));
        }
        EXPECT_EQ(im::loadWarning(song.get(), static_cast<int32_t>(given.warnings.size())), nullptr);
    }
}

// The C interface is the same engine: the same bytes, positions and errors.
TEST(CInterface, SameBytesAsTheCppCalls) {
    const std::vector<uint8_t> bytes = xm_writer::writeModule(loudSong());
    const ModulePointer cpp = loadBytes(bytes);
    im::setOutputRate(cpp.get(), 48000, nullptr);
    im::setChannelMuted(cpp.get(), 1, true);
    const std::vector<float> expected = renderFloat(cpp.get());

    intro_music_error error{};
    intro_music_module* song = intro_music_load_from_memory(bytes.data(), bytes.size(), &error);
    ASSERT_NE(song, nullptr) << error.message;
    EXPECT_EQ(intro_music_set_output_rate(song, 48000, &error), 1);
    EXPECT_EQ(intro_music_set_channel_muted(song, 1, 1), 1);
    EXPECT_EQ(intro_music_set_channel_volume(song, 2, 1.0), 0) << "the song has two channels";
    std::vector<float> frames;
    float chunk[2 * 500];
    for (int32_t count; (count = intro_music_render_float(song, chunk, 500)) > 0;) {
        frames.insert(frames.end(), chunk, chunk + 2 * count);
    }
    EXPECT_EQ(frames, expected);
    EXPECT_EQ(intro_music_ended(song), 1);
    const intro_music_metadata info = intro_music_get_metadata(song);
    EXPECT_EQ(info.channels, 2);
    EXPECT_STREQ(intro_music_instrument_name(song, 1), "lead");
    EXPECT_EQ(intro_music_seek_to_order(song, 9, &error), 0);
    EXPECT_EQ(error.code, INTRO_MUSIC_INVALID_ARGUMENT);
    EXPECT_NE(std::string(error.message).find("outside the order list"), std::string::npos);
    EXPECT_EQ(intro_music_seek_to_row(song, 1, 2, &error), 1);
    ASSERT_TRUE(im::seekToRow(cpp.get(), 1, 2, nullptr));
    // Every record field by field: a swap of two fields of one type would pass a spot check.
    const im::Position at = im::position(cpp.get());
    const intro_music_position cAt = intro_music_get_position(song);
    EXPECT_EQ(cAt.order, at.order);
    EXPECT_EQ(cAt.pattern, at.pattern);
    EXPECT_EQ(cAt.row, at.row);
    EXPECT_EQ(cAt.seconds, at.seconds);
    EXPECT_EQ(cAt.passes_completed, at.passesCompleted);
    EXPECT_EQ(cAt.speed, at.speed);
    EXPECT_EQ(cAt.tempo, at.tempo);
    EXPECT_NE(at.speed, at.tempo) << "the song must tell the two apart";
    const im::Metadata cppInfo = im::metadata(cpp.get());
    EXPECT_STREQ(info.title, cppInfo.title);
    EXPECT_STREQ(info.tracker_name, cppInfo.trackerName);
    EXPECT_EQ(info.channels, cppInfo.channels);
    EXPECT_EQ(info.orders, cppInfo.orders);
    EXPECT_EQ(info.patterns, cppInfo.patterns);
    EXPECT_EQ(info.instruments, cppInfo.instruments);
    EXPECT_EQ(info.samples, cppInfo.samples);
    EXPECT_EQ(info.linear_frequencies, cppInfo.linearFrequencies ? 1 : 0);
    EXPECT_EQ(info.initial_speed, cppInfo.initialSpeed);
    EXPECT_EQ(info.initial_bpm, cppInfo.initialBpm);
    EXPECT_EQ(info.restart_position, cppInfo.restartPosition);
    EXPECT_EQ(info.duration_seconds, cppInfo.durationSeconds);
    im::PatternCell cell{};
    intro_music_pattern_cell cCell{};
    ASSERT_TRUE(im::patternCell(cpp.get(), 1, 2, 1, &cell));
    ASSERT_EQ(intro_music_get_pattern_cell(song, 1, 2, 1, &cCell), 1);
    EXPECT_EQ(std::vector<int>({cCell.note, cCell.instrument, cCell.volume, cCell.effect, cCell.parameter}),
              std::vector<int>({cell.note, cell.instrument, cell.volume, cell.effect, cell.parameter}));
    intro_music_free(song);
    EXPECT_EQ(intro_music_load_from_memory("x", 1, &error), nullptr);
    EXPECT_EQ(error.code, INTRO_MUSIC_NOT_A_SONG);
    EXPECT_EQ(intro_music_probe(bytes.data(), bytes.size()), INTRO_MUSIC_PROBE_SONG);
    EXPECT_EQ(intro_music_load_with_callbacks(nullptr, "song", &error), nullptr);
    EXPECT_EQ(error.code, INTRO_MUSIC_INVALID_ARGUMENT);
    intro_music_free(nullptr);
}

// The C observer sees the ticks the C++ one sees, and the C channel states
// are the C++ ones.
TEST(CInterface, TickObserverAndChannelStates) {
    const std::vector<uint8_t> bytes = xm_writer::writeModule(loudSong());
    std::vector<std::vector<int32_t>> cppTicks;
    std::vector<std::vector<int32_t>> cTicks;
    const ModulePointer cpp = loadBytes(bytes);
    im::setTickObserver(
        cpp.get(),
        [](void* user, const im::Module*, const im::TickInfo& tick) {
            static_cast<std::vector<std::vector<int32_t>>*>(user)->push_back({tick.order, tick.row, tick.tick});
        },
        &cppTicks);
    intro_music_module* song = intro_music_load_from_memory(bytes.data(), bytes.size(), nullptr);
    ASSERT_NE(song, nullptr);
    intro_music_set_tick_observer(
        song,
        [](void* user, const intro_music_module* module, const intro_music_tick_info* tick) {
            EXPECT_NE(module, nullptr);
            static_cast<std::vector<std::vector<int32_t>>*>(user)->push_back({tick->order, tick->row, tick->tick});
        },
        &cTicks);
    std::vector<float> frames(2 * 3000);
    ASSERT_EQ(im::renderFloat(cpp.get(), frames.data(), 3000), 3000);
    ASSERT_EQ(intro_music_render_float(song, frames.data(), 3000), 3000);
    EXPECT_EQ(cTicks, cppTicks);
    EXPECT_EQ(cTicks.size(), 4u) << "ticks at frames 0, 882, 1764 and 2646";
    im::ChannelState expected[2]{};
    intro_music_channel_state states[3]{};
    ASSERT_EQ(im::channelStates(cpp.get(), expected, 2), 2);
    ASSERT_EQ(intro_music_channel_states(song, states, 3), 2);
    for (int32_t channel = 0; channel < 2; ++channel) {
        EXPECT_EQ(states[channel].active, expected[channel].active ? 1 : 0);
        EXPECT_EQ(states[channel].note, expected[channel].note);
        EXPECT_EQ(states[channel].frequency, expected[channel].frequency);
        EXPECT_EQ(states[channel].panning, expected[channel].panning);
        EXPECT_EQ(states[channel].instrument, expected[channel].instrument);
        EXPECT_EQ(states[channel].period, expected[channel].period);
        EXPECT_EQ(states[channel].period_offset, expected[channel].periodOffset);
        EXPECT_EQ(states[channel].volume, expected[channel].volume);
        EXPECT_EQ(states[channel].voice_volume, expected[channel].voiceVolume);
    }
    EXPECT_NE(expected[0].period, expected[0].periodOffset) << "so a swap of the two shows";
    EXPECT_EQ(states[2].note, 0) << "past the song's channels nothing is written";
    intro_music_set_tick_observer(song, nullptr, nullptr);
    ASSERT_EQ(intro_music_render_float(song, frames.data(), 1000), 1000);
    EXPECT_EQ(cTicks.size(), 4u) << "a removed observer hears nothing";
    intro_music_free(song);
}
