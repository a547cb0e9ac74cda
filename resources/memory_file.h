// A read cursor over one embedded resource: the song loader's file source.
#pragma once

#include <cstdint>

struct MemoryFile {
    int32_t size;
    int32_t position;
    const uint8_t* data;
};

// Looks the identifier up under type "MODFILE". A missing resource gives a
// file of size 0, from which every read delivers nothing.
MemoryFile* openMemoryFile(int identifier);
// Opens a cursor over any byte block (used by tests).
MemoryFile* openMemoryFileOver(const uint8_t* data, int32_t size);
void closeMemoryFile(MemoryFile* file);
// Copies at most count bytes; returns how many were copied (0 at the end).
int32_t readMemoryFile(void* destination, int32_t count, MemoryFile* file);
// origin 0 from the start, 1 from the current position, 2 from the end;
// any other origin leaves the position. The result is kept within 0..size.
void seekMemoryFile(MemoryFile* file, int32_t offset, uint8_t origin);
int32_t tellMemoryFile(MemoryFile* file);
