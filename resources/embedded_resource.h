// Lookup of the assets linked into the executable, by type name and identifier.
#pragma once

#include <cstdint>

struct EmbeddedResource {
    const uint8_t* data;  // read-only, lives as long as the process
    uint32_t size;
};

// {nullptr, 0} when no such resource was embedded.
EmbeddedResource loadResource(const char* type, int identifier);
