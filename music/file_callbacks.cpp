#include "file_callbacks.h"

namespace intro_music::engine {

namespace {
FileCallbacks registeredCallbacks;
}

void setFileCallbacks(FileOpen open, FileClose close, FileRead read, FileSeek seek, FileTell tell) {
    if (open != nullptr && close != nullptr && read != nullptr && seek != nullptr && tell != nullptr) {
        registeredCallbacks = FileCallbacks{open, close, read, seek, tell};
    } else {
        // A partial table would let the loader call through a null slot.
        registeredCallbacks = FileCallbacks{};
    }
}

const FileCallbacks& fileCallbacks() { return registeredCallbacks; }

bool fileCallbacksComplete() {
    const FileCallbacks& callbacks = registeredCallbacks;
    return callbacks.open != nullptr && callbacks.close != nullptr && callbacks.read != nullptr &&
           callbacks.seek != nullptr && callbacks.tell != nullptr;
}

}  // namespace intro_music::engine
