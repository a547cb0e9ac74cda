#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "embedded_resource.h"
#include "memory_file.h"

namespace {

constexpr int fontIdentifier = 128;

std::array<uint8_t, 32> numberedBytes() {
    std::array<uint8_t, 32> bytes{};
    for (size_t index = 0; index < bytes.size(); ++index) {
        bytes[index] = static_cast<uint8_t>(index);
    }
    return bytes;
}

}  // namespace

TEST(ResourceTable, EmbeddedFontIsFoundByTypeAndIdentifier) {
    const EmbeddedResource font = loadResource("BINARY", fontIdentifier);
    ASSERT_NE(font.data, nullptr);
    ASSERT_GT(font.size, 12u);
    // A TrueType file starts with the version 0x00010000.
    EXPECT_EQ(std::memcmp(font.data, "\x00\x01\x00\x00", 4), 0);
}

TEST(ResourceTable, TypeAndIdentifierMustBothMatch) {
    EXPECT_EQ(loadResource("BINARY", 999).data, nullptr);
    EXPECT_EQ(loadResource("binary", fontIdentifier).data, nullptr);
    EXPECT_EQ(loadResource("RAW", fontIdentifier).size, 0u);
    EXPECT_EQ(loadResource(nullptr, fontIdentifier).data, nullptr);
}

TEST(MemoryFile, MissingResourceReadsNothing) {
    MemoryFile* file = openMemoryFile(4242);
    ASSERT_NE(file, nullptr);
    std::array<uint8_t, 4> buffer{9, 9, 9, 9};
    EXPECT_EQ(readMemoryFile(buffer.data(), 4, file), 0);
    EXPECT_EQ(buffer[0], 9);
    EXPECT_EQ(tellMemoryFile(file), 0);
    closeMemoryFile(file);
}

TEST(MemoryFile, ReadAcrossTheEndCopiesWhatRemainsThenNothing) {
    const auto bytes = numberedBytes();
    MemoryFile* file = openMemoryFileOver(bytes.data(), 32);
    seekMemoryFile(file, 28, 0);
    std::array<uint8_t, 10> buffer{};
    EXPECT_EQ(readMemoryFile(buffer.data(), 10, file), 4);
    EXPECT_EQ(buffer[0], 28);
    EXPECT_EQ(buffer[3], 31);
    EXPECT_EQ(buffer[4], 0);
    EXPECT_EQ(tellMemoryFile(file), 32);
    EXPECT_EQ(readMemoryFile(buffer.data(), 1, file), 0);
    closeMemoryFile(file);
}

TEST(MemoryFile, ReadEndingExactlyAtTheEndCopiesEverything) {
    const auto bytes = numberedBytes();
    MemoryFile* file = openMemoryFileOver(bytes.data(), 32);
    std::array<uint8_t, 32> buffer{};
    EXPECT_EQ(readMemoryFile(buffer.data(), 32, file), 32);
    EXPECT_EQ(buffer, bytes);
    closeMemoryFile(file);
}

TEST(MemoryFile, NegativeCountCopiesNothing) {
    const auto bytes = numberedBytes();
    MemoryFile* file = openMemoryFileOver(bytes.data(), 32);
    std::array<uint8_t, 4> buffer{};
    EXPECT_EQ(readMemoryFile(buffer.data(), -5, file), 0);
    EXPECT_EQ(tellMemoryFile(file), 0);
    closeMemoryFile(file);
}

TEST(MemoryFile, SeekOriginsAndClamps) {
    const auto bytes = numberedBytes();
    MemoryFile* file = openMemoryFileOver(bytes.data(), 32);
    seekMemoryFile(file, 0, 2);
    EXPECT_EQ(tellMemoryFile(file), 32) << "from the end, offset 0";
    seekMemoryFile(file, -17, 2);
    EXPECT_EQ(tellMemoryFile(file), 15) << "from the end, offset -17";
    seekMemoryFile(file, 5, 1);
    EXPECT_EQ(tellMemoryFile(file), 20) << "from the current position";
    seekMemoryFile(file, 100, 0);
    EXPECT_EQ(tellMemoryFile(file), 32) << "beyond the end clamps to the size";
    seekMemoryFile(file, 3, 0);
    seekMemoryFile(file, 7, 3);
    EXPECT_EQ(tellMemoryFile(file), 3) << "an unknown origin keeps the position";
    closeMemoryFile(file);
}

TEST(MemoryFile, SeekBeforeTheStartStopsAtZero) {
    const auto bytes = numberedBytes();
    MemoryFile* file = openMemoryFileOver(bytes.data(), 32);
    seekMemoryFile(file, -10, 0);
    EXPECT_EQ(tellMemoryFile(file), 0);
    seekMemoryFile(file, -40, 2);
    EXPECT_EQ(tellMemoryFile(file), 0);
    std::array<uint8_t, 2> buffer{};
    EXPECT_EQ(readMemoryFile(buffer.data(), 2, file), 2);
    EXPECT_EQ(buffer[1], 1) << "reading resumes at the first byte, never before it";
    closeMemoryFile(file);
}
