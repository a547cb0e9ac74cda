// reference_render --player libxmp|libopenmpt [--interpolation I] --seconds N INPUT.xm OUTPUT.wav
// reference_render --player libxmp|libopenmpt --duration INPUT.xm
// Renders the first N seconds of a song through a reference player into a
// 44,100 Hz 16-bit stereo WAV, for comparison with our own renders; or prints
// the length of one pass of the song, in seconds, as the player counts it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "reference_players.h"
#include "file_bytes.h"
#include "wav_file.h"

namespace {

constexpr int stereoChannels = 2;
constexpr double maxSeconds = 20 * 60;

void printUsage() {
    std::fprintf(stderr, "usage: reference_render --player libxmp|libopenmpt [--interpolation nearest|linear|cubic|sinc]\n"
                         "                        --seconds N INPUT.xm OUTPUT.wav\n"
                         "       reference_render --player libxmp|libopenmpt --duration INPUT.xm\n");
}

}  // namespace

int main(int argumentCount, char** arguments) {
    const char* playerName = nullptr;
    double seconds = -1;
    bool durationOnly = false;
    ReferenceInterpolation interpolation = ReferenceInterpolation::Linear;
    bool interpolationKnown = true;
    const char* paths[2] = {nullptr, nullptr};
    int pathCount = 0;
    for (int index = 1; index < argumentCount; ++index) {
        if (std::strcmp(arguments[index], "--player") == 0 && index + 1 < argumentCount) {
            playerName = arguments[++index];
        } else if (std::strcmp(arguments[index], "--seconds") == 0 && index + 1 < argumentCount) {
            char* end = nullptr;
            seconds = std::strtod(arguments[++index], &end);
            if (*end != '\0') {
                seconds = -1;
            }
        } else if (std::strcmp(arguments[index], "--interpolation") == 0 && index + 1 < argumentCount) {
            interpolationKnown = parseReferenceInterpolation(arguments[++index], &interpolation);
        } else if (std::strcmp(arguments[index], "--duration") == 0) {
            durationOnly = true;
        } else if (pathCount < 2 && arguments[index][0] != '-') {
            paths[pathCount++] = arguments[index];
        } else {
            printUsage();
            return 2;
        }
    }
    ReferencePlayerKind kind{};
    const bool renderArgumentsGood = pathCount == 2 && seconds > 0 && seconds <= maxSeconds;
    const bool durationArgumentsGood = pathCount == 1 && seconds < 0;
    if (playerName == nullptr || !parseReferencePlayerKind(playerName, &kind) || !interpolationKnown ||
        !(durationOnly ? durationArgumentsGood : renderArgumentsGood)) {
        printUsage();
        return 2;
    }

    std::vector<unsigned char> song;
    if (!readFileBytes(paths[0], song)) {
        std::fprintf(stderr, "reference_render: cannot read %s\n", paths[0]);
        return 1;
    }
    ReferencePlayer* player = openReferencePlayer(kind, song.data(), song.size(), interpolation);
    if (player == nullptr) {
        std::fprintf(stderr, "reference_render: %s cannot load %s\n", referencePlayerName(kind), paths[0]);
        return 1;
    }
    if (durationOnly) {
        std::printf("%.3f\n", referenceDurationSeconds(player));
        closeReferencePlayer(player);
        return 0;
    }
    const size_t frameCount = static_cast<size_t>(seconds * referenceSampleRate + 0.5);
    // A player that stops early leaves silence (zeros) for the rest.
    std::vector<int16_t> pcm(frameCount * stereoChannels, 0);
    renderReferenceFrames(player, pcm.data(), frameCount);
    closeReferencePlayer(player);

    if (!writeStereoWav(paths[1], pcm.data(), frameCount, referenceSampleRate)) {
        std::fprintf(stderr, "reference_render: cannot write %s\n", paths[1]);
        return 1;
    }
    return 0;
}
