// The C interfaces' error record, filled from the C++ one. Shared by the C
// calls of the engine and of the live library.
#pragma once

#include <cstdint>
#include <cstring>

#include "intro_music.h"
#include "intro_music_c.h"

namespace intro_music::c_interface {

// Runs a call that may fail and copies its error out.
template <typename Call>
auto withError(intro_music_error* error, Call call) {
    Error inner{};
    auto result = call(&inner);
    if (error != nullptr) {
        error->code = static_cast<int32_t>(inner.code);
        static_assert(sizeof error->message == sizeof inner.message);
        std::memcpy(error->message, inner.message, sizeof error->message);
    }
    return result;
}

}  // namespace intro_music::c_interface
