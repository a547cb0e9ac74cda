// The public interface over the engine: a Module owns a loaded song, the
// engine it plays on, the block it renders into and the watch on its passes.
#include "intro_music.h"
#include "intro_version.h"

#include <algorithm>
#include <cmath>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "mixer.h"
#include "music_engine.h"
#include "periods.h"
#include "pass_tracker.h"
#include "replayer.h"
#include "song.h"
#include "xm_format.h"

using namespace intro_music::engine;

namespace {

// Header text fields, counted from the start of the file.
constexpr size_t titleOffset = 17;
constexpr size_t trackerNameOffset = 38;
constexpr size_t headerTextLength = 20;
constexpr int32_t readChunk = 64 * 1024;
// The loader's offsets are 32-bit: no song is larger.
constexpr size_t largestSongBytes = INT32_MAX;

void setError(intro_music::Error* error, intro_music::ErrorCode code, const char* format, ...) {
    if (error == nullptr) {
        return;
    }
    error->code = code;
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(error->message, sizeof error->message, format, arguments);
    va_end(arguments);
}

void clearError(intro_music::Error* error) {
    if (error != nullptr) {
        *error = intro_music::Error{};
    }
}

void copyHeaderText(char* destination, const std::vector<uint8_t>& bytes, size_t offset) {
    size_t length = 0;
    while (length < headerTextLength && offset + length < bytes.size() && bytes[offset + length] != 0) {
        ++length;
    }
    std::memcpy(destination, bytes.data() + std::min(offset, bytes.size()), length);
    while (length > 0 && destination[length - 1] == ' ') {
        --length;
    }
    destination[length] = '\0';
}

}  // namespace

namespace intro_music {

// Where the first pass stands when it starts a row it has not played before.
struct RowArrival {
    int32_t order;
    int32_t row;
    int64_t frame;  // from the song's start
    int32_t speed;
    int32_t bpm;
    int32_t globalVolume;
};

// The first pass, worked out when first asked for: its length, the rows it
// plays (for the pass watch after a seek) and where it first reaches each row.
struct FirstPass {
    bool known = false;
    int64_t frames = 0;
    PassTracker rows;
    std::vector<RowArrival> arrivals;  // in the order played
    int32_t orderArrival[orderTableSize];  // index of the first arrival in each order, -1: never reached
};

struct SongDeleter {
    void operator()(Song* song) const { freeSong(song); }
};
using SongPointer = std::unique_ptr<Song, SongDeleter>;

struct Module {
    MusicEngine engine{};
    SongPointer song;
    Metadata info{};
    mutable FirstPass firstPass;
    std::vector<std::string> warnings;
    alignas(16) float mixBuffer[blockLength * outputChannelCount]{};
    int16_t block[blockLength * outputChannelCount]{};
    bool blockConverted = false;   // `block` holds mixBuffer as 16-bit
    int32_t blockFramesLeft = 0;   // frames of the block not handed out yet
    int64_t framesHanded = 0;      // since the last start or seek
    int64_t secondsBaseFrames = 0;  // song time at the last start or seek
    int64_t endFrame = -1;          // in frames handed out since the last start or seek; -1 while unknown
    int32_t repeats = 0;
    PassTracker tracker;
    float masterGain = 1.0f;
    int32_t separation = 100;
    float channelGains[maxChannels];
    bool channelMuted[maxChannels]{};
    float channelVolumes[maxChannels];
    TickObserver observer = nullptr;
    void* observerUser = nullptr;
    Rules rules = Rules::Tracker;
};

inline engine::PlaybackRules playbackRules(Rules rules) {
    return rules == Rules::Presentation ? engine::presentationRules : engine::trackerRules;
}

}  // namespace intro_music

namespace {

using intro_music::FirstPass;
using intro_music::Module;
using intro_music::RowArrival;
using intro_music::SongPointer;

constexpr int32_t maxRowsPerPattern = xm_format::maxRowCount;
constexpr int32_t separationNeutral = 100;
constexpr int32_t separationHighest = 200;
constexpr double highestGain = 16.0;
constexpr double lowestFactor = 0.25;
constexpr double highestFactor = 4.0;
constexpr float floatFullScale = 1.0f / 32768.0f;  // 16-bit full scale is 1.0

int32_t rateOf(const Module& module) { return songOutputRate(module.song.get()); }

// The song's tick handler while a Module plays it: the replayer's tick,
// watched for the song's return.
void watchedTick(MusicEngine& engine, Song* song) {
    Module& module = *static_cast<Module*>(engine.driver);
    passTickBegins(module.tracker, engine, *song);
    const int32_t tick = song->tick;
    replayTick(engine, song);
    const int64_t cameBack = passTickEnds(module.tracker, *song);
    // After the pass watch, so that the observer sees the tick that comes back counted.
    if (module.observer != nullptr) {
        module.observer(module.observerUser, &module, intro_music::TickInfo{song->orderPosition, song->row, tick});
    }
    if (cameBack >= 0 && module.endFrame < 0 && module.repeats >= 0 &&
        module.tracker.passesCompleted > module.repeats) {
        module.endFrame = cameBack - module.secondsBaseFrames;
    }
}

// Every sample of the song, for what set-finetune writes into them as the song plays.
template <typename Visit>
void forEachSample(Song& song, Visit visit) {
    for (int32_t index = 0; index < song.instrumentCount && song.instruments != nullptr; ++index) {
        Instrument& instrument = song.instruments[index];
        for (int32_t slot = 0; slot < instrument.sampleCount && slot < maxSamplesPerInstrument; ++slot) {
            if (instrument.samples[slot] != nullptr && instrument.samples[slot] != &emptySample) {
                visit(*instrument.samples[slot]);
            }
        }
    }
}

void updateChannelGains(Module& module) {
    bool anyChanged = false;
    for (int32_t channel = 0; channel < maxChannels; ++channel) {
        module.channelGains[channel] = module.channelMuted[channel] ? 0.0f : module.channelVolumes[channel];
        anyChanged = anyChanged || module.channelGains[channel] != 1.0f;
    }
    module.engine.channelGains = anyChanged ? module.channelGains : nullptr;
}

// Starts playing at an order and row; `arrival` (may be null) is the first
// pass's state there.
void startFrom(Module& module, int32_t order, int32_t row, const RowArrival* arrival) {
    Song* song = module.song.get();
    prepareSongStart(module.engine, song);
    module.engine.output = MixerOutput{song, module.mixBuffer, module.block, 1, 0};
    module.engine.driver = &module;
    updateChannelGains(module);
    song->tickHandler = watchedTick;
    module.blockFramesLeft = 0;
    module.framesHanded = 0;
    module.endFrame = -1;
    resetPassTracker(module.tracker);
    module.secondsBaseFrames = 0;
    if (order > 0 || row > 0) {
        song->orderPosition = song->nextOrder = order;
        song->row = song->nextRow = row;
        if (arrival != nullptr) {
            song->speed = arrival->speed;
            setTempo(song, arrival->bpm);
            song->globalVolume = arrival->globalVolume;
            module.secondsBaseFrames = arrival->frame;
        }
        // The pass goes on as the first pass would from there: it ends
        // where that one ends, and the seconds count follows the song's time.
        resumePassAt(module.tracker, module.firstPass.rows, module.secondsBaseFrames);
    }
}

void startFromBeginning(Module& module) { startFrom(module, 0, 0, nullptr); }

// One pass of the module's song on an engine of its own, ticks only (nothing
// is mixed). The song's play state and the finetunes set-finetune may have
// changed are put back afterwards, so the playback goes on untouched.
bool scanFirstPass(const Module& module) {
    FirstPass& pass = module.firstPass;
    pass.known = false;
    pass.frames = 0;
    pass.arrivals.clear();
    resetPassTracker(pass.rows);
    std::fill(std::begin(pass.orderArrival), std::end(pass.orderArrival), -1);
    auto engine = std::unique_ptr<MusicEngine>(new (std::nothrow) MusicEngine{});
    if (engine == nullptr) {
        return false;
    }
    Song& song = *module.song;
    const Song savedState = song;
    std::vector<int8_t> playingFinetunes;
    forEachSample(song, [&](const Sample& sample) { playingFinetunes.push_back(sample.finetune); });
    prepareSongStart(*engine, &song);
    PassTracker& tracker = pass.rows;
    tracker.recordRows = true;
    std::vector<bool> reached(static_cast<size_t>(orderTableSize) * maxRowsPerPattern);
    for (;;) {
        const bool rowStart = song.tick == 0;
        const int32_t speed = song.speed;
        const int32_t bpm = song.bpm;
        const int32_t globalVolume = song.globalVolume;
        passTickBegins(tracker, *engine, song);
        replayTick(*engine, &song);
        const int64_t cameBack = passTickEnds(tracker, song);
        if (cameBack >= 0) {
            pass.frames = cameBack;
            break;
        }
        const int32_t order = song.orderPosition;
        const int32_t row = song.row;
        if (rowStart && order >= 0 && order < orderTableSize && row >= 0 && row < maxRowsPerPattern &&
            !reached[static_cast<size_t>(order) * maxRowsPerPattern + row]) {
            reached[static_cast<size_t>(order) * maxRowsPerPattern + row] = true;
            if (pass.orderArrival[order] < 0) {
                pass.orderArrival[order] = static_cast<int32_t>(pass.arrivals.size());
            }
            pass.arrivals.push_back(RowArrival{order, row, tracker.framesBeforeTick, speed, bpm, globalVolume});
        }
    }
    song = savedState;
    size_t next = 0;
    forEachSample(song, [&](Sample& sample) { sample.finetune = playingFinetunes[next++]; });
    pass.known = true;
    return true;
}

bool knowFirstPass(const Module& module) { return module.firstPass.known || scanFirstPass(module); }

// Forgets the first pass: it is worked out again, at the rate and tempo
// factor then in force, when next asked for.
void forgetFirstPass(Module& module) { module.firstPass.known = false; }

void fillMetadata(Module& module, const std::vector<uint8_t>& bytes) {
    const Song& song = *module.song;
    intro_music::Metadata& info = module.info;
    copyHeaderText(info.title, bytes, titleOffset);
    copyHeaderText(info.trackerName, bytes, trackerNameOffset);
    info.channels = song.channelCount;
    info.orders = song.songLength;
    info.patterns = song.patternSlotCount;
    info.instruments = song.instrumentCount;
    for (int32_t index = 0; index < song.instrumentCount && song.instruments != nullptr; ++index) {
        const Instrument& instrument = song.instruments[index];
        info.samples += instrument.sampleCount;
    }
    info.linearFrequencies = (song.flags & linearFrequencyFlag) != 0;
    info.initialSpeed = song.defaultSpeed;
    info.initialBpm = song.defaultBpm;
    info.restartPosition = song.restartPosition;
}

std::string countedText(int32_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// One line per kind of damage the loader mended.
void noteLoadWarnings(Module& module) {
    const LoadDamage& damage = module.song->damage;
    if (damage.cutPatterns > 0) {
        module.warnings.push_back("the file ends inside the patterns: " +
                                  countedText(damage.cutPatterns, "pattern is", "patterns are") +
                                  " cut short and play what is left");
    }
    if (damage.missingPatterns > 0) {
        module.warnings.push_back("the order list names " +
                                  countedText(damage.missingPatterns, "pattern", "patterns") +
                                  " the file does not hold; they play as 64 empty rows");
    }
    if (damage.cutInstruments > 0) {
        module.warnings.push_back("the file ends inside the instruments: " +
                                  countedText(damage.cutInstruments, "instrument is", "instruments are") +
                                  " incomplete and the ones after them are missing");
    }
    if (damage.cutSamples > 0) {
        module.warnings.push_back("the file ends inside the sample data: " +
                                  countedText(damage.cutSamples, "sample is", "samples are") +
                                  " cut short or missing and play silence where the data is gone");
    }
}

enum class ReadOutcome { Complete, Failed, TooMuchDelivered, TooLarge };

// Reads a whole source through file callbacks: 0 ends it, below 0 is a failure.
ReadOutcome readAll(const intro_music::FileCallbacks& callbacks, void* handle, std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> chunk(readChunk);
    for (;;) {
        const int32_t count = callbacks.read(chunk.data(), readChunk, handle);
        if (count == 0) {
            return ReadOutcome::Complete;
        }
        if (count < 0) {
            return ReadOutcome::Failed;
        }
        if (count > readChunk) {
            return ReadOutcome::TooMuchDelivered;
        }
        if (bytes.size() + static_cast<size_t>(count) > largestSongBytes) {
            return ReadOutcome::TooLarge;
        }
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + count);
    }
}

// Gain and stereo separation on a mixed block, when either is not neutral.
void shapeBlock(const Module& module, float* block) {
    const float gain = module.masterGain;
    if (module.separation != separationNeutral) {
        const float width = static_cast<float>(module.separation) / static_cast<float>(separationNeutral);
        for (int32_t frame = 0; frame < blockLength; ++frame) {
            float* values = block + frame * outputChannelCount;
            const float middle = (values[0] + values[1]) * 0.5f;
            const float side = (values[0] - values[1]) * 0.5f * width;
            values[0] = (middle + side) * gain;
            values[1] = (middle - side) * gain;
        }
    } else if (gain != 1.0f) {
        for (int32_t value = 0; value < blockLength * outputChannelCount; ++value) {
            block[value] *= gain;
        }
    }
}

void produceBlock(Module& module) {
    mixBlock(module.engine, module.mixBuffer);
    shapeBlock(module, module.mixBuffer);
    module.blockConverted = false;
    module.blockFramesLeft = blockLength;
}

// The output forms: where `count` frames of the current block, from `first`, go.
enum class Form { Stereo16, StereoFloat, Mono16, MonoFloat };

void deliver(Module& module, Form form, void* destination, int32_t written, int32_t first, int32_t count) {
    const float* mixed = module.mixBuffer + static_cast<size_t>(first) * outputChannelCount;
    switch (form) {
        case Form::Stereo16: {
            if (!module.blockConverted) {
                convertToPcm16(module.block, module.mixBuffer, blockLength);
                module.blockConverted = true;
            }
            std::memcpy(static_cast<int16_t*>(destination) + static_cast<size_t>(written) * outputChannelCount,
                        module.block + static_cast<size_t>(first) * outputChannelCount,
                        static_cast<size_t>(count) * outputChannelCount * sizeof(int16_t));
            return;
        }
        case Form::StereoFloat: {
            float* out = static_cast<float*>(destination) + static_cast<size_t>(written) * outputChannelCount;
            for (int32_t value = 0; value < count * outputChannelCount; ++value) {
                out[value] = mixed[value] * floatFullScale;
            }
            return;
        }
        case Form::Mono16: {
            float mono[blockLength];
            for (int32_t frame = 0; frame < count; ++frame) {
                mono[frame] = (mixed[2 * frame] + mixed[2 * frame + 1]) * 0.5f;
            }
            convertValuesToPcm16(static_cast<int16_t*>(destination) + written, mono, count);
            return;
        }
        case Form::MonoFloat: {
            float* out = static_cast<float*>(destination) + written;
            for (int32_t frame = 0; frame < count; ++frame) {
                out[frame] = (mixed[2 * frame] + mixed[2 * frame + 1]) * 0.5f * floatFullScale;
            }
            return;
        }
    }
}

int32_t renderFrames(Module* module, Form form, void* frames, int32_t frameCount) {
    if (module == nullptr || frames == nullptr || frameCount <= 0) {
        return 0;
    }
    int32_t written = 0;
    while (written < frameCount) {
        if (module->endFrame >= 0 && module->framesHanded >= module->endFrame) {
            break;
        }
        if (module->blockFramesLeft == 0 && form == Form::StereoFloat && frameCount - written >= blockLength &&
            module->endFrame < 0) {
            // A whole block of float frames is mixed straight into the caller's buffer.
            float* block = static_cast<float*>(frames) + static_cast<size_t>(written) * outputChannelCount;
            mixBlock(module->engine, block);
            shapeBlock(*module, block);
            for (int32_t value = 0; value < blockLength * outputChannelCount; ++value) {
                block[value] *= floatFullScale;
            }
            // The end of the pass may have been found inside this block: hand out no more than it.
            const int64_t handed = module->endFrame >= 0
                                       ? std::clamp<int64_t>(module->endFrame - module->framesHanded, 0, blockLength)
                                       : blockLength;
            written += static_cast<int32_t>(handed);
            module->framesHanded += handed;
            continue;
        }
        if (module->blockFramesLeft == 0) {
            produceBlock(*module);
        }
        int64_t take = std::min<int64_t>(frameCount - written, module->blockFramesLeft);
        if (module->endFrame >= 0) {
            take = std::min(take, module->endFrame - module->framesHanded);
        }
        deliver(*module, form, frames, written, blockLength - module->blockFramesLeft, static_cast<int32_t>(take));
        written += static_cast<int32_t>(take);
        module->blockFramesLeft -= static_cast<int32_t>(take);
        module->framesHanded += take;
    }
    return written;
}

// Renders and drops frames (a seek within a row).
void skipFrames(Module& module, int64_t count) {
    float scratch[blockLength];
    while (count > 0) {
        const auto chunk = static_cast<int32_t>(std::min<int64_t>(count, blockLength));
        if (renderFrames(&module, Form::MonoFloat, scratch, chunk) < chunk) {
            return;
        }
        count -= chunk;
    }
}

// Every sounding voice takes the song's current output rate and pitch
// factor now, not at its next change of pitch.
void retuneVoices(Module& module) {
    const Song* song = module.song.get();
    const int32_t rate = songOutputRate(song);
    const double factor = songPitchFactor(song);
    for (int32_t index = 0; index < mixedVoiceCount; ++index) {
        MixerVoice& voice = module.engine.voices[index];
        if (voice.sample == nullptr) {
            continue;
        }
        const ResamplingStep step = factor == 1.0 ? resamplingStep(voice.frequency, rate)
                                                  : scaledResamplingStep(voice.frequency, factor, rate);
        voice.stepInteger = step.integer;
        voice.stepFraction = step.fraction;
    }
}

}  // namespace

namespace intro_music {

// The header's numbers and the release version come from different files:
// they cannot drift apart.
static_assert(versionMajor == INTRO_VERSION_MAJOR && versionMinor == INTRO_VERSION_MINOR,
              "intro_music.h's version differs from the project version in CMakeLists.txt");
const char* versionString() { return INTRO_VERSION_STRING; }

namespace {

// The standard containers report memory exhaustion by throwing; nothing may
// leave the interface that way.
template <typename Result, typename Work>
Result withoutExceptions(Error* error, Result failed, Work work) {
    try {
        return work();
    } catch (const std::bad_alloc&) {
        setError(error, ErrorCode::OutOfMemory, "out of memory");
    } catch (...) {
        setError(error, ErrorCode::OutOfMemory, "unexpected failure");
    }
    return failed;
}

Module* loadBytes(const void* data, size_t size, Error* error) {
    clearError(error);
    if (data == nullptr && size > 0) {
        setError(error, ErrorCode::InvalidArgument, "no song bytes given");
        return nullptr;
    }
    if (size == 0) {
        setError(error, ErrorCode::Empty, "the song is empty (0 bytes)");
        return nullptr;
    }
    auto module = std::unique_ptr<Module>(new (std::nothrow) Module{});
    if (module == nullptr) {
        setError(error, ErrorCode::OutOfMemory, "out of memory");
        return nullptr;
    }
    const auto* first = static_cast<const uint8_t*>(data);
    const std::vector<uint8_t> bytes(first, first + std::min<size_t>(size, probeBytes));
    module->song.reset(loadSongFromMemory(data, size, nullptr));
    if (module->song == nullptr) {
        setError(error, ErrorCode::NotASong, "not an Extended Module song, or damaged beyond use");
        return nullptr;
    }
    std::fill(std::begin(module->channelVolumes), std::end(module->channelVolumes), 1.0f);
    updateChannelGains(*module);
    fillMetadata(*module, bytes);
    module->song->rules = playbackRules(module->rules);
    noteLoadWarnings(*module);
    startFromBeginning(*module);
    return module.release();
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

Module* loadFile(const char* path, Error* error) {
    clearError(error);
    if (path == nullptr) {
        setError(error, ErrorCode::InvalidArgument, "no file name given");
        return nullptr;
    }
    std::error_code code;
    const std::filesystem::file_status status = std::filesystem::status(path, code);
    if (code || !std::filesystem::exists(status)) {
        setError(error, ErrorCode::CannotOpen, "%s: no such file", path);
        return nullptr;
    }
    if (std::filesystem::is_directory(status)) {
        setError(error, ErrorCode::CannotOpen, "%s: is a folder, not a song file", path);
        return nullptr;
    }
    size_t expectedSize = 0;
    if (std::filesystem::is_regular_file(status)) {
        const uintmax_t size = std::filesystem::file_size(path, code);
        if (!code && size > largestSongBytes) {
            setError(error, ErrorCode::NotASong, "%s: larger than the largest song the library loads (2 GiB)", path);
            return nullptr;
        }
        expectedSize = code ? 0 : static_cast<size_t>(size);
    }
    // Closed on every way out, the out-of-memory exception included.
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
    if (file == nullptr) {
        setError(error, ErrorCode::CannotOpen, "%s: cannot open: %s", path, std::strerror(errno));
        return nullptr;
    }
    // Read straight into place: a file in one piece at its size (one byte
    // more notices one that grew meanwhile), a device or pipe in growing
    // pieces, no further than a song can reach.
    std::vector<uint8_t> bytes;
    bytes.reserve(expectedSize + 1);
    for (;;) {
        const size_t start = bytes.size();
        const size_t room = std::max(bytes.capacity() - start, static_cast<size_t>(readChunk));
        bytes.resize(start + room);
        const size_t count = std::fread(bytes.data() + start, 1, room, file.get());
        bytes.resize(start + count);
        if (count < room || bytes.size() > largestSongBytes) break;
    }
    if (std::ferror(file.get()) != 0) {
        setError(error, ErrorCode::CannotRead, "%s: cannot read: %s", path, std::strerror(errno));
        return nullptr;
    }
    if (bytes.size() > largestSongBytes) {
        setError(error, ErrorCode::NotASong, "%s: larger than the largest song the library loads (2 GiB)", path);
        return nullptr;
    }
    if (bytes.empty()) {
        setError(error, ErrorCode::Empty, "%s: the file is empty (0 bytes)", path);
        return nullptr;
    }
    Module* module = loadBytes(bytes.data(), bytes.size(), error);
    if (module == nullptr && error != nullptr) {
        char reason[sizeof error->message];
        std::memcpy(reason, error->message, sizeof reason);
        setError(error, error->code, "%s: %s", path, reason);
    }
    return module;
}

Module* loadThroughCallbacks(const FileCallbacks& callbacks, const char* name, Error* error) {
    clearError(error);
    if (callbacks.open == nullptr || callbacks.close == nullptr || callbacks.read == nullptr) {
        setError(error, ErrorCode::InvalidArgument, "the open, close and read callbacks must be set");
        return nullptr;
    }
    void* handle = callbacks.open(name);
    if (handle == nullptr) {
        setError(error, ErrorCode::CannotOpen, "the source does not open");
        return nullptr;
    }
    std::vector<uint8_t> bytes;
    ReadOutcome outcome = ReadOutcome::Complete;
    try {
        outcome = readAll(callbacks, handle, bytes);
    } catch (...) {
        callbacks.close(handle);
        throw;
    }
    callbacks.close(handle);
    switch (outcome) {
        case ReadOutcome::Complete: break;
        case ReadOutcome::Failed:
            setError(error, ErrorCode::CannotRead, "reading the source failed after %zu bytes", bytes.size());
            return nullptr;
        case ReadOutcome::TooMuchDelivered:
            setError(error, ErrorCode::CannotRead, "the read callback delivered more bytes than asked for");
            return nullptr;
        case ReadOutcome::TooLarge:
            setError(error, ErrorCode::NotASong, "the source is larger than the largest song the library loads (2 GiB)");
            return nullptr;
    }
    return loadBytes(bytes.data(), bytes.size(), error);
}

const RowArrival* arrivalAt(const FirstPass& pass, int32_t order, int32_t row) {
    const int32_t first = pass.orderArrival[order];
    if (first < 0) {
        return nullptr;
    }
    for (size_t index = static_cast<size_t>(first); index < pass.arrivals.size(); ++index) {
        if (pass.arrivals[index].order == order && pass.arrivals[index].row == row) {
            return &pass.arrivals[index];
        }
    }
    return &pass.arrivals[static_cast<size_t>(first)];
}

bool checkOrder(const Module* module, int32_t order, Error* error) {
    if (module == nullptr) {
        setError(error, ErrorCode::InvalidArgument, "no module given");
        return false;
    }
    if (order < 0 || order >= module->song->songLength) {
        setError(error, ErrorCode::InvalidArgument, "order %d is outside the order list (0..%d)", order,
                 module->song->songLength - 1);
        return false;
    }
    return true;
}

int32_t rowsAtOrder(const Module& module, int32_t order) {
    const Song& song = *module.song;
    const int32_t pattern = song.orderTable[order];
    return pattern < song.patternSlotCount && song.patterns != nullptr ? song.patterns[pattern].rowCount
                                                                       : xm_format::missingPatternRowCount;
}

// Seeks keep the repeat count; the first pass is worked out if not yet known.
bool seekWithin(Module& module, int32_t order, int32_t row, Error* error) {
    if (!knowFirstPass(module)) {
        setError(error, ErrorCode::OutOfMemory, "out of memory");
        return false;
    }
    const int32_t repeats = module.repeats;
    startFrom(module, order, row, order > 0 || row > 0 ? arrivalAt(module.firstPass, order, row) : nullptr);
    module.repeats = repeats;
    return true;
}

const Instrument* instrumentAt(const Module* module, int32_t instrument) {
    if (module == nullptr || instrument < 1 || instrument > module->song->instrumentCount ||
        module->song->instruments == nullptr) {
        return nullptr;
    }
    return &module->song->instruments[instrument - 1];
}

}  // namespace

Module* loadFromMemory(const void* data, size_t size, Error* error) {
    return withoutExceptions<Module*>(error, nullptr, [&] { return loadBytes(data, size, error); });
}

Module* loadFromFile(const char* path, Error* error) {
    return withoutExceptions<Module*>(error, nullptr, [&] { return loadFile(path, error); });
}

Module* loadWithCallbacks(const FileCallbacks& callbacks, const char* name, Error* error) {
    return withoutExceptions<Module*>(error, nullptr, [&] { return loadThroughCallbacks(callbacks, name, error); });
}

void freeModule(Module* module) { delete module; }

Probe probe(const void* data, size_t size) {
    if (data == nullptr || size < static_cast<size_t>(xm_format::headerSizeOffset)) {
        return Probe::NeedMoreBytes;
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (std::memcmp(bytes, xm_format::signature, xm_format::signatureLength) != 0) {
        return Probe::NotASong;
    }
    if (size < probeBytes) {
        return Probe::NeedMoreBytes;
    }
    // The channel and instrument counts must be ones the loader takes.
    const auto field = [&](int32_t offset) {
        const size_t at = static_cast<size_t>(xm_format::headerSizeOffset + offset);
        return static_cast<int32_t>(bytes[at] | (bytes[at + 1] << 8));
    };
    if (size >= static_cast<size_t>(xm_format::headerSizeOffset + xm_format::instrumentCountField + 2)) {
        const int32_t channels = field(xm_format::channelCountField);
        if (channels == 0 || channels > maxChannels || field(xm_format::songLengthField) > orderTableSize ||
            field(xm_format::patternCountField) > xm_format::maxPatternCount ||
            field(xm_format::instrumentCountField) > xm_format::maxInstrumentCount) {
            return Probe::NotASong;
        }
    }
    return Probe::Song;
}

// Out of memory while tracking the passes ends the render.
int32_t render(Module* module, int16_t* frames, int32_t frameCount) {
    return withoutExceptions<int32_t>(nullptr, 0, [&] { return renderFrames(module, Form::Stereo16, frames, frameCount); });
}

int32_t renderFloat(Module* module, float* frames, int32_t frameCount) {
    return withoutExceptions<int32_t>(nullptr, 0,
                                      [&] { return renderFrames(module, Form::StereoFloat, frames, frameCount); });
}

int32_t renderMono(Module* module, int16_t* frames, int32_t frameCount) {
    return withoutExceptions<int32_t>(nullptr, 0, [&] { return renderFrames(module, Form::Mono16, frames, frameCount); });
}

int32_t renderMonoFloat(Module* module, float* frames, int32_t frameCount) {
    return withoutExceptions<int32_t>(nullptr, 0,
                                      [&] { return renderFrames(module, Form::MonoFloat, frames, frameCount); });
}

Metadata metadata(const Module* module) {
    if (module == nullptr) {
        return Metadata{};
    }
    Metadata info = module->info;
    const bool known = withoutExceptions<bool>(nullptr, false, [&] { return knowFirstPass(*module); });
    info.durationSeconds = known ? static_cast<double>(module->firstPass.frames) / rateOf(*module) : 0.0;
    return info;
}

int32_t loadWarningCount(const Module* module) {
    return module != nullptr ? static_cast<int32_t>(module->warnings.size()) : 0;
}

const char* loadWarning(const Module* module, int32_t index) {
    if (module == nullptr || index < 0 || index >= loadWarningCount(module)) {
        return nullptr;
    }
    return module->warnings[static_cast<size_t>(index)].c_str();
}

const char* instrumentName(const Module* module, int32_t instrument) {
    const Instrument* found = instrumentAt(module, instrument);
    return found != nullptr ? found->name : "";
}

int32_t sampleCount(const Module* module, int32_t instrument) {
    const Instrument* found = instrumentAt(module, instrument);
    return found != nullptr ? found->sampleCount : 0;
}

const char* sampleName(const Module* module, int32_t instrument, int32_t sample) {
    const Instrument* found = instrumentAt(module, instrument);
    if (found == nullptr || sample < 0 || sample >= found->sampleCount || sample >= maxSamplesPerInstrument ||
        found->samples[sample] == nullptr) {
        return "";
    }
    return found->samples[sample]->name;
}

int32_t patternRows(const Module* module, int32_t pattern) {
    if (module == nullptr || pattern < 0 || pattern >= module->song->patternSlotCount ||
        module->song->patterns == nullptr || module->song->patterns[pattern].cells == nullptr) {
        return 0;
    }
    return module->song->patterns[pattern].rowCount;
}

bool patternCell(const Module* module, int32_t pattern, int32_t row, int32_t channel, PatternCell* cell) {
    if (cell == nullptr || row < 0 || row >= patternRows(module, pattern) || channel < 0 ||
        channel >= module->song->channelCount) {
        return false;
    }
    const Cell& stored =
        module->song->patterns[pattern].cells[static_cast<size_t>(row) * module->song->channelCount + channel];
    const uint8_t note = stored.note == keyOffNote ? xm_format::fileKeyOffNote : stored.note;
    *cell = PatternCell{note, stored.instrument, stored.volume, stored.effect, stored.parameter};
    return true;
}

bool setOutputRate(Module* module, int32_t rate, Error* error) {
    return withoutExceptions<bool>(error, false, [&] {
        clearError(error);
        if (module == nullptr) {
            setError(error, ErrorCode::InvalidArgument, "no module given");
            return false;
        }
        if (rate < lowestFrameRate || rate > highestFrameRate) {
            setError(error, ErrorCode::InvalidArgument, "rate %d is outside %d..%d", rate, lowestFrameRate,
                     highestFrameRate);
            return false;
        }
        if (rate == rateOf(*module)) {
            return true;
        }
        const double seconds = position(module).seconds;
        const bool started = module->framesHanded > 0 || module->secondsBaseFrames > 0;
        module->song->outputRate = rate;
        forgetFirstPass(*module);
        if (!started) {
            setTempo(module->song.get(), module->song->bpm);
            retuneVoices(*module);
            return true;
        }
        // Frame counts change meaning: go on from the same time at the new rate.
        Metadata info = metadata(module);
        if (seconds < info.durationSeconds && seekToTime(module, seconds, error)) {
            return true;
        }
        clearError(error);
        const int32_t repeats = module->repeats;
        startFromBeginning(*module);
        module->repeats = repeats;
        return true;
    });
}

int32_t outputRate(const Module* module) { return module != nullptr ? rateOf(*module) : frameRate; }

void setMasterGain(Module* module, double gain) {
    if (module != nullptr && std::isfinite(gain)) {
        module->masterGain = static_cast<float>(std::clamp(gain, 0.0, highestGain));
    }
}

void setStereoSeparation(Module* module, int32_t percent) {
    if (module != nullptr) {
        module->separation = std::clamp(percent, 0, separationHighest);
    }
}

void setRepeatCount(Module* module, int32_t repeats) {
    if (module == nullptr) {
        return;
    }
    module->repeats = repeats < 0 ? -1 : repeats;
    // An end already found stays valid only while it is still wanted.
    if (module->repeats < 0 || module->tracker.passesCompleted <= module->repeats) {
        module->endFrame = -1;
    }
}

bool ended(const Module* module) {
    return module != nullptr && module->endFrame >= 0 && module->framesHanded >= module->endFrame;
}

Position position(const Module* module) {
    if (module == nullptr) {
        return Position{};
    }
    const Song& song = *module->song;
    Position at{};
    at.order = song.orderPosition;
    at.pattern = song.orderPosition >= 0 && song.orderPosition < orderTableSize ? song.orderTable[song.orderPosition] : 0;
    at.row = song.row;
    at.seconds = static_cast<double>(module->secondsBaseFrames + module->framesHanded) / rateOf(*module);
    at.passesCompleted = module->tracker.passesCompleted;
    at.speed = song.speed;
    at.tempo = song.bpm;
    return at;
}

bool seekToOrder(Module* module, int32_t order, Error* error) {
    return withoutExceptions<bool>(error, false, [&] {
        clearError(error);
        return checkOrder(module, order, error) && seekWithin(*module, order, 0, error);
    });
}

bool seekToRow(Module* module, int32_t order, int32_t row, Error* error) {
    return withoutExceptions<bool>(error, false, [&] {
        clearError(error);
        if (!checkOrder(module, order, error)) {
            return false;
        }
        const int32_t rows = rowsAtOrder(*module, order);
        if (row < 0 || row >= rows) {
            setError(error, ErrorCode::InvalidArgument, "row %d is outside the pattern at order %d (0..%d)", row,
                     order, rows - 1);
            return false;
        }
        return seekWithin(*module, order, row, error);
    });
}

bool seekToTime(Module* module, double seconds, Error* error) {
    return withoutExceptions<bool>(error, false, [&] {
        clearError(error);
        if (module == nullptr) {
            setError(error, ErrorCode::InvalidArgument, "no module given");
            return false;
        }
        if (!knowFirstPass(*module)) {
            setError(error, ErrorCode::OutOfMemory, "out of memory");
            return false;
        }
        const FirstPass& pass = module->firstPass;
        const double duration = static_cast<double>(pass.frames) / rateOf(*module);
        if (!std::isfinite(seconds) || seconds < 0.0 || (seconds >= duration && seconds > 0.0)) {
            setError(error, ErrorCode::InvalidArgument, "%.3f s is outside the song's one pass (0..%.3f s)",
                     seconds, duration);
            return false;
        }
        const auto target = static_cast<int64_t>(std::llround(seconds * rateOf(*module)));
        // The last row the first pass starts at or before the target.
        const auto after = std::upper_bound(pass.arrivals.begin(), pass.arrivals.end(), target,
                                            [](int64_t frame, const RowArrival& row) { return frame < row.frame; });
        if (after == pass.arrivals.begin()) {
            startFromBeginning(*module);
        } else {
            const RowArrival& row = *(after - 1);
            startFrom(*module, row.order, row.row, row.order > 0 || row.row > 0 ? &row : nullptr);
        }
        skipFrames(*module, target - (module->secondsBaseFrames + module->framesHanded));
        return true;
    });
}

bool setRules(Module* module, Rules rules, Error* error) {
    return withoutExceptions<bool>(error, false, [&] {
        clearError(error);
        if (module == nullptr) {
            setError(error, ErrorCode::InvalidArgument, "no module given");
            return false;
        }
        if (rules != Rules::Tracker && rules != Rules::Presentation) {
            setError(error, ErrorCode::InvalidArgument, "unknown playback rules %d", static_cast<int32_t>(rules));
            return false;
        }
        module->rules = rules;
        module->song->rules = playbackRules(rules);
        // Where the song ends and where each order starts follow the rules.
        forgetFirstPass(*module);
        startFromBeginning(*module);
        return true;
    });
}

Rules rules(const Module* module) { return module != nullptr ? module->rules : Rules::Tracker; }

void restart(Module* module) {
    if (module != nullptr) {
        withoutExceptions<bool>(nullptr, false, [&] {
            startFromBeginning(*module);
            return true;
        });
    }
}

bool setChannelMuted(Module* module, int32_t channel, bool muted) {
    if (module == nullptr || channel < 0 || channel >= module->song->channelCount) {
        return false;
    }
    module->channelMuted[channel] = muted;
    updateChannelGains(*module);
    return true;
}

bool setChannelVolume(Module* module, int32_t channel, double volume) {
    if (module == nullptr || channel < 0 || channel >= module->song->channelCount || !std::isfinite(volume)) {
        return false;
    }
    module->channelVolumes[channel] = static_cast<float>(std::clamp(volume, 0.0, highestGain));
    updateChannelGains(*module);
    return true;
}

void setTempoFactor(Module* module, double factor) {
    if (module == nullptr || !std::isfinite(factor)) {
        return;
    }
    module->song->tempoFactor = std::clamp(factor, lowestFactor, highestFactor);
    setTempo(module->song.get(), module->song->bpm);
    forgetFirstPass(*module);
}

void setPitchFactor(Module* module, double factor) {
    if (module == nullptr || !std::isfinite(factor)) {
        return;
    }
    module->song->pitchFactor = std::clamp(factor, lowestFactor, highestFactor);
    retuneVoices(*module);
}

void setTickObserver(Module* module, TickObserver observer, void* user) {
    if (module != nullptr) {
        module->observer = observer;
        module->observerUser = user;
    }
}

int32_t channelStates(const Module* module, ChannelState* states, int32_t capacity) {
    if (module == nullptr) {
        return 0;
    }
    const int32_t count = std::clamp<int32_t>(module->song->channelCount, 0, maxChannels);
    for (int32_t index = 0; index < std::min(count, capacity) && states != nullptr; ++index) {
        const MusicChannel& channel = module->engine.channels[index];
        const MixerVoice* voice = channel.voice;
        const bool sounding = voice != nullptr && voice->sample != nullptr;
        states[index] = ChannelState{sounding,
                                     channel.note,
                                     channel.instrument + 1,
                                     channel.period,
                                     channel.periodOffset,
                                     channel.volume,
                                     channel.panning,
                                     sounding ? voice->volume : 0,
                                     sounding ? voice->frequency : 0};
    }
    return count;
}

}  // namespace intro_music
