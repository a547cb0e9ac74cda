// A program with its own functions and objects named as the engine's
// internals once were, at global scope. It links against the library
// (static and shared) only because the engine keeps its names in its
// namespace; then it renders a little of a song to show both work side by side.
#include <intro_music.h>

#include <cstdio>
#include <cstring>

struct Song {
    int tempo;
};
struct MusicEngine {
    int blocks;
};
struct Sample {
    int frames;
};

Sample emptySample{0};
Sample emptyInstrument{0};
int mixRate = 1;

bool freeSong(Song* song) { return song != nullptr; }
Song* loadSong(const char*, void*) { return nullptr; }
Song* loadSongFromMemory(const void*, unsigned long, void*) { return nullptr; }
void setTempo(Song* song, int bpm) { song->tempo = bpm; }
void fillBlock(MusicEngine& engine) { engine.blocks += 1; }
void processRow(MusicEngine& engine, Song*) { engine.blocks += 2; }
void replayTick(MusicEngine& engine, Song*) { engine.blocks += 3; }
void mixVoices(MusicEngine& engine, float*, int) { engine.blocks += 4; }
void resetMixerVoices(MusicEngine& engine) { engine.blocks = 0; }
int notePeriod(const Song*, int note, int) { return note; }

int main(int argumentCount, char** arguments) {
    Song song{};
    setTempo(&song, 125);
    MusicEngine engine{};
    resetMixerVoices(engine);
    fillBlock(engine);
    processRow(engine, &song);
    replayTick(engine, &song);
    mixVoices(engine, nullptr, 0);
    if (song.tempo != 125 || engine.blocks != 10 || !freeSong(&song) || loadSong("", nullptr) != nullptr ||
        notePeriod(&song, 3, 0) != 3 || emptySample.frames != 0 || mixRate != 1) {
        std::puts("own functions gave the wrong results");
        return 1;
    }
    if (argumentCount < 2) {
        std::puts("own names linked");
        return 0;
    }
    intro_music::Error error{};
    intro_music::Module* module = intro_music::loadFromFile(arguments[1], &error);
    if (module == nullptr) {
        std::printf("%s\n", error.message);
        return 1;
    }
    int16_t frames[2 * 256];
    const int32_t rendered = intro_music::render(module, frames, 256);
    intro_music::freeModule(module);
    std::printf("own names linked; the library rendered %d frames\n", rendered);
    return rendered == 256 ? 0 : 1;
}
