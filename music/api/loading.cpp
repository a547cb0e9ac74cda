// Loading songs: from memory, from a file or through the caller's file
// operations, and telling a song's first bytes from anything else.
#include "module.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "xm_format.h"

using namespace intro_music::engine;

namespace {

using intro_music::Module;
using namespace intro_music::detail;

// Header text fields, counted from the start of the file.
constexpr size_t titleOffset = 17;
constexpr size_t trackerNameOffset = 38;
constexpr size_t headerTextLength = 20;
constexpr int32_t readChunk = 64 * 1024;
// The loader's offsets are 32-bit: no song is larger.
constexpr size_t largestSongBytes = INT32_MAX;

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


}  // namespace

namespace intro_music {
using namespace detail;

namespace {

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
    if (data == nullptr) {
        return Probe::NeedMoreBytes;
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    // Whatever the bytes given already rule out needs no more of them.
    if (std::memcmp(bytes, xm_format::signature, std::min<size_t>(size, xm_format::signatureLength)) != 0) {
        return Probe::NotASong;
    }
    // The counts the loader checks, each as soon as both its bytes are there.
    const auto fieldOutside = [&](int32_t offset, int32_t lowest, int32_t highest) {
        const size_t at = static_cast<size_t>(xm_format::headerSizeOffset + offset);
        if (at + 2 > size) {
            return false;
        }
        const int32_t value = bytes[at] | (bytes[at + 1] << 8);
        return value < lowest || value > highest;
    };
    if (fieldOutside(xm_format::songLengthField, 0, orderTableSize) ||
        fieldOutside(xm_format::channelCountField, 1, maxChannels) ||
        fieldOutside(xm_format::patternCountField, 0, xm_format::maxPatternCount) ||
        fieldOutside(xm_format::instrumentCountField, 0, xm_format::maxInstrumentCount)) {
        return Probe::NotASong;
    }
    return size < probeBytes ? Probe::NeedMoreBytes : Probe::Song;
}

size_t probeBytesNeeded(const void* data, size_t size) {
    return probe(data, size) == Probe::NeedMoreBytes ? probeBytes : 0;
}


}  // namespace intro_music
