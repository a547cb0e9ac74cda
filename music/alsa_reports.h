// Where there is no sound card, ALSA (which SDL loads) writes a report to
// standard error for every device it fails to open: eight lines before the
// program's own one. The presentation and the live player print only their
// own messages, so those reports go nowhere. The handler is process-wide and
// stays set; the library handle stays open so that it does. Inline, so the
// playback and live libraries share one copy in a program that has both.
#pragma once

#include <dlfcn.h>

namespace intro_music::engine {

inline void ignoreAlsaReport(const char* /*file*/, int /*line*/, const char* /*function*/, int /*error*/,
                             const char* /*format*/, ...) {}

inline void silenceAlsaReports() {
    static const bool silenced = [] {
        using ReportHandler = void (*)(const char*, int, const char*, int, const char*, ...);
        using SetReportHandler = int (*)(ReportHandler);
        void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
        auto* setHandler =
            alsa != nullptr ? reinterpret_cast<SetReportHandler>(dlsym(alsa, "snd_lib_error_set_handler")) : nullptr;
        return setHandler != nullptr && setHandler(ignoreAlsaReport) == 0;
    }();
    static_cast<void>(silenced);
}

}  // namespace intro_music::engine
