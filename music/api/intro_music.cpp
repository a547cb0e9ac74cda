// The public interface over the engine: a Module owns a loaded song, the
// engine it plays on, the block it renders into and the watch on its passes.
#include "intro_music.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <system_error>
#include <vector>

#include "mixer.h"
#include "music_engine.h"
#include "pass_tracker.h"
#include "replayer.h"
#include "song.h"

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

// Where the song stands when an order is first reached on its first pass.
struct OrderArrival {
    int64_t frame = -1;  // -1: the first pass never reaches the order
    int32_t speed = 0;
    int32_t bpm = 0;
    int32_t globalVolume = 0;
};

struct SongDeleter {
    void operator()(Song* song) const { freeSong(song); }
};
using SongPointer = std::unique_ptr<Song, SongDeleter>;

struct Module {
    MusicEngine engine{};
    SongPointer song;
    Metadata info{};
    OrderArrival arrivals[orderTableSize];
    float mixBuffer[blockLength * outputChannelCount]{};
    int16_t block[blockLength * outputChannelCount]{};
    int32_t blockFramesLeft = 0;   // frames of `block` not handed out yet
    int64_t framesHanded = 0;      // since the last start or seek
    int64_t secondsBaseFrames = 0;  // song time at the last start or seek
    int64_t endFrame = -1;          // in frames handed out since the last start or seek; -1 while unknown
    int32_t repeats = 0;
    PassTracker tracker;
    PassTracker firstPass;  // the rows of the first pass, from the scan at load
    TickObserver observer = nullptr;
    void* observerUser = nullptr;
};

}  // namespace intro_music

namespace {

using intro_music::Module;
using intro_music::OrderArrival;
using intro_music::SongPointer;

// The song's tick handler while a Module plays it: the replayer's tick,
// watched for the song's return.
void watchedTick(MusicEngine& engine, Song* song) {
    Module& module = *static_cast<Module*>(engine.driver);
    passTickBegins(module.tracker, engine, *song);
    const int32_t tick = song->tick;
    replayTick(engine, song);
    if (module.observer != nullptr) {
        module.observer(module.observerUser, &module, intro_music::TickInfo{song->orderPosition, song->row, tick});
    }
    const int64_t cameBack = passTickEnds(module.tracker, *song);
    if (cameBack >= 0 && module.endFrame < 0 && module.repeats >= 0 &&
        module.tracker.passesCompleted > module.repeats) {
        module.endFrame = cameBack - module.secondsBaseFrames;
    }
}

void startFrom(Module& module, int32_t order) {
    Song* song = module.song.get();
    prepareSongStart(module.engine, song);
    module.engine.output = MixerOutput{song, module.mixBuffer, module.block, 1, 0};
    module.engine.driver = &module;
    song->tickHandler = watchedTick;
    module.blockFramesLeft = 0;
    module.framesHanded = 0;
    module.endFrame = -1;
    resetPassTracker(module.tracker);
    module.secondsBaseFrames = 0;
    if (order > 0) {
        const OrderArrival& arrival = module.arrivals[order];
        song->orderPosition = song->nextOrder = order;
        song->row = song->nextRow = 0;
        if (arrival.frame >= 0) {
            song->speed = arrival.speed;
            setTempo(song, arrival.bpm);
            song->globalVolume = arrival.globalVolume;
            module.secondsBaseFrames = arrival.frame;
        }
        // The pass goes on as the first pass would from there: it ends
        // where that one ends, and the seconds count follows the song's time.
        resumePassAt(module.tracker, module.firstPass, module.secondsBaseFrames);
    }
}

// One pass of the song on a copy of it, ticks only (nothing is mixed): the
// duration and where each order is first reached.
bool scanFirstPass(Module& module, const std::vector<uint8_t>& bytes) {
    SongPointer copy(loadSongFromMemory(bytes.data(), bytes.size(), nullptr));
    auto engine = std::unique_ptr<MusicEngine>(new (std::nothrow) MusicEngine{});
    if (copy == nullptr || engine == nullptr) {
        return false;
    }
    Song& song = *copy;
    prepareSongStart(*engine, &song);
    PassTracker& tracker = module.firstPass;
    tracker.recordRows = true;
    for (;;) {
        if (song.tick == 0) {
            const int32_t order = song.nextOrder >= 0 ? song.nextOrder : song.orderPosition;
            const int32_t row = song.nextRow >= 0 ? song.nextRow : song.row;
            if (order >= 0 && order < orderTableSize && module.arrivals[order].frame < 0 && row == 0) {
                module.arrivals[order] =
                    OrderArrival{tracker.framesBeforeTick + tracker.lastTickFrames, song.speed, song.bpm,
                                 song.globalVolume};
            }
        }
        passTickBegins(tracker, *engine, song);
        replayTick(*engine, &song);
        const int64_t cameBack = passTickEnds(tracker, song);
        if (cameBack >= 0) {
            module.info.durationSeconds = static_cast<double>(cameBack) / mixRate;
            return true;
        }
    }
}

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

}  // namespace

namespace intro_music {

const char* versionString() { return "1.0"; }

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
    const auto* first = static_cast<const uint8_t*>(data);
    std::vector<uint8_t> bytes;
    if (module != nullptr) {
        bytes.assign(first, first + size);
    }
    if (module == nullptr) {
        setError(error, ErrorCode::OutOfMemory, "out of memory");
        return nullptr;
    }
    module->song.reset(loadSongFromMemory(bytes.data(), bytes.size(), nullptr));
    if (module->song == nullptr) {
        setError(error, ErrorCode::NotASong, "not an Extended Module song, or damaged beyond use");
        return nullptr;
    }
    fillMetadata(*module, bytes);
    if (!scanFirstPass(*module, bytes)) {
        setError(error, ErrorCode::OutOfMemory, "out of memory");
        return nullptr;
    }
    startFrom(*module, 0);
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
    if (std::filesystem::is_regular_file(status)) {
        const uintmax_t size = std::filesystem::file_size(path, code);
        if (!code && size > largestSongBytes) {
            setError(error, ErrorCode::NotASong, "%s: larger than the largest song the library loads (2 GiB)", path);
            return nullptr;
        }
    }
    // Closed on every way out, the out-of-memory exception included.
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
    if (file == nullptr) {
        setError(error, ErrorCode::CannotOpen, "%s: cannot open: %s", path, std::strerror(errno));
        return nullptr;
    }
    std::vector<uint8_t> bytes;
    std::vector<uint8_t> chunk(readChunk);
    size_t count = 0;
    // A device or pipe has no size to check first: it is read no further than a song can reach.
    while (bytes.size() <= largestSongBytes && (count = std::fread(chunk.data(), 1, chunk.size(), file.get())) > 0) {
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(count));
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

int32_t renderFrames(Module* module, int16_t* frames, int32_t frameCount) {
    if (module == nullptr || frames == nullptr || frameCount <= 0) {
        return 0;
    }
    int32_t written = 0;
    while (written < frameCount) {
        if (module->endFrame >= 0 && module->framesHanded >= module->endFrame) {
            break;
        }
        if (module->blockFramesLeft == 0) {
            fillBlock(module->engine);
            module->blockFramesLeft = blockLength;
        }
        int64_t take = std::min<int64_t>(frameCount - written, module->blockFramesLeft);
        if (module->endFrame >= 0) {
            take = std::min(take, module->endFrame - module->framesHanded);
        }
        const int16_t* source = module->block + (blockLength - module->blockFramesLeft) * outputChannelCount;
        std::memcpy(frames + static_cast<size_t>(written) * outputChannelCount, source,
                    static_cast<size_t>(take) * outputChannelCount * sizeof(int16_t));
        written += static_cast<int32_t>(take);
        module->blockFramesLeft -= static_cast<int32_t>(take);
        module->framesHanded += take;
    }
    return written;
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

// Out of memory while tracking the passes ends the render.
int32_t render(Module* module, int16_t* frames, int32_t frameCount) {
    return withoutExceptions<int32_t>(nullptr, 0, [&] { return renderFrames(module, frames, frameCount); });
}

Metadata metadata(const Module* module) { return module != nullptr ? module->info : Metadata{}; }


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
    at.seconds = static_cast<double>(module->secondsBaseFrames + module->framesHanded) / mixRate;
    at.passesCompleted = module->tracker.passesCompleted;
    return at;
}

bool seekToOrder(Module* module, int32_t order, Error* error) {
    return withoutExceptions<bool>(error, false, [&] {
        clearError(error);
        if (module == nullptr) {
            setError(error, ErrorCode::InvalidArgument, "no module given");
            return false;
        }
        if (order < 0 || order >= module->song->songLength) {
            setError(error, ErrorCode::InvalidArgument, "order %d is outside the order list (0..%d)", order,
                     module->song->songLength - 1);
            return false;
        }
        const int32_t repeats = module->repeats;
        startFrom(*module, order);
        module->repeats = repeats;
        return true;
    });
}

void restart(Module* module) {
    if (module != nullptr) {
        withoutExceptions<bool>(nullptr, false, [&] {
            startFrom(*module, 0);
            return true;
        });
    }
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
