#include "memory_file.h"

#include <cstring>

#include "embedded_resource.h"

namespace {
constexpr const char* songResourceType = "MODFILE";
}

MemoryFile* openMemoryFile(int identifier) {
    const EmbeddedResource resource = loadResource(songResourceType, identifier);
    return openMemoryFileOver(resource.data, static_cast<int32_t>(resource.size));
}

MemoryFile* openMemoryFileOver(const uint8_t* data, int32_t size) {
    auto* file = new MemoryFile{};
    file->data = data;
    file->size = data != nullptr && size > 0 ? size : 0;
    file->position = 0;
    return file;
}

void closeMemoryFile(MemoryFile* file) { delete file; }

int32_t readMemoryFile(void* destination, int32_t count, MemoryFile* file) {
    if (file == nullptr || destination == nullptr || count <= 0) {
        return 0;
    }
    // 64-bit sum: position + count must not overflow.
    if (int64_t{file->position} + count >= file->size) {
        count = file->size - file->position;
    }
    if (count <= 0) {
        return 0;
    }
    std::memcpy(destination, file->data + file->position, static_cast<size_t>(count));
    file->position += count;
    return count;
}

void seekMemoryFile(MemoryFile* file, int32_t offset, uint8_t origin) {
    if (file == nullptr) {
        return;
    }
    int64_t position = file->position;
    switch (origin) {
        case 0: position = offset; break;
        case 1: position += offset; break;
        case 2: position = int64_t{file->size} + offset; break;
        default: break;
    }
    if (position > file->size) {
        position = file->size;
    }
    if (position < 0) {
        position = 0;  // a cursor before the first byte would read outside the resource
    }
    file->position = static_cast<int32_t>(position);
}

int32_t tellMemoryFile(MemoryFile* file) { return file != nullptr ? file->position : 0; }
