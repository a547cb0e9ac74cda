// Renders one pass of a song to standard output as raw 16-bit stereo PCM at
// 44,100 Hz (little-endian on the usual machines):
//   render_song SONG.xm > song.raw
#include <intro_music.h>

#include <cstdio>

int main(int argumentCount, char** arguments) {
    if (argumentCount != 2) {
        std::fprintf(stderr, "usage: render_song SONG.xm > song.raw\n");
        return 2;
    }
    intro_music::Error error{};
    intro_music::Module* song = intro_music::loadFromFile(arguments[1], &error);
    if (song == nullptr) {
        std::fprintf(stderr, "render_song: %s\n", error.message);
        return 1;
    }
    const intro_music::Metadata info = intro_music::metadata(song);
    std::fprintf(stderr, "%s: %d channels, %.1f s\n", info.title, info.channels, info.durationSeconds);
    int16_t frames[2 * 4096];
    int32_t count = 0;
    while ((count = intro_music::render(song, frames, 4096)) > 0) {
        std::fwrite(frames, sizeof(int16_t) * 2, static_cast<size_t>(count), stdout);
    }
    intro_music::freeModule(song);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
