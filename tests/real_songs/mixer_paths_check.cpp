// mixer_paths_check SECONDS SONG.xm...
// Renders each song once per mixing path (forced), in every interpolation
// mode, and checks that every path gives the same bytes. Exit status: 0 all equal, 1 a difference or a song
// that does not load, 77 when this build or CPU has only one path.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "file_bytes.h"
#include "mixer.h"
#include "offline_render.h"
#include "song.h"

using namespace intro_music::engine;

namespace {

constexpr int skipStatus = 77;
constexpr MixerPath paths[] = {MixerPath::Baseline, MixerPath::Avx2};
constexpr const char* pathNames[] = {"baseline", "avx2"};
constexpr Interpolation modes[] = {Interpolation::Linear, Interpolation::Nearest, Interpolation::Cubic,
                                   Interpolation::Sinc};
constexpr const char* modeNames[] = {"linear", "nearest", "cubic", "sinc"};

bool render(const std::vector<uint8_t>& bytes, Interpolation mode, int32_t blocks, std::vector<int16_t>* pcm) {
    Song* song = loadSongFromMemory(bytes.data(), bytes.size(), nullptr);
    if (song == nullptr) {
        return false;
    }
    song->interpolation = mode;
    OfflineRender* offline = beginOfflineRender(song);
    bool complete = offline != nullptr;
    pcm->clear();
    for (int32_t block = 0; block < blocks && complete; ++block) {
        const int16_t* frames = renderOfflineBlock(offline);
        complete = frames != nullptr;
        if (complete) {
            pcm->insert(pcm->end(), frames, frames + blockLength * outputChannelCount);
        }
    }
    endOfflineRender(offline);
    freeSong(song);
    return complete;
}

// Whether both paths render the song alike in one mode; prints the verdict.
bool pathsAgree(const std::vector<uint8_t>& bytes, const std::string& name, Interpolation mode, int32_t blocks) {
    std::vector<int16_t> renders[2];
    for (size_t path = 0; path < 2; ++path) {
        setMixerPath(paths[path]);
        if (!render(bytes, mode, blocks, &renders[path])) {
            std::printf("FAIL %s: does not load or render\n", name.c_str());
            return false;
        }
    }
    const std::vector<int16_t>& expected = renders[0];
    const std::vector<int16_t>& actual = renders[1];
    size_t first = 0;
    while (first < expected.size() && expected[first] == actual[first]) {
        ++first;
    }
    if (first == expected.size()) {
        std::printf("ok   %s\n", name.c_str());
        return true;
    }
    std::printf("FAIL %s: %s and %s differ first at frame %zu (%d against %d)\n", name.c_str(), pathNames[0],
                pathNames[1], first / outputChannelCount, expected[first], actual[first]);
    return false;
}

}  // namespace

int main(int argumentCount, char** arguments) {
    if (argumentCount < 3 || std::atoi(arguments[1]) <= 0) {
        std::fprintf(stderr, "usage: mixer_paths_check SECONDS SONG.xm...\n");
        return 2;
    }
    const int32_t blocks = std::atoi(arguments[1]) * mixRate / blockLength + 1;
    const MixerPath chosen = mixerPath();
    for (MixerPath path : paths) {
        if (!setMixerPath(path)) {
            std::printf("SKIPPED: this build or CPU cannot run every mixing path\n");
            return skipStatus;
        }
    }
    int failures = 0;
    for (int index = 2; index < argumentCount; ++index) {
        const std::filesystem::path file(arguments[index]);
        std::vector<uint8_t> bytes;
        if (!readFileBytes(file, bytes)) {
            std::printf("FAIL %s: cannot read\n", file.string().c_str());
            ++failures;
            continue;
        }
        for (size_t mode = 0; mode < std::size(modes); ++mode) {
            const std::string name = file.filename().string() + " (" + modeNames[mode] + ")";
            failures += pathsAgree(bytes, name, modes[mode], blocks) ? 0 : 1;
        }
    }
    setMixerPath(chosen);
    return failures > 0 ? 1 : 0;
}
