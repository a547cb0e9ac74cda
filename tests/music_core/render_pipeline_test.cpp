// The render pipeline and the settings as a game engine leans on them: the
// output forms mixed freely at any chunk size across the end of a pass,
// every setting heard from the next render call at every rate, positions
// exact to the frame, checked setters, seeks into pattern loops, rate
// changes that keep the passes, and the order list and channel levels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include "api_test_songs.h"
#include "intro_music.h"
#include "intro_music_c.h"
#include "test_modules.h"
#include "xm_writer.h"

using namespace test_modules;
using namespace api_test_songs;
namespace im = intro_music;

namespace {

// Every stereo float frame a render gives until it gives 0, in chunks of `chunk`.
std::vector<float> floatsUntilEnd(im::Module* module, int32_t chunk) {
    std::vector<float> all;
    std::vector<float> buffer(2 * static_cast<size_t>(chunk));
    int32_t count = 0;
    while ((count = im::renderFloat(module, buffer.data(), chunk)) > 0) {
        all.insert(all.end(), buffer.begin(), buffer.begin() + 2 * count);
    }
    return all;
}

std::vector<float> floatFrames(im::Module* module, int32_t frames) {
    std::vector<float> out(2 * static_cast<size_t>(frames));
    EXPECT_EQ(im::renderFloat(module, out.data(), frames), frames);
    return out;
}

int16_t toPcm16(float value) {
    return static_cast<int16_t>(std::nearbyint(std::clamp(value * 32768.0f, -32768.0f, 32767.0f)));
}

enum class Form { Stereo16, StereoFloat, Mono16, MonoFloat, EachInTurn };

// Renders up to `frames` frames in `form` and appends them as stereo floats
// (16-bit values / 32768; mono frames twice), so that every form compares
// with the float render: converted the same way, they must be its values.
int32_t renderAs(im::Module* module, Form form, int32_t frames, std::vector<float>& stereo, std::vector<int16_t>& pcm) {
    std::vector<float> floats(2 * static_cast<size_t>(frames));
    std::vector<int16_t> shorts(2 * static_cast<size_t>(frames));
    int32_t count = 0;
    switch (form) {
        case Form::Stereo16: count = im::render(module, shorts.data(), frames); break;
        case Form::StereoFloat: count = im::renderFloat(module, floats.data(), frames); break;
        case Form::Mono16: count = im::renderMono(module, shorts.data(), frames); break;
        case Form::MonoFloat: count = im::renderMonoFloat(module, floats.data(), frames); break;
        case Form::EachInTurn: return 0;
    }
    for (int32_t frame = 0; frame < count; ++frame) {
        for (int32_t side = 0; side < 2; ++side) {
            switch (form) {
                case Form::Stereo16: pcm.push_back(shorts[2 * static_cast<size_t>(frame) + side]); break;
                case Form::StereoFloat: stereo.push_back(floats[2 * static_cast<size_t>(frame) + side]); break;
                case Form::Mono16: pcm.push_back(shorts[static_cast<size_t>(frame)]); break;
                case Form::MonoFloat: stereo.push_back(floats[static_cast<size_t>(frame)]); break;
                case Form::EachInTurn: break;
            }
        }
        if (form == Form::Stereo16 || form == Form::Mono16) stereo.push_back(0.0f), stereo.push_back(0.0f);
        else pcm.push_back(0), pcm.push_back(0);
    }
    return count;
}

}  // namespace

// Every form at every chunk size hands out exactly the frames of one pass,
// ends, and after a raised repeat count goes on from the very next frame:
// nothing is dropped at the end of a pass, whatever the form.
TEST(RenderForms, MixFreelyAtEveryChunkSizeAcrossTheEnd) {
    const std::vector<uint8_t> bytes = xm_writer::writeModule(loudSong());
    const ModulePointer reference = loadBytes(bytes);
    ASSERT_TRUE(im::setRepeatCount(reference.get(), 1));
    const std::vector<float> twoPasses = floatsUntilEnd(reference.get(), 1000);
    const size_t passFrames = 12 * rowFrames;
    ASSERT_EQ(twoPasses.size(), 2 * 2 * passFrames);
    const Form forms[] = {Form::Stereo16, Form::StereoFloat, Form::Mono16, Form::MonoFloat, Form::EachInTurn};
    const char* formNames[] = {"render", "renderFloat", "renderMono", "renderMonoFloat", "each form in turn"};
    for (size_t formIndex = 0; formIndex < std::size(forms); ++formIndex) {
        for (const int32_t chunk : {1, 7, 884, 4096}) {
            SCOPED_TRACE(testing::Message() << formNames[formIndex] << " in chunks of " << chunk);
            const ModulePointer song = loadBytes(bytes);
            std::vector<float> stereo;
            std::vector<int16_t> pcm;
            std::vector<Form> used;  // per frame
            int32_t turn = 0;
            auto renderPass = [&] {
                for (;;) {
                    const Form form = forms[formIndex] == Form::EachInTurn ? forms[turn++ % 4] : forms[formIndex];
                    const int32_t count = renderAs(song.get(), form, chunk, stereo, pcm);
                    used.insert(used.end(), static_cast<size_t>(count), form);
                    if (count < chunk) return;
                }
            };
            renderPass();
            EXPECT_EQ(used.size(), passFrames) << "one pass, then the end";
            EXPECT_TRUE(im::ended(song.get()));
            ASSERT_TRUE(im::setRepeatCount(song.get(), 1));
            EXPECT_FALSE(im::ended(song.get()));
            renderPass();
            ASSERT_EQ(used.size(), 2 * passFrames) << "the second pass from the frame after the first";
            for (size_t frame = 0; frame < used.size(); ++frame) {
                const float left = twoPasses[2 * frame];
                const float right = twoPasses[2 * frame + 1];
                const bool mono = used[frame] == Form::Mono16 || used[frame] == Form::MonoFloat;
                const float expectedLeft = mono ? (left + right) * 0.5f : left;
                const float expectedRight = mono ? (left + right) * 0.5f : right;
                if (used[frame] == Form::Stereo16 || used[frame] == Form::Mono16) {
                    ASSERT_EQ(pcm[2 * frame], toPcm16(expectedLeft)) << frame;
                    ASSERT_EQ(pcm[2 * frame + 1], toPcm16(expectedRight)) << frame;
                } else {
                    ASSERT_EQ(stereo[2 * frame], expectedLeft) << frame;
                    ASSERT_EQ(stereo[2 * frame + 1], expectedRight) << frame;
                }
            }
        }
    }
}

// A setting is heard from the first frame of the next render call, at every
// rate, after a seek too; unmuting gives exactly the never-muted frames.
TEST(Settings, HeardFromTheNextRenderCall) {
    const std::vector<uint8_t> bytes = xm_writer::writeModule(loudSong());
    using Check = std::function<void(const std::vector<float>& changed, const std::vector<float>& plain)>;
    const Check silent = [](const std::vector<float>& changed, const std::vector<float>&) {
        EXPECT_TRUE(std::all_of(changed.begin(), changed.end(), [](float value) { return value == 0.0f; }));
    };
    const struct {
        const char* rule;
        std::function<bool(im::Module*)> change;
        Check check;
    } settings[] = {
        {"every channel muted is silence",
         [](im::Module* song) { return im::setChannelMuted(song, 0, true) && im::setChannelMuted(song, 1, true); },
         silent},
        {"every channel at volume 0 is silence",
         [](im::Module* song) { return im::setChannelVolume(song, 0, 0.0) && im::setChannelVolume(song, 1, 0.0); },
         silent},
        {"a master gain of 0 is silence", [](im::Module* song) { return im::setMasterGain(song, 0.0); }, silent},
        {"a master gain of 2 doubles every value", [](im::Module* song) { return im::setMasterGain(song, 2.0); },
         [](const std::vector<float>& changed, const std::vector<float>& plain) {
             for (size_t index = 0; index < changed.size(); ++index) ASSERT_EQ(changed[index], 2.0f * plain[index]);
         }},
        {"no separation puts both sides in the middle",
         [](im::Module* song) { return im::setStereoSeparation(song, 0); },
         [](const std::vector<float>& changed, const std::vector<float>&) {
             for (size_t frame = 0; frame < changed.size() / 2; ++frame)
                 ASSERT_EQ(changed[2 * frame], changed[2 * frame + 1]) << frame;
         }},
        {"a pitch factor changes the second frame on",
         [](im::Module* song) { return im::setPitchFactor(song, 2.0); },
         [](const std::vector<float>& changed, const std::vector<float>& plain) {
             EXPECT_TRUE(changed[2] != plain[2] || changed[3] != plain[3]);
         }},
        {"muting and unmuting again gives the never-muted frames",
         [](im::Module* song) {
             std::vector<float> unheard(2 * 600);
             return im::setChannelMuted(song, 1, true) && im::renderFloat(song, unheard.data(), 600) == 600 &&
                    im::setChannelMuted(song, 1, false);
         },
         nullptr},
    };
    for (const int32_t rate : {8000, 44100, 48000}) {
        for (const bool seek : {false, true}) {
            for (const auto& setting : settings) {
                SCOPED_TRACE(testing::Message() << setting.rule << " at " << rate << " Hz" << (seek ? " after a seek" : ""));
                auto prepared = [&] {
                    ModulePointer song = loadBytes(bytes);
                    EXPECT_TRUE(im::setOutputRate(song.get(), rate, nullptr));
                    if (seek) {
                        EXPECT_TRUE(im::seekToTime(song.get(), 0.03, nullptr));
                    }
                    floatFrames(song.get(), 500);
                    return song;
                };
                const ModulePointer changed = prepared();
                const ModulePointer plain = prepared();
                ASSERT_TRUE(setting.change(changed.get()));
                if (setting.check == nullptr) {
                    floatFrames(plain.get(), 600);
                    EXPECT_EQ(floatFrames(changed.get(), 300), floatFrames(plain.get(), 300));
                    continue;
                }
                setting.check(floatFrames(changed.get(), 300), floatFrames(plain.get(), 300));
            }
        }
    }
}

// The tempo factor reaches the tick under way: the next row comes sooner.
TEST(Settings, TempoFactorShortensTheTickUnderWay) {
    const ModulePointer song = loadBytes(xm_writer::writeModule(emptySong(1, 8)));
    floatFrames(song.get(), rowFrames / 2);
    ASSERT_TRUE(im::setTempoFactor(song.get(), 2.0));
    const int32_t left = (rowFrames - rowFrames / 2 + 1) / 2;  // half of them, rounded
    floatFrames(song.get(), left - 1);
    EXPECT_EQ(im::position(song.get()).row, 0);
    floatFrames(song.get(), 1);
    EXPECT_EQ(im::position(song.get()).row, 1) << "half the frames left in the tick at twice the tempo";
}

// Position tells the row of the next frame to be handed out, at every rate.
TEST(Settings, PositionIsExactToTheFrameHandedOut) {
    for (const int32_t rate : {8000, 44100, 96000}) {
        SCOPED_TRACE(rate);
        const ModulePointer song = loadBytes(xm_writer::writeModule(emptySong(1, 16)));
        ASSERT_TRUE(im::setOutputRate(song.get(), rate, nullptr));
        const int32_t tick = rate * 5 / 250;
        floatFrames(song.get(), 3 * tick - 1);
        EXPECT_EQ(im::position(song.get()).row, 2);
        EXPECT_DOUBLE_EQ(im::position(song.get()).seconds, (3.0 * tick - 1) / rate);
        floatFrames(song.get(), 1);
        EXPECT_EQ(im::position(song.get()).row, 3);
    }
}

// Setters take what is in range and refuse the rest, changing nothing.
TEST(Settings, SettersRefuseWhatIsOutOfRange) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const struct {
        const char* rule;
        std::function<bool(im::Module*)> set;
        bool taken;
    } cases[] = {
        {"tempo factor 100 is past 4", [](im::Module* m) { return im::setTempoFactor(m, 100.0); }, false},
        {"tempo factor NaN", [&](im::Module* m) { return im::setTempoFactor(m, nan); }, false},
        {"tempo factor 0", [](im::Module* m) { return im::setTempoFactor(m, 0.0); }, false},
        {"tempo factor just under 0.25", [](im::Module* m) { return im::setTempoFactor(m, 0.2499); }, false},
        {"tempo factor 0.25, the lowest", [](im::Module* m) { return im::setTempoFactor(m, 0.25); }, true},
        {"pitch factor 0", [](im::Module* m) { return im::setPitchFactor(m, 0.0); }, false},
        {"pitch factor NaN", [&](im::Module* m) { return im::setPitchFactor(m, nan); }, false},
        {"pitch factor infinite", [&](im::Module* m) { return im::setPitchFactor(m, infinity); }, false},
        {"pitch factor 4, the highest", [](im::Module* m) { return im::setPitchFactor(m, 4.0); }, true},
        {"gain below 0", [](im::Module* m) { return im::setMasterGain(m, -0.5); }, false},
        {"gain past 16", [](im::Module* m) { return im::setMasterGain(m, 16.5); }, false},
        {"gain infinite", [&](im::Module* m) { return im::setMasterGain(m, infinity); }, false},
        {"gain 16, the highest", [](im::Module* m) { return im::setMasterGain(m, 16.0); }, true},
        {"separation below 0", [](im::Module* m) { return im::setStereoSeparation(m, -1); }, false},
        {"separation past 200", [](im::Module* m) { return im::setStereoSeparation(m, 201); }, false},
        {"separation 200", [](im::Module* m) { return im::setStereoSeparation(m, 200); }, true},
        {"repeat count below -1", [](im::Module* m) { return im::setRepeatCount(m, -2); }, false},
        {"repeat count -1, for ever", [](im::Module* m) { return im::setRepeatCount(m, -1); }, true},
        {"channel volume NaN", [&](im::Module* m) { return im::setChannelVolume(m, 0, nan); }, false},
        {"channel volume past 16", [](im::Module* m) { return im::setChannelVolume(m, 0, 17.0); }, false},
        {"channel volume 0", [](im::Module* m) { return im::setChannelVolume(m, 0, 0.0); }, true},
        {"a channel the song lacks", [](im::Module* m) { return im::setChannelMuted(m, 2, true); }, false},
    };
    const std::vector<uint8_t> bytes = xm_writer::writeModule(loudSong());
    const ModulePointer untouched = loadBytes(bytes);
    const std::vector<float> plain = floatsUntilEnd(untouched.get(), 1000);
    for (const auto& given : cases) {
        SCOPED_TRACE(given.rule);
        const ModulePointer song = loadBytes(bytes);
        EXPECT_EQ(given.set(song.get()), given.taken);
        if (!given.taken) {
            EXPECT_EQ(floatsUntilEnd(song.get(), 1000), plain) << "a refused value changes nothing";
        }
        EXPECT_FALSE(given.set(nullptr));
    }
    const ModulePointer song = loadBytes(bytes);
    auto* c = reinterpret_cast<intro_music_module*>(song.get());
    EXPECT_EQ(intro_music_set_tempo_factor(c, 100.0), 0);
    EXPECT_EQ(intro_music_set_pitch_factor(c, 0.0), 0);
    EXPECT_EQ(intro_music_set_master_gain(c, 2.0), 1);
    EXPECT_EQ(intro_music_set_stereo_separation(c, 300), 0);
    EXPECT_EQ(intro_music_set_repeat_count(c, -5), 0);
}

// A seek into a pattern loop goes on as the first pass does: the loop's start
// row and counter are those the first pass has there.
TEST(Seeking, RestoresThePatternLoop) {
    // Rows 0 1 2 3 1 2 3 1 2 3 4 ... 15: E60 on row 1, E62 on row 3; 22 rows.
    xm_writer::ModuleData module = emptySong(1, 16);
    module.patterns[0].cells[1] = xm_writer::Cell{0, 0, 0, 0xE, 0x60};
    module.patterns[0].cells[3] = xm_writer::Cell{0, 0, 0, 0xE, 0x62};
    const std::vector<uint8_t> bytes = xm_writer::writeModule(module);
    constexpr int32_t passRows = 22;
    const struct {
        const char* rule;
        double rows;  // seek target, in rows from the start
    } cases[] = {
        {"inside the loop's first round", 2.5}, {"the loop's second round", 5.0},
        {"inside its third round", 8.25},       {"after the loop", 12.0},
    };
    for (const auto& given : cases) {
        SCOPED_TRACE(given.rule);
        const ModulePointer song = loadBytes(bytes);
        ASSERT_DOUBLE_EQ(im::metadata(song.get()).durationSeconds, passRows * rowFrames / 44100.0);
        const auto target = static_cast<int64_t>(given.rows * rowFrames);
        ASSERT_TRUE(im::seekToTime(song.get(), static_cast<double>(target) / 44100, nullptr));
        EXPECT_EQ(static_cast<int64_t>(floatsUntilEnd(song.get(), 1000).size() / 2), passRows * rowFrames - target);
    }
    // A row inside the loop, entered first at the loop's first round.
    const ModulePointer song = loadBytes(bytes);
    ASSERT_TRUE(im::seekToRow(song.get(), 0, 3, nullptr));
    EXPECT_EQ(floatsUntilEnd(song.get(), 1000).size() / 2, size_t{(passRows - 3) * rowFrames});
}

// A rate change goes on in the pass being played: an ended song stays ended,
// and the passes counted and the repeat count hold.
TEST(OutputRate, ChangeKeepsThePassesAndTheEnd) {
    const std::vector<uint8_t> bytes = xm_writer::writeModule(loudSong());
    const double passSeconds = 12.0 * rowFrames / 44100;
    const ModulePointer ended = loadBytes(bytes);
    floatsUntilEnd(ended.get(), 1000);
    ASSERT_TRUE(im::ended(ended.get()));
    ASSERT_TRUE(im::setOutputRate(ended.get(), 8000, nullptr));
    EXPECT_TRUE(im::ended(ended.get())) << "the end stays";
    EXPECT_EQ(im::position(ended.get()).passesCompleted, 1);
    EXPECT_TRUE(floatsUntilEnd(ended.get(), 1000).empty());
    ASSERT_TRUE(im::setRepeatCount(ended.get(), 1));
    EXPECT_NEAR(static_cast<double>(floatsUntilEnd(ended.get(), 1000).size() / 2), passSeconds * 8000, 1.0)
        << "a raised repeat count plays the second pass at the new rate";

    for (const int32_t rate : {48000, 22050}) {
        SCOPED_TRACE(rate);
        const ModulePointer song = loadBytes(bytes);
        ASSERT_TRUE(im::setRepeatCount(song.get(), 1));
        const int32_t before = 12 * rowFrames + 5 * rowFrames + 300;  // inside the second pass
        floatFrames(song.get(), before);
        ASSERT_TRUE(im::setOutputRate(song.get(), rate, nullptr));
        EXPECT_EQ(im::position(song.get()).passesCompleted, 1);
        EXPECT_NEAR(im::position(song.get()).seconds, before / 44100.0, 1.0 / rate);
        const double rest = static_cast<double>(floatsUntilEnd(song.get(), 1000).size() / 2) / rate;
        EXPECT_NEAR(before / 44100.0 + rest, 2 * passSeconds, 1.0 / 250) << "two passes in all";
        EXPECT_TRUE(im::ended(song.get()));
        EXPECT_EQ(im::position(song.get()).passesCompleted, 2);
    }
}

// The channel state tells the frequency heard, the pitch factor included.
TEST(SongInformation, ChannelFrequencyIncludesThePitchFactor) {
    const ModulePointer song = loadBytes(xm_writer::writeModule(loudSong()));
    floatFrames(song.get(), 100);
    im::ChannelState before[2]{};
    ASSERT_EQ(im::channelStates(song.get(), before, 2), 2);
    ASSERT_TRUE(before[0].active);
    ASSERT_TRUE(im::setPitchFactor(song.get(), 1.5));
    im::ChannelState after[2]{};
    im::channelStates(song.get(), after, 2);
    EXPECT_NEAR(after[0].frequency, before[0].frequency * 1.5, 1.0);
}

// The order list as the file gives it, and meters that follow what each
// channel plays: panning, mute and volume.
TEST(SongInformation, OrderListAndChannelLevels) {
    xm_writer::ModuleData module = loudSong();
    module.orders = {2, 0, 1, 2};
    const ModulePointer song = loadBytes(xm_writer::writeModule(module));
    ASSERT_EQ(im::orderCount(song.get()), 4);
    const int32_t expected[] = {2, 0, 1, 2};
    for (int32_t order = 0; order < 4; ++order) EXPECT_EQ(im::orderPattern(song.get(), order), expected[order]);
    EXPECT_EQ(im::orderPattern(song.get(), 4), -1);
    EXPECT_EQ(im::orderPattern(song.get(), -1), -1);
    EXPECT_EQ(im::orderCount(nullptr), 0);

    float left = -1.0f;
    float right = -1.0f;
    ASSERT_TRUE(im::channelLevel(song.get(), 0, &left, &right));
    EXPECT_EQ(left, 0.0f) << "nothing played yet";
    floatFrames(song.get(), 2000);
    ASSERT_TRUE(im::channelLevel(song.get(), 0, &left, &right));
    EXPECT_GT(left, right) << "channel 0 is panned left";
    EXPECT_LE(left, 1.0f);
    float otherLeft = 0.0f;
    float otherRight = 0.0f;
    ASSERT_TRUE(im::channelLevel(song.get(), 1, &otherLeft, &otherRight));
    EXPECT_GT(otherRight, otherLeft) << "channel 1 is panned right";
    ASSERT_TRUE(im::setChannelVolume(song.get(), 0, 0.5));
    float halfLeft = 0.0f;
    ASSERT_TRUE(im::channelLevel(song.get(), 0, &halfLeft, nullptr));
    EXPECT_FLOAT_EQ(halfLeft, left * 0.5f);
    ASSERT_TRUE(im::setChannelMuted(song.get(), 0, true));
    ASSERT_TRUE(im::channelLevel(song.get(), 0, &left, &right));
    EXPECT_EQ(left + right, 0.0f) << "muted";
    EXPECT_FALSE(im::channelLevel(song.get(), 2, &left, &right));

    auto* c = reinterpret_cast<intro_music_module*>(song.get());
    EXPECT_EQ(intro_music_order_count(c), 4);
    EXPECT_EQ(intro_music_order_pattern(c, 0), 2);
    ASSERT_EQ(intro_music_channel_level(c, 1, &left, &right), 1);
    EXPECT_EQ(left, otherLeft);
    EXPECT_EQ(intro_music_channel_level(c, 5, &left, &right), 0);
}
