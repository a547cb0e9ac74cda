// On Windows the assets are the executable's own resources, compiled from the
// same registrations by windres; the module loader maps them with the image.
#include <windows.h>

#include "embedded_resource.h"

EmbeddedResource loadResource(const char* type, int identifier) {
    if (type == nullptr) {
        return {nullptr, 0};
    }
    const HMODULE module = GetModuleHandleA(nullptr);
    const HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(identifier), type);
    if (found == nullptr) {
        return {nullptr, 0};
    }
    const HGLOBAL loaded = LoadResource(module, found);
    if (loaded == nullptr) {
        return {nullptr, 0};
    }
    return {static_cast<const uint8_t*>(LockResource(loaded)), static_cast<uint32_t>(SizeofResource(module, found))};
}
