// replay_inputs [--expect-load] FOLDER...
// Runs every file of the folders through the same load-and-play steps as the
// fuzzer, in an ordinary build (and under the sanitizers in a sanitizer
// build). With --expect-load every file must load and play one whole pass.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "file_bytes.h"
#include "song_exercise.h"

int main(int argumentCount, char** arguments) {
    bool expectLoad = false;
    std::vector<std::filesystem::path> files;
    for (int index = 1; index < argumentCount; ++index) {
        if (std::strcmp(arguments[index], "--expect-load") == 0) {
            expectLoad = true;
            continue;
        }
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(arguments[index], error)) {
            if (entry.is_regular_file() && entry.path().filename().string().front() != '.') {
                files.push_back(entry.path());
            }
        }
        if (error) {
            std::fprintf(stderr, "replay_inputs: cannot list %s: %s\n", arguments[index], error.message().c_str());
            return 1;
        }
    }
    std::sort(files.begin(), files.end());

    int failures = 0;
    for (const auto& path : files) {
        std::vector<uint8_t> bytes;
        if (!readFileBytes(path, bytes)) {
            std::fprintf(stderr, "replay_inputs: cannot read %s\n", path.c_str());
            ++failures;
            continue;
        }
        const ExerciseResult result = exerciseSong(bytes.data(), bytes.size());
        std::printf("%s: %s, %d blocks, %d orders%s\n", path.filename().c_str(),
                    result.loaded ? "loaded" : "refused", result.blocksRendered, result.ordersReached,
                    result.passCompleted ? ", one whole pass" : "");
        if (expectLoad && !(result.loaded && result.passCompleted)) {
            std::fprintf(stderr, "FAIL: %s should load and play one whole pass within the budget\n",
                         path.c_str());
            ++failures;
        }
    }
    std::printf("%zu inputs replayed, %d failures\n", files.size(), failures);
    return failures == 0 ? 0 : 1;
}
