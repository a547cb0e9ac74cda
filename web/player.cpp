// The song player's engine side: the song loaded from bytes the page hands
// over, twice over: one copy plays (rendered in pieces that the page queues
// for its worklet), the other renders the WAV file while the first goes on.
// Everything goes through the music library's public interface.
#include <emscripten.h>

#include <intro_music.h>

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

enum Use : int32_t { Playing = 0, Saving = 1, UseCount = 2 };

std::vector<uint8_t> songBytes;
intro_music::Module* songs[UseCount] = {};
intro_music::Error lastError{};
intro_music::Metadata songMetadata{};
// The interpolation the page chose: both copies play by it.
auto chosenInterpolation = intro_music::Interpolation::Linear;
// One render's frames; the page copies them out before the next call.
constexpr int32_t maximumFramesPerRender = 1 << 16;
int16_t renderBuffer[maximumFramesPerRender * intro_music::channelsPerFrame];
// One pattern row as text: up to 32 channels of "C-4 01 40 F06" and a bar between.
constexpr int32_t cellTextLength = 14;
char rowText[32 * cellTextLength + 1];
constexpr uint8_t keyOffNote = 97;
const char* const noteNames[12] = {"C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-"};
constexpr char effectDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

intro_music::Module* songFor(int32_t use) { return use >= 0 && use < UseCount ? songs[use] : nullptr; }

void unloadAll() {
    for (intro_music::Module*& song : songs) {
        intro_music::freeModule(song);
        song = nullptr;
    }
}

}  // namespace

extern "C" {

// Replaces the song with the one in the bytes; 0 when they are not a song
// (playerError then says why, in the library's words).
EMSCRIPTEN_KEEPALIVE int32_t playerLoad(const uint8_t* data, int32_t size) {
    unloadAll();
    songBytes.assign(data, data + (size > 0 ? size : 0));
    songs[Playing] = intro_music::loadFromMemory(songBytes.data(), songBytes.size(), &lastError);
    if (songs[Playing] == nullptr) {
        songBytes.clear();
        return 0;
    }
    intro_music::setInterpolation(songs[Playing], chosenInterpolation, nullptr);
    songMetadata = intro_music::metadata(songs[Playing]);
    return 1;
}

EMSCRIPTEN_KEEPALIVE const char* playerError() { return lastError.message; }

EMSCRIPTEN_KEEPALIVE const char* playerTitle() { return songMetadata.title; }

EMSCRIPTEN_KEEPALIVE double playerDurationSeconds() { return songMetadata.durationSeconds; }

EMSCRIPTEN_KEEPALIVE int32_t playerOrderCount() { return songMetadata.orders; }

// Starts `use` from the song's beginning (the saving copy is loaded on first use).
EMSCRIPTEN_KEEPALIVE int32_t playerRestart(int32_t use) {
    if (use == Saving && songs[Saving] == nullptr && !songBytes.empty()) {
        songs[Saving] = intro_music::loadFromMemory(songBytes.data(), songBytes.size(), &lastError);
        intro_music::setInterpolation(songs[Saving], chosenInterpolation, nullptr);
    }
    intro_music::Module* song = songFor(use);
    if (song == nullptr) {
        return 0;
    }
    intro_music::restart(song);
    return 1;
}

// Renders up to frameCount frames of `use` (one pass of the song in all);
// returns how many, 0 at the end. They are at playerFrames().
EMSCRIPTEN_KEEPALIVE int32_t playerRender(int32_t use, int32_t frameCount) {
    if (frameCount > maximumFramesPerRender) {
        frameCount = maximumFramesPerRender;
    }
    return intro_music::render(songFor(use), renderBuffer, frameCount);
}

EMSCRIPTEN_KEEPALIVE const int16_t* playerFrames() { return renderBuffer; }

// What the loader mended in a damaged song, one line each.
EMSCRIPTEN_KEEPALIVE int32_t playerWarningCount() { return intro_music::loadWarningCount(songs[Playing]); }
EMSCRIPTEN_KEEPALIVE const char* playerWarning(int32_t index) {
    const char* warning = intro_music::loadWarning(songs[Playing], index);
    return warning != nullptr ? warning : "";
}

// Looping: the playing copy goes on from where the song comes back, for ever;
// otherwise it ends after one pass.
EMSCRIPTEN_KEEPALIVE void playerSetLooping(int32_t looping) {
    intro_music::setRepeatCount(songs[Playing], looping != 0 ? -1 : 0);
}

EMSCRIPTEN_KEEPALIVE int32_t playerPattern(int32_t use) { return intro_music::position(songFor(use)).pattern; }

EMSCRIPTEN_KEEPALIVE int32_t playerPatternRows(int32_t pattern) {
    return intro_music::patternRows(songs[Playing], pattern);
}

// A row of a pattern as trackers show it: note, instrument, volume column and
// effect per channel, "." where the cell is empty; "" outside the pattern.
EMSCRIPTEN_KEEPALIVE const char* playerRowText(int32_t pattern, int32_t row) {
    char* at = rowText;
    const int32_t channels = songMetadata.channels < 32 ? songMetadata.channels : 32;
    rowText[0] = '\0';
    for (int32_t channel = 0; channel < channels; ++channel) {
        intro_music::PatternCell cell{};
        if (!intro_music::patternCell(songs[Playing], pattern, row, channel, &cell)) return "";
        char note[4] = "...";
        if (cell.note == keyOffNote) {
            std::snprintf(note, sizeof note, "===");
        } else if (cell.note > 0 && cell.note < keyOffNote) {
            std::snprintf(note, sizeof note, "%s%d", noteNames[(cell.note - 1) % 12], (cell.note - 1) / 12);
        }
        char instrument[3] = "..";
        if (cell.instrument > 0) std::snprintf(instrument, sizeof instrument, "%02X", cell.instrument);
        char volume[3] = "..";
        if (cell.volume > 0) std::snprintf(volume, sizeof volume, "%02X", cell.volume);
        char effect[4] = "...";
        if (cell.effect != 0 || cell.parameter != 0) {
            std::snprintf(effect, sizeof effect, "%c%02X", effectDigits[cell.effect % 36], cell.parameter);
        }
        at += std::snprintf(at, cellTextLength + 1, "%s%s %s %s %s", channel > 0 ? "|" : "", note, instrument, volume,
                            effect);
    }
    return rowText;
}

EMSCRIPTEN_KEEPALIVE int32_t playerOrder(int32_t use) { return intro_music::position(songFor(use)).order; }

EMSCRIPTEN_KEEPALIVE int32_t playerRow(int32_t use) { return intro_music::position(songFor(use)).row; }

// Continues `use` from row 0 of an order-list position; 0 (and nothing
// changes) for a position outside the order list.
EMSCRIPTEN_KEEPALIVE int32_t playerSeekToOrder(int32_t use, int32_t order) {
    return intro_music::seekToOrder(songFor(use), order, &lastError) ? 1 : 0;
}

// How both copies resample (0 nearest, 1 linear, 2 cubic, 3 sinc), from
// the next piece on; 0 (and nothing changes) for an unknown mode.
EMSCRIPTEN_KEEPALIVE int32_t playerSetInterpolation(int32_t mode) {
    if (mode < 0 || mode > static_cast<int32_t>(intro_music::Interpolation::Sinc)) {
        return 0;
    }
    chosenInterpolation = static_cast<intro_music::Interpolation>(mode);
    for (intro_music::Module* song : songs) intro_music::setInterpolation(song, chosenInterpolation, nullptr);
    return 1;
}

// Per channel, the left and right level (0..1) of what it added to the
// playing copy's last rendered frames, at playerLevels(); returns the count.
constexpr int32_t mostChannels = 32;
float channelLevels[2 * mostChannels];

EMSCRIPTEN_KEEPALIVE int32_t playerChannelLevels() {
    const int32_t count = songMetadata.channels < mostChannels ? songMetadata.channels : mostChannels;
    for (int32_t channel = 0; channel < count; ++channel) {
        float* pair = channelLevels + 2 * channel;
        if (!intro_music::channelLevel(songs[Playing], channel, &pair[0], &pair[1])) pair[0] = pair[1] = 0.0f;
    }
    return count;
}

EMSCRIPTEN_KEEPALIVE const float* playerLevels() { return channelLevels; }

// Seconds of the song heard so far by `use`, as far as it has rendered.
EMSCRIPTEN_KEEPALIVE double playerSeconds(int32_t use) { return intro_music::position(songFor(use)).seconds; }

// Renders one pass of the playing copy without keeping it and returns the
// seconds of sound made, then starts it again: the engine's speed in this
// browser, for the benchmark.
EMSCRIPTEN_KEEPALIVE double playerRenderSeconds() {
    intro_music::Module* song = songs[Playing];
    intro_music::restart(song);
    int64_t frames = 0;
    for (int32_t count; (count = intro_music::render(song, renderBuffer, maximumFramesPerRender)) > 0;) {
        frames += count;
    }
    intro_music::restart(song);
    return static_cast<double>(frames) / intro_music::frameRate;
}

}  // extern "C"
