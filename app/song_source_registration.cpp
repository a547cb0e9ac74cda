// Before main runs, the song loader is given the memory-file operations, so
// the song is read from the executable's own resources.
#include <cstdint>

#include "file_callbacks.h"
#include "memory_file.h"

using namespace intro_music::engine;

namespace {

void* openSongResource(const char* name) {
    // The loader passes the resource number in the name pointer.
    return openMemoryFile(static_cast<int>(reinterpret_cast<intptr_t>(name)));
}
void closeSongResource(void* handle) { closeMemoryFile(static_cast<MemoryFile*>(handle)); }
int32_t readSongResource(void* destination, int32_t count, void* handle) {
    return readMemoryFile(destination, count, static_cast<MemoryFile*>(handle));
}
void seekSongResource(void* handle, int32_t offset, uint8_t origin) {
    seekMemoryFile(static_cast<MemoryFile*>(handle), offset, origin);
}
int32_t tellSongResource(void* handle) { return tellMemoryFile(static_cast<MemoryFile*>(handle)); }

const bool registered = [] {
    setFileCallbacks(openSongResource, closeSongResource, readSongResource, seekSongResource, tellSongResource);
    return true;
}();

}  // namespace
