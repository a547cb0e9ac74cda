// The five file operations through which the song loader reads its source.
// The application registers operations over embedded memory; tools and tests
// may register their own.
#pragma once

#include <cstdint>

namespace intro_music::engine {

using FileOpen = void* (*)(const char* name);
using FileClose = void (*)(void* handle);
using FileRead = int32_t (*)(void* destination, int32_t count, void* handle);
using FileSeek = void (*)(void* handle, int32_t offset, uint8_t origin);
using FileTell = int32_t (*)(void* handle);

struct FileCallbacks {
    FileOpen open = nullptr;
    FileClose close = nullptr;
    FileRead read = nullptr;
    FileSeek seek = nullptr;
    FileTell tell = nullptr;
};

enum SeekOrigin : uint8_t { SeekFromStart = 0, SeekFromCurrent = 1, SeekFromEnd = 2 };

// Stores all five when none is null; otherwise clears every slot.
void setFileCallbacks(FileOpen open, FileClose close, FileRead read, FileSeek seek, FileTell tell);
const FileCallbacks& fileCallbacks();
bool fileCallbacksComplete();

}  // namespace intro_music::engine
