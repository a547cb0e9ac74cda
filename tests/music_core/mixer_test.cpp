// The software mixer: ticks and blocks, sample positions and loops, volume ramps and the 16-bit conversion.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "mixer.h"
#include "music_engine.h"
#include "sample_seams.h"
#include "song.h"

using namespace intro_music::engine;

namespace {

// A sample with exactly length + 8 frames of storage and the guard frame the loader writes (and the seams the
// longer filters read, when a test builds them).
struct OwnedSample {
    OwnedSample() = default;
    OwnedSample(const OwnedSample&) = delete;
    OwnedSample& operator=(const OwnedSample&) = delete;
    ~OwnedSample() { releaseSampleSeams(sample); }
    std::unique_ptr<int16_t[]> storage;
    Sample sample{};
};

std::unique_ptr<OwnedSample> makeSample(const std::vector<int16_t>& frames, uint8_t loopType = LoopNone,
                                        uint32_t loopStart = 0, uint32_t loopLength = 0) {
    auto owned = std::make_unique<OwnedSample>();
    const uint32_t length = static_cast<uint32_t>(frames.size());
    owned->storage = std::make_unique<int16_t[]>(length + sampleGuardFrames);
    std::copy(frames.begin(), frames.end(), owned->storage.get());
    Sample& sample = owned->sample;
    sample.data = owned->storage.get();
    sample.length = length;
    sample.loopType = loopType;
    sample.loopStart = loopType == LoopNone ? 0 : loopStart;
    sample.loopLength = loopType == LoopNone ? length : loopLength;
    const uint32_t loopEnd = sample.loopStart + sample.loopLength;
    if (loopType == LoopForward) sample.data[loopEnd] = sample.data[sample.loopStart];
    if (loopType == LoopPingPong) sample.data[loopEnd] = sample.data[loopEnd - 1];
    return owned;
}

std::vector<int16_t> rampFrames(size_t length, int16_t slope) {
    std::vector<int16_t> frames(length);
    for (size_t index = 0; index < length; ++index) frames[index] = static_cast<int16_t>(index * slope);
    return frames;
}

// The engine these tests drive; each test starts from silent voices.
MusicEngine engine{};
MixerVoice* mixerVoices() { return engine.voices; }

void setStep(MixerVoice& voice, double framesPerOutputFrame) {
    const double whole = std::floor(framesPerOutputFrame);
    voice.stepInteger = static_cast<int32_t>(whole);
    voice.stepFraction = static_cast<uint32_t>((framesPerOutputFrame - whole) * 4294967296.0);
}

// A playing voice whose volumes have settled on its targets (no ramp).
MixerVoice& settledVoice(int index, Sample* sample, double step, int32_t leftTarget, int32_t rightTarget) {
    MixerVoice& voice = mixerVoices()[index];
    voice.sample = sample;
    voice.direction = DirectionForward;
    setStep(voice, step);
    voice.leftTarget = voice.lastLeftTarget = leftTarget;
    voice.rightTarget = voice.lastRightTarget = rightTarget;
    voice.leftVolume = leftTarget * 256;
    voice.rightVolume = rightTarget * 256;
    voice.rampRemaining = 0;
    return voice;
}

// Value the mixer interpolates at a 32.32 position.
float interpolatedAt(const Sample& sample, uint64_t position) {
    const int16_t* frame = sample.data + (position >> 32);
    const float weight = static_cast<float>(static_cast<uint32_t>(position) >> 1) * (1.0f / 2147483648.0f);
    return frame[0] + (static_cast<float>(frame[1]) - frame[0]) * weight;
}

uint64_t voicePosition(const MixerVoice& voice) {
    return (uint64_t(uint32_t(voice.position)) << 32) | voice.positionFraction;
}

// Which samples of MixerTest::mixRandomVoices() get the seams the longer filters read; without them, the mixer
// gathers the frames around the edges one by one by the same rules.
enum class Seams { SomeSamples, EverySample, NoSample };

class MixerTest : public ::testing::Test {
protected:
    void SetUp() override { resetMixerVoices(engine); }
    void TearDown() override {
        resetMixerVoices(engine);
        engine.output = MixerOutput{};
    }
    std::vector<float> mix(int32_t frames) {
        std::vector<float> buffer(static_cast<size_t>(frames) * 2, 0.0f);
        mixVoices(engine, buffer.data(), frames);
        return buffer;
    }
    // Points the mixer's output at a ring of `blocks` blocks for this test's song at tempo 125.
    void attachRing(int32_t blocks) {
        song = Song{};
        setTempo(&song, 125);
        mixBuffer.assign(static_cast<size_t>(blocks) * blockLength * 2, 0.0f);
        ring.assign(mixBuffer.size(), 0);
        engine.output = MixerOutput{&song, mixBuffer.data(), ring.data(), blocks, 0};
    }
    std::vector<float> mixRandomVoices(MixerPath path, Interpolation mode, Seams seams);
    Song song{};
    std::vector<float> mixBuffer;
    std::vector<int16_t> ring;
    std::vector<std::unique_ptr<OwnedSample>> randomSamples;
};

// framesPerTick = floor(rate x 5 / (2 x bpm)) for every tempo 1..255, floored and not rounded at every rate
// (at 48 kHz, 120000 / 7 is 17142.86: 17142); tempo 0 or below never divides by zero.
TEST(SetTempo, FramesPerTickForEveryTempo) {
    Song song{};
    Song at48k{};
    at48k.outputRate = 48000;
    for (int32_t bpm = 1; bpm <= 255; ++bpm) {
        setTempo(&song, bpm);
        EXPECT_EQ(song.framesPerTick, 110250 / bpm) << bpm;
        EXPECT_EQ(song.bpm, bpm);
        setTempo(&at48k, bpm);
        EXPECT_EQ(at48k.framesPerTick, 120000 / bpm) << bpm << " at 48 kHz";
    }
    for (int32_t bpm : {0, -5}) {
        setTempo(&song, bpm);
        EXPECT_EQ(song.framesPerTick, 110250) << bpm;
    }
    setTempo(&song, 1000000);
    EXPECT_GE(song.framesPerTick, 1);
    setTempo(nullptr, 125);
}

// 882-frame ticks in 884-frame blocks: the first block holds tick 1 whole and 2 frames of tick 2; a tempo change in
// a tick handler sets the length of the tick it starts.
TEST_F(MixerTest, TicksStraddleBlocks) {
    static int ticks;
    static int32_t tempoAfterSecondTick;
    ticks = tempoAfterSecondTick = 0;
    attachRing(2);
    song.tickHandler = [](MusicEngine&, Song* playing) {
        if (++ticks == 2 && tempoAfterSecondTick != 0) setTempo(playing, tempoAfterSecondTick);
    };
    fillBlock(engine);
    EXPECT_EQ(ticks, 2);
    EXPECT_EQ(song.framesLeftInTick, 880);
    EXPECT_EQ(engine.output.fillCursor, 1);
    fillBlock(engine);
    EXPECT_EQ(ticks, 3);  // tick 3 starts 880 frames into the second block
    EXPECT_EQ(song.framesLeftInTick, 878);
    EXPECT_EQ(engine.output.fillCursor, 0);

    ticks = song.framesLeftInTick = 0;
    tempoAfterSecondTick = 250;
    setTempo(&song, 125);
    fillBlock(engine);
    EXPECT_EQ(ticks, 2);
    EXPECT_EQ(song.framesLeftInTick, 441 - 2);
}

// A note started on the second tick is silent for the first 882 frames, then ramps in from silence.
TEST_F(MixerTest, NoteStartsAtItsTick) {
    static auto dc = makeSample(std::vector<int16_t>(4000, 8000));
    static int ticks;
    ticks = 0;
    attachRing(1);
    song.tickHandler = [](MusicEngine&, Song*) {
        if (++ticks == 2) {
            MixerVoice& voice = mixerVoices()[3];
            voice.sample = &dc->sample;
            voice.leftTarget = voice.rightTarget = 255;
        }
    };
    fillBlock(engine);
    for (int frame = 0; frame < 883; ++frame) ASSERT_EQ(ring[frame * 2], 0) << frame;
    EXPECT_EQ(ring[883 * 2], static_cast<int16_t>(std::nearbyint(8000.0f / 128.0f)));
}

// A sample without loop stops exactly when its position passes its length; the voice goes idle.
TEST_F(MixerTest, NonLoopingSampleStops) {
    auto dc = makeSample(std::vector<int16_t>(100, 1000));
    MixerVoice& voice = settledVoice(0, &dc->sample, 0.75, 255, 255);
    const std::vector<float> out = mix(200);
    // ceiling(100 / 0.75) = 134 frames are played; the last at 99.75, a quarter of the way from 1000 to the guard 0.
    for (int frame = 0; frame < 133; ++frame) EXPECT_NEAR(out[frame * 2], 1000.0f, 0.01f) << frame;
    EXPECT_NEAR(out[133 * 2], 250.0f, 0.01f);
    EXPECT_EQ(std::vector<float>(out.begin() + 134 * 2, out.end()), std::vector<float>(66 * 2, 0.0f));
    EXPECT_EQ(voice.sample, nullptr);
    EXPECT_EQ(voicePosition(voice), 0u);
}

// A forward loop wraps by whole loop lengths and keeps the position's fraction; every frame is exactly the
// interpolated value (the vector body performs the single-frame operations lane by lane).
TEST_F(MixerTest, ForwardLoopWrapsKeepingFraction) {
    auto ramp = makeSample(rampFrames(100, 10), LoopForward, 20, 80);
    MixerVoice& voice = settledVoice(0, &ramp->sample, 2.75, 255, 0);
    const std::vector<float> out = mix(300);
    uint64_t expected = 0;
    for (int frame = 0; frame < 300; ++frame) {
        ASSERT_EQ(out[frame * 2], interpolatedAt(ramp->sample, expected)) << frame;
        ASSERT_EQ(out[frame * 2 + 1], 0.0f);
        expected += (uint64_t{2} << 32) | 0xC0000000u;
        while ((expected >> 32) >= 100) expected -= uint64_t{80} << 32;
    }
    EXPECT_EQ(voicePosition(voice), expected);

    // Steps longer than the loop: several loop lengths at once, fraction kept.
    voice.position = 0;
    voice.positionFraction = 0;
    setStep(voice, 170.5);
    mix(1);
    EXPECT_EQ(voicePosition(voice), (uint64_t{90} << 32) | 0x80000000u);
    mix(1);
    EXPECT_EQ(voicePosition(voice), uint64_t{21} << 32);
}

// A ping-pong loop turns at both ends with the mirror rule (one 2^-32 unit inside) and plays the mirrored positions.
TEST_F(MixerTest, PingPongTurnsAtBothEnds) {
    auto ramp = makeSample(rampFrames(30, 100), LoopPingPong, 10, 10);
    MixerVoice& voice = settledVoice(0, &ramp->sample, 1.5, 255, 0);
    voice.position = 12;
    const std::vector<float> out = mix(400);
    const int64_t start = int64_t{10} << 32, end = int64_t{20} << 32, step = int64_t{3} << 31;
    int64_t expected = int64_t{12} << 32;
    bool backward = false;
    int turns = 0;
    for (int frame = 0; frame < 400; ++frame) {
        ASSERT_NEAR(out[frame * 2], interpolatedAt(ramp->sample, static_cast<uint64_t>(expected)), 0.01f) << frame;
        expected += backward ? -step : step;
        if (backward ? expected <= start : expected >= end) {
            expected = 2 * (backward ? start : end) - expected - 1;
            backward = !backward;
            ++turns;
        }
    }
    EXPECT_GT(turns, 50);
    EXPECT_EQ(static_cast<int64_t>(voicePosition(voice)), expected);
    EXPECT_EQ(voice.direction, backward ? DirectionBackward : DirectionForward);
}

// A retriggered channel: the old voice fades to silence over 128 frames while the new one fades in over the same.
TEST_F(MixerTest, RetriggerCrossFade) {
    auto oldNote = makeSample(std::vector<int16_t>(1000, 1000), LoopForward, 0, 1000);
    auto newNote = makeSample(std::vector<int16_t>(1000, 2000), LoopForward, 0, 1000);
    MixerVoice& fading = settledVoice(5, &oldNote->sample, 1.0, 255, 0);
    mix(50);
    // What the voice update does on a new note: old voice to targets 0, partner voice starts from silence.
    fading.leftTarget = fading.rightTarget = 0;
    MixerVoice& starting = mixerVoices()[5 + partnerVoiceDistance];
    starting.sample = &newNote->sample;
    starting.leftTarget = 255;
    const std::vector<float> out = mix(200);
    for (int frame = 0; frame < 200; ++frame) {
        const float share = frame < 128 ? frame / 128.0f : 1.0f;
        ASSERT_NEAR(out[frame * 2], 1000.0f * (1.0f - share) + 2000.0f * share, 0.05f) << frame;
    }
    EXPECT_EQ(fading.leftVolume, 0);
    EXPECT_EQ(fading.rampRemaining, 0);
    EXPECT_EQ(starting.leftVolume, 255 * 256);
    EXPECT_EQ(starting.rampRemaining, 0);
}

// A target change while a ramp runs restarts the ramp from the current volume.
TEST_F(MixerTest, TargetChangeDuringRampRestartsIt) {
    auto dc = makeSample(std::vector<int16_t>(1000, 1000), LoopForward, 0, 1000);
    MixerVoice& voice = settledVoice(0, &dc->sample, 1.0, 0, 0);
    voice.leftTarget = 255;
    mix(64);
    EXPECT_EQ(voice.rampRemaining, 64);
    voice.leftTarget = 0;
    const std::vector<float> out = mix(128);
    EXPECT_NEAR(out[0], 500.0f, 1.0f);  // starts where the first ramp was
    EXPECT_NEAR(out[64 * 2], 250.0f, 2.0f);
    EXPECT_EQ(voice.rampRemaining, 0);
    EXPECT_EQ(voice.leftVolume, 0);
}

// How long a volume change takes, by the rules and by the program that saved the file; rising and falling apart.
TEST_F(MixerTest, RampLengthsByRulesAndFile) {
    struct Row {
        const char* rule;
        bool trackerRamps;
        bool savedByTheTracker;
        int32_t outputRate;
        int32_t rising;
        int32_t falling;
    };
    const Row rows[] = {
        {"the presentation ramps 128 frames at 44.1 kHz, either way", false, true, 44100, 128, 128},
        {"and the same time at 48 kHz", false, false, 48000, 139, 139},
        {"the tracker ramps 5 ms either way in its own files", true, true, 48000, 240, 240},
        {"and 5 ms at the lowest rate too", true, true, 8000, 40, 40},
        {"other programs' files rise in 0.36 ms and fall in 0.95 ms", true, false, 48000, 17, 46},
        {"rounded to whole frames at 44.1 kHz", true, false, 44100, 16, 42},
    };
    auto dc = makeSample(std::vector<int16_t>(1000, 1000), LoopForward, 0, 1000);
    for (const Row& row : rows) {
        attachRing(1);
        song.rules.trackerVolumeRamps = row.trackerRamps;
        song.savedByTheTracker = row.savedByTheTracker;
        song.outputRate = row.outputRate;
        MixerVoice& voice = settledVoice(0, &dc->sample, 1.0, 0, 0);
        voice.leftTarget = 255;
        mix(1);
        EXPECT_EQ(voice.rampRemaining, row.rising - 1) << row.rule;
        mix(row.rising);
        voice.leftTarget = 0;
        mix(1);
        EXPECT_EQ(voice.rampRemaining, row.falling - 1) << row.rule;
    }
}

// With the tracker's gliding ramps a change between two heard levels lasts the tick it starts in (at least the
// short ramp, at most 2048 frames); a level set outright, a rise from silence and a fall to it keep the short ramp.
TEST_F(MixerTest, GlidesLastTheTick) {
    struct Row {
        const char* rule;
        bool glides;
        int32_t framesPerTick;
        int32_t from;
        int32_t to;
        bool setOutright;
        int32_t frames;
    };
    const Row rows[] = {
        {"a slid level glides over the whole tick", true, 882, 128, 200, false, 882},
        {"falling as well as rising", true, 882, 200, 100, false, 882},
        {"without the switch it takes the 5 ms ramp", false, 882, 128, 200, false, 221},
        {"a level set outright takes the 5 ms ramp", true, 882, 128, 200, true, 221},
        {"a rise from silence takes it", true, 882, 0, 200, false, 221},
        {"a fall to silence takes it", true, 882, 200, 0, false, 221},
        {"a tick shorter than the 5 ms ramp glides over the ramp", true, 100, 128, 200, false, 221},
        {"a long tick's glide stops at 2048 frames", true, 5000, 128, 200, false, 2048},
    };
    auto dc = makeSample(std::vector<int16_t>(1000, 1000), LoopForward, 0, 1000);
    for (const Row& row : rows) {
        attachRing(1);
        song.rules.trackerVolumeRamps = true;
        song.rules.volumeGlidesOverTick = row.glides;
        song.savedByTheTracker = true;
        song.framesPerTick = row.framesPerTick;
        MixerVoice& voice = settledVoice(0, &dc->sample, 1.0, row.from, row.from);
        voice.leftTarget = voice.rightTarget = row.to;
        voice.volumeSet = row.setOutright ? 1 : 0;
        mix(1);
        EXPECT_EQ(voice.rampRemaining, row.frames - 1) << row.rule;
    }
}

// The tracker's ramps carry their gains exactly between passes: a ramp mixed a frame at a time, or cut by a
// target change midway, is the very same as mixed in one go.
TEST_F(MixerTest, TrackerRampsIgnoreHowFramesAreCut) {
    auto wave = makeSample(rampFrames(1000, 7), LoopForward, 0, 1000);
    const auto render = [&](int32_t piece) {
        attachRing(1);
        song.rules.trackerVolumeRamps = true;
        song.savedByTheTracker = true;
        resetMixerVoices(engine);
        MixerVoice& voice = settledVoice(0, &wave->sample, 0.75, 0, 0);
        voice.leftTarget = 200;
        voice.rightTarget = 90;
        std::vector<float> all;
        for (int32_t done = 0; done < 400; done += piece) {
            if (done == 100) voice.rightTarget = 0;  // a new ramp from wherever the running one is
            const std::vector<float> part = mix(piece);
            all.insert(all.end(), part.begin(), part.end());
        }
        return all;
    };
    const std::vector<float> whole = render(100);
    EXPECT_EQ(render(1), whole);
    EXPECT_EQ(render(25), whole);
}

// A pass of zero frames at the boundary while a ramp runs mixes nothing, keeps the volumes and applies the loop rule.
TEST_F(MixerTest, ZeroFramePassAtBoundary) {
    auto once = makeSample(std::vector<int16_t>(10, 500));
    MixerVoice& ending = settledVoice(0, &once->sample, 1.0, 100, 100);
    ending.position = 10;
    ending.leftTarget = 200;  // a ramp would start
    EXPECT_EQ(mix(16), std::vector<float>(32, 0.0f));
    EXPECT_EQ(ending.sample, nullptr);
    EXPECT_EQ(ending.leftVolume, 100 * 256);

    auto looped = makeSample(rampFrames(40, 10), LoopForward, 8, 32);
    MixerVoice& wrapping = settledVoice(1, &looped->sample, 1.0, 100, 0);
    wrapping.position = 40;
    wrapping.leftTarget = 228;
    const std::vector<float> out = mix(2);
    const float startGain = 100.0f / 255.0f;
    EXPECT_NEAR(out[0], 80.0f * startGain, 0.01f);  // first frame from the loop start, at the unchanged volume
    EXPECT_NEAR(out[2], 90.0f * (startGain + 128.0f / 255.0f / 128.0f), 0.01f);
    EXPECT_EQ(wrapping.position, 10);
}

// Counts of zero or less, or no buffer, mix nothing.
TEST_F(MixerTest, EmptyChunks) {
    auto dc = makeSample(std::vector<int16_t>(100, 1000));
    MixerVoice& voice = settledVoice(0, &dc->sample, 1.0, 255, 255);
    std::vector<float> buffer(8, 0.0f);
    mixVoices(engine, buffer.data(), 0);
    mixVoices(engine, buffer.data(), -3);
    mixVoices(engine, nullptr, 4);
    EXPECT_EQ(buffer, std::vector<float>(8, 0.0f));
    EXPECT_EQ(voice.position, 0);
}

// Conversion rounds to nearest with ties to even and clamps to 16 bits, in the vector body and the tail alike.
TEST(ConvertToPcm16, RoundsTiesToEvenAndClamps) {
    const std::vector<std::pair<float, int16_t>> cases = {
        {0.5f, 0},          {1.5f, 2},          {2.5f, 2},          {-0.5f, 0},       {-1.5f, -2},
        {-2.5f, -2},        {0.49f, 0},         {-0.51f, -1},       {32766.5f, 32766}, {32767.4f, 32767},
        {32767.5f, 32767},  {40000.0f, 32767},  {1e30f, 32767},     {-32768.0f, -32768}, {-32768.5f, -32768},
        {-40000.0f, -32768}, {-1e30f, -32768},  {123.25f, 123},     {-123.75f, -124},  {7.0f, 7},
        {std::nanf(""), -32768},
    };
    // 44 values: two groups of sixteen, one of eight and a tail of four, so that with every shift every case
    // goes through every lane of every width, on each mixer path this machine has.
    constexpr size_t valueCount = 44;
    const MixerPath chosen = mixerPath();
    for (const MixerPath path : {MixerPath::Baseline, MixerPath::Avx2}) {
        if (!setMixerPath(path)) continue;
        for (size_t shift = 0; shift < cases.size(); ++shift) {
            std::vector<float> input;
            for (size_t index = 0; index < valueCount; ++index) {
                input.push_back(cases[(index + shift) % cases.size()].first);
            }
            std::vector<int16_t> output(valueCount, 99);
            convertToPcm16(output.data(), input.data(), static_cast<int32_t>(valueCount / 2));
            for (size_t index = 0; index < valueCount; ++index) {
                EXPECT_EQ(output[index], cases[(index + shift) % cases.size()].second) << input[index];
            }
        }
    }
    setMixerPath(chosen);
    std::vector<int16_t> untouched(4, 99);
    const std::vector<float> some(4, 1.0f);
    convertToPcm16(untouched.data(), some.data(), 0);
    convertToPcm16(untouched.data(), nullptr, 2);
    convertToPcm16(nullptr, some.data(), 2);
    EXPECT_EQ(untouched, std::vector<int16_t>(4, 99));
}

// Eight centred full-volume voices of full-scale samples clip at the conversion instead of wrapping.
TEST_F(MixerTest, LoudMixClips) {
    for (const int16_t level : {32767, -32768}) {
        auto full = makeSample(std::vector<int16_t>(2000, level), LoopForward, 0, 2000);
        attachRing(1);
        for (int index = 0; index < 8; ++index) settledVoice(index, &full->sample, 1.0, 63, 63);
        fillBlock(engine);
        EXPECT_GT(std::abs(mixBuffer[0]), 60000.0f);
        EXPECT_EQ(ring[0], level);
        EXPECT_EQ(ring[blockLength * 2 - 1], level);
    }
}

// Random voices, loops, steps and target changes stay inside their sample and never read outside it (run under
// AddressSanitizer).
TEST_F(MixerTest, RandomVoicesStayInsideTheirSamples) {
    std::mt19937 random(2024);
    std::vector<std::unique_ptr<OwnedSample>> samples;
    for (int round = 0; round < 400; ++round) {
        const uint32_t length = 1 + random() % 48;
        std::vector<int16_t> frames(length);
        for (int16_t& frame : frames) frame = static_cast<int16_t>(random());
        const uint8_t types[] = {LoopNone, LoopForward, LoopPingPong};
        const uint8_t type = types[random() % 3];
        const uint32_t loopStart = random() % 2 == 0 ? 0 : random() % length;
        samples.push_back(makeSample(frames, type, loopStart, 1 + random() % (length - loopStart)));
        MixerVoice& voice = mixerVoices()[round % mixedVoiceCount];
        voice.sample = &samples.back()->sample;
        voice.position = static_cast<int32_t>(random() % (length + 1));
        voice.positionFraction = static_cast<uint32_t>(random());
        voice.direction = type == LoopPingPong && random() % 2 == 0 ? DirectionBackward : DirectionForward;
        voice.stepInteger = static_cast<int32_t>(random() % 3 == 0 ? random() % 70 : 0);
        voice.stepFraction = static_cast<uint32_t>(random());
        voice.leftTarget = static_cast<int32_t>(random() % 256);
        voice.rightTarget = static_cast<int32_t>(random() % 256);
        for (const float value : mix(1 + static_cast<int32_t>(random() % 300))) ASSERT_TRUE(std::isfinite(value));
        for (int index = 0; index < mixedVoiceCount; ++index) {
            const MixerVoice& mixed = mixerVoices()[index];
            if (mixed.sample == nullptr) continue;
            ASSERT_GE(mixed.position, 0);
            ASSERT_LE(static_cast<uint32_t>(mixed.position), mixed.sample->length);
        }
    }
}

// Random voices with every loop kind, forward and backward, steps from tiny to several frames (every filter length)
// and now and then dozens, target changes that start ramps, and chunks of every length so that passes end anywhere
// inside a vector body; returns everything mixed. The same voices and chunks whatever the path, mode and seams.
// The samples live until the next call.
std::vector<float> MixerTest::mixRandomVoices(MixerPath path, Interpolation mode, Seams seams) {
    EXPECT_TRUE(setMixerPath(path));
    resetMixerVoices(engine);
    attachRing(1);
    song.interpolation = mode;
    std::vector<std::unique_ptr<OwnedSample>>& samples = randomSamples;
    samples.clear();
    std::mt19937 random(77);
    std::vector<float> everything;
    for (int round = 0; round < 300; ++round) {
        const uint32_t length = 1 + random() % 3000;
        std::vector<int16_t> frames(length);
        for (int16_t& frame : frames) frame = static_cast<int16_t>(random());
        const uint8_t types[] = {LoopNone, LoopForward, LoopPingPong};
        const uint8_t type = types[random() % 3];
        const uint32_t loopStart = random() % length;
        samples.push_back(makeSample(frames, type, loopStart, 1 + random() % (length - loopStart)));
        const bool some = random() % 4 != 0;
        if (seams == Seams::EverySample || (seams == Seams::SomeSamples && some)) {
            EXPECT_TRUE(buildSampleSeams(samples.back()->sample));
        }
        MixerVoice& voice = mixerVoices()[round % mixedVoiceCount];
        if (voice.sample == nullptr || random() % 4 == 0) {
            voice.sample = &samples.back()->sample;
            voice.looped = 0;
            voice.position = static_cast<int32_t>(random() % length);
            voice.positionFraction = static_cast<uint32_t>(random());
            voice.direction = type == LoopPingPong && random() % 2 == 0 ? DirectionBackward : DirectionForward;
            const uint32_t whole = random() % 16;
            voice.stepInteger = static_cast<int32_t>(whole == 0 ? random() % 70 : whole < 5 ? random() % 9 : 0);
            voice.stepFraction = static_cast<uint32_t>(random());
        }
        voice.leftTarget = static_cast<int32_t>(random() % 256);
        voice.rightTarget = static_cast<int32_t>(random() % 3 == 0 ? 0 : random() % 256);
        const std::vector<float> out = mix(1 + static_cast<int32_t>(random() % 900));
        everything.insert(everything.end(), out.begin(), out.end());
    }
    return everything;
}

void expectSameBits(const std::vector<float>& expected, const std::vector<float>& actual, const char* what) {
    ASSERT_EQ(expected.size(), actual.size()) << what;
    for (size_t index = 0; index < expected.size(); ++index) {
        ASSERT_EQ(std::bit_cast<uint32_t>(expected[index]), std::bit_cast<uint32_t>(actual[index]))
            << what << ", value " << index;
    }
}

// Every mixing path gives the same bits as the baseline path, in every interpolation, with and without seams.
TEST_F(MixerTest, EveryPathGivesTheSameBits) {
    const MixerPath chosen = mixerPath();
    if (!setMixerPath(MixerPath::Avx2)) GTEST_SKIP() << "this build or CPU has only the baseline path";
    const std::pair<Interpolation, const char*> modes[] = {{Interpolation::Linear, "linear"},
                                                            {Interpolation::Nearest, "nearest"},
                                                            {Interpolation::Cubic, "cubic"},
                                                            {Interpolation::Sinc, "sinc"}};
    for (const auto& [mode, name] : modes) {
        const std::vector<float> baseline = mixRandomVoices(MixerPath::Baseline, mode, Seams::SomeSamples);
        expectSameBits(baseline, mixRandomVoices(MixerPath::Avx2, mode, Seams::SomeSamples), name);
    }
    setMixerPath(chosen);
}

// The filters read the frames around a sample's edges from its seams as they would gather them one by one: every
// span of taps ends where it must, on every path.
TEST_F(MixerTest, SeamsGiveTheBitsOfFramesGatheredOneByOne) {
    const MixerPath chosen = mixerPath();
    for (const MixerPath path : {MixerPath::Baseline, MixerPath::Avx2}) {
        if (!setMixerPath(path)) continue;
        for (const auto& [mode, name] :
             {std::pair{Interpolation::Cubic, "cubic"}, std::pair{Interpolation::Sinc, "sinc"}}) {
            const std::vector<float> gathered = mixRandomVoices(path, mode, Seams::NoSample);
            expectSameBits(gathered, mixRandomVoices(path, mode, Seams::EverySample), name);
        }
    }
    setMixerPath(chosen);
}

}  // namespace
