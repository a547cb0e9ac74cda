// The generated table behind loadResource.
#pragma once

struct ResourceTableEntry {
    const char* type;
    int identifier;
    const unsigned char* begin;
    const unsigned char* end;
};

// Terminated by an entry with a null type.
extern const ResourceTableEntry resourceTable[];
extern const int resourceTableSize;
