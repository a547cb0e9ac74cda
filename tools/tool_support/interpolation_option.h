// The --interpolation option the song tools share: how voices are resampled.
#pragma once

#include <cstring>

#include "intro_music.h"

inline constexpr struct {
    const char* name;
    intro_music::Interpolation mode;
} interpolationNames[] = {
    {"nearest", intro_music::Interpolation::Nearest},
    {"linear", intro_music::Interpolation::Linear},
    {"cubic", intro_music::Interpolation::Cubic},
    {"sinc", intro_music::Interpolation::Sinc},
};

inline bool parseInterpolationName(const char* text, intro_music::Interpolation& mode) {
    for (const auto& entry : interpolationNames) {
        if (std::strcmp(text, entry.name) == 0) {
            mode = entry.mode;
            return true;
        }
    }
    return false;
}

inline const char* interpolationName(intro_music::Interpolation mode) {
    for (const auto& entry : interpolationNames) {
        if (entry.mode == mode) return entry.name;
    }
    return "linear";
}

// The option's lines for --help.
inline constexpr const char* interpolationOptionHelp =
    "  --interpolation I  resampling: linear (the default, as the format's tracker), sinc (the cleanest:\n"
    "               for listening and rendering), cubic, or nearest (the raw sample-and-hold sound)\n";
