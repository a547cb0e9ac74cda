#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "embedded_resource.h"
#include "file_callbacks.h"
#include "memory_file.h"
#include "mixer.h"
#include "offline_render.h"
#include "song.h"

using namespace intro_music::engine;

namespace {

constexpr int songIdentifier = 127;

// The loader reads through callbacks; these record where it stopped.
int32_t positionAtClose = -1;
int32_t sizeAtClose = -1;

void* openSong(const char* name) { return openMemoryFile(static_cast<int>(reinterpret_cast<intptr_t>(name))); }
void closeSong(void* handle) {
    auto* file = static_cast<MemoryFile*>(handle);
    positionAtClose = file->position;
    sizeAtClose = file->size;
    closeMemoryFile(file);
}
int32_t readSong(void* destination, int32_t count, void* handle) {
    return readMemoryFile(destination, count, static_cast<MemoryFile*>(handle));
}
void seekSong(void* handle, int32_t offset, uint8_t origin) {
    seekMemoryFile(static_cast<MemoryFile*>(handle), offset, origin);
}
int32_t tellSong(void* handle) { return tellMemoryFile(static_cast<MemoryFile*>(handle)); }

Song* loadEmbeddedSong() {
    setFileCallbacks(openSong, closeSong, readSong, seekSong, tellSong);
    return loadSong(reinterpret_cast<const char*>(intptr_t{songIdentifier}), nullptr);
}

std::vector<int> sampleBitDepths;
void recordBitDepth(void*, uint32_t, int bitsPerSample, int, int) { sampleBitDepths.push_back(bitsPerSample); }

}  // namespace

TEST(EmbeddedSong, HasTheShapeThePresentationExpects) {
    ASSERT_NE(loadResource("MODFILE", songIdentifier).data, nullptr);
    Song* song = loadEmbeddedSong();
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->channelCount, 8);
    EXPECT_EQ(song->songLength, 23);
    EXPECT_EQ(song->restartPosition, 0);
    EXPECT_EQ(song->patternSlotCount, 6);
    EXPECT_EQ(song->usedPatternCount, 6) << "every pattern is played";
    for (int pattern = 0; pattern < song->patternSlotCount; ++pattern) {
        EXPECT_EQ(song->patterns[pattern].rowCount, 64) << "pattern " << pattern;
    }
    EXPECT_EQ(song->flags, 0) << "Amiga periods";
    EXPECT_EQ(song->defaultSpeed, 6);
    EXPECT_EQ(song->defaultBpm, 125);
    ASSERT_EQ(song->instrumentCount, 6);
    for (int index = 0; index < song->instrumentCount; ++index) {
        const Instrument& instrument = song->instruments[index];
        EXPECT_EQ(instrument.sampleCount, 1) << "instrument " << index;
        EXPECT_EQ(instrument.volumeEnvelopeFlags, 0) << "instrument " << index;
        EXPECT_EQ(instrument.panningEnvelopeFlags, 0) << "instrument " << index;
        EXPECT_GT(instrument.samples[0]->length, 0u) << "instrument " << index;
    }
    freeSong(song);
}

TEST(EmbeddedSong, LoaderEndsAtTheLastByte) {
    positionAtClose = -1;
    Song* song = loadEmbeddedSong();
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(sizeAtClose, static_cast<int32_t>(loadResource("MODFILE", songIdentifier).size));
    EXPECT_EQ(positionAtClose, sizeAtClose);
    freeSong(song);
}

TEST(EmbeddedSong, SamplesAreStoredWithEightBits) {
    const EmbeddedResource resource = loadResource("MODFILE", songIdentifier);
    sampleBitDepths.clear();
    Song* song = loadSongFromMemory(resource.data, resource.size, recordBitDepth);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(sampleBitDepths, std::vector<int>(6, 8));
    freeSong(song);
}

TEST(EmbeddedSong, FiveMinutesRenderWithoutClipping) {
    const EmbeddedResource resource = loadResource("MODFILE", songIdentifier);
    Song* song = loadSongFromMemory(resource.data, resource.size, nullptr);
    ASSERT_NE(song, nullptr);
    OfflineRender* render = beginOfflineRender(song);
    ASSERT_NE(render, nullptr);
    constexpr int seconds = 300;
    const int blocks = seconds * mixRate / blockLength + 1;
    int peak = 0;
    for (int block = 0; block < blocks; ++block) {
        const int16_t* frames = renderOfflineBlock(render);
        ASSERT_NE(frames, nullptr);
        for (int index = 0; index < blockLength * 2; ++index) {
            peak = std::max(peak, std::abs(static_cast<int>(frames[index])));
        }
    }
    endOfflineRender(render);
    freeSong(song);
    EXPECT_GT(peak, 1000) << "the song is audible";
    EXPECT_LT(peak, 32767) << "no sample reaches full scale";
}
