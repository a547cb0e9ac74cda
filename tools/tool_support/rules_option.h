// The --rules option the song tools share: which playback rules a song plays by.
#pragma once

#include <cstring>

#include "intro_music.h"

// "tracker" (the library's default) or "intro" (the presentation's rules).
inline bool parseRulesName(const char* text, intro_music::Rules& rules) {
    if (std::strcmp(text, "tracker") == 0) {
        rules = intro_music::Rules::Tracker;
    } else if (std::strcmp(text, "intro") == 0) {
        rules = intro_music::Rules::Presentation;
    } else {
        return false;
    }
    return true;
}

inline const char* rulesName(intro_music::Rules rules) {
    return rules == intro_music::Rules::Presentation ? "intro" : "tracker";
}

// The option's line for --help.
inline constexpr const char* rulesOptionHelp =
    "  --rules R    playback rules: tracker (as the format's own tracker plays songs; the default)\n"
    "               or intro (the presentation's rules, byte for byte what it plays)\n";
