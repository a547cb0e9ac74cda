#include "embedded_resource.h"

#include <cstring>

#include "resource_table.h"

EmbeddedResource loadResource(const char* type, int identifier) {
    if (type == nullptr) {
        return {nullptr, 0};
    }
    for (int index = 0; index < resourceTableSize; ++index) {
        const ResourceTableEntry& entry = resourceTable[index];
        if (entry.identifier == identifier && std::strcmp(entry.type, type) == 0) {
            return {entry.begin, static_cast<uint32_t>(entry.end - entry.begin)};
        }
    }
    return {nullptr, 0};
}
