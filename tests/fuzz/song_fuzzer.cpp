// libFuzzer entry: every input is tried as a song and, when it loads, played.
#include <cstddef>
#include <cstdint>

#include "song_exercise.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    exerciseSong(data, size);
    return 0;
}
