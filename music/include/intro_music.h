/* intro_music.h - the intro music engine: plays Extended Module (.xm) songs.

   WHAT IT DOES
   Loads a song in the Extended Module format and renders it, frame by frame,
   as 16-bit signed interleaved stereo PCM at 44,100 frames per second (the
   engine's native format: no resampling, no options). It is the same loader,
   replayer and mixer that the intro presentation plays its song with, so a
   render here is byte for byte what the presentation plays. It also tells
   where the song is (order, row, seconds), seeks to an order, and knows where
   the song ends: a song never ends by itself, it loops at its restart
   position, so the engine watches for the first row that the song plays a
   second time (in the same pattern-loop state) and calls that one pass.

   EXAMPLE
       #include <intro_music.h>
       intro_music::Error error{};
       intro_music::Module* song = intro_music::loadFromFile("song.xm", &error);
       if (song == nullptr) { std::fprintf(stderr, "%s\n", error.message); return 1; }
       int16_t frames[2 * 1024];  // 1024 stereo frames
       int count;
       while ((count = intro_music::render(song, frames, 1024)) > 0)
           std::fwrite(frames, 4, static_cast<size_t>(count), stdout);  // one pass, then render gives 0
       intro_music::freeModule(song);
   Link with the CMake target intro_music::intro_music (find_package(intro_music
   CONFIG)) or with pkg-config's intro_music. Playing through a sound device
   is a separate library (intro_music_live.h, needs SDL2).

   THREADING
   There is no global state: every Module owns all of its playback state, and
   different Modules may be used from different threads at the same time
   without any locking. One Module must not be used by two threads at once;
   the caller serialises calls on the same Module (the live library does that
   for the Modules it plays).

   ERRORS
   Nothing throws and nothing aborts. Calls that can fail return null or false
   and, when given an Error, fill it with a code and a one-line message (no
   trailing newline). A null Module is accepted everywhere and does nothing.
   Every struct here is valid when zero-initialised: `Error error{};`.
*/
#pragma once

#include <cstddef>
#include <cstdint>

namespace intro_music {

inline constexpr int frameRate = 44100;    // frames per second of every render
inline constexpr int channelsPerFrame = 2;  // interleaved left, right

inline constexpr int versionMajor = 1;
inline constexpr int versionMinor = 0;
// "1.0".
const char* versionString();

enum class ErrorCode : int32_t {
    None = 0,
    InvalidArgument,  // a null or out-of-range argument
    CannotOpen,       // the file or source does not open (missing, unreadable, a folder)
    CannotRead,       // reading it failed part way
    Empty,            // the file holds no bytes
    NotASong,         // not an Extended Module song, or damaged beyond use
    OutOfMemory,
};

struct Error {
    ErrorCode code;
    char message[256];
};

// The file operations through which a song is read from any source: the
// library opens it, reads it from start to end and closes it, so seek and
// tell are never called and may be null. `name` is handed to open unchanged;
// open returns a handle or null. read returns the bytes delivered: 0 at the
// end, below 0 for a failure (the load then fails with CannotRead).
struct FileCallbacks {
    void* (*open)(const char* name);
    void (*close)(void* handle);
    int32_t (*read)(void* destination, int32_t count, void* handle);
    void (*seek)(void* handle, int32_t offset, uint8_t origin);
    int32_t (*tell)(void* handle);
};

struct Metadata {
    char title[21];        // the module name, without trailing spaces
    char trackerName[21];  // the program that saved the song
    int32_t channels;
    int32_t orders;           // entries of the order list in use
    int32_t patterns;
    int32_t instruments;
    int32_t samples;          // over all instruments
    bool linearFrequencies;   // false: Amiga frequency table
    int32_t initialSpeed;     // ticks per row
    int32_t initialBpm;
    int32_t restartPosition;  // the order the song continues at after its last
    double durationSeconds;   // one pass (at most 20 minutes)
};

struct Position {
    int32_t order;    // order-list position being played
    int32_t pattern;  // the pattern at that order
    int32_t row;
    double seconds;   // of the song heard so far, from its start
    int32_t passesCompleted;  // times the song has come back to a row it played
};

// One pattern channel as the replayer leaves it after a tick.
struct ChannelState {
    bool active;           // a sample sounds on the channel; false: idle
    int32_t note;          // 0-based note last given (0 = C-0)
    int32_t instrument;    // 1-based instrument last given
    int32_t period;        // the channel's period, and this tick's change to it
    int32_t periodOffset;
    int32_t volume;        // 0..64
    int32_t panning;       // 0..255
    int32_t voiceVolume;   // what the mixer plays: 0..127
    int32_t frequency;     // Hz
};

struct TickInfo {
    int32_t order;
    int32_t row;
    int32_t tick;  // within the row, from 0
};

struct Module;

// Called from inside render after every replayer tick, on the rendering thread.
using TickObserver = void (*)(void* user, const Module* module, const TickInfo& tick);

// Loads a song from bytes the caller keeps or frees afterwards.
Module* loadFromMemory(const void* data, size_t size, Error* error);
// Loads a song file. Sources larger than the largest song the loader can
// read (2 GiB, its offsets are 32-bit) are refused as NotASong, a device or
// pipe once it has delivered that much.
Module* loadFromFile(const char* path, Error* error);
// Loads a song through the caller's file operations; open, close and read
// must be set. The same size limit applies.
Module* loadWithCallbacks(const FileCallbacks& callbacks, const char* name, Error* error);
// Releases the module; null is ignored.
void freeModule(Module* module);

Metadata metadata(const Module* module);

// Renders up to frameCount stereo frames into `frames` (2 x frameCount
// values) and returns how many it wrote: fewer than asked only once the song
// has ended (see setRepeatCount), then 0 on every later call.
int32_t render(Module* module, int16_t* frames, int32_t frameCount);

// How many times the song plays before render ends: 0 (the default) plays
// one pass, n plays n + 1 passes, -1 plays for ever.
void setRepeatCount(Module* module, int32_t repeats);
// True once render has delivered the last frame of the last pass.
bool ended(const Module* module);

// Where the song is. Order and row are those of the last row the engine has
// read, at most 20 ms ahead of the frames handed out.
Position position(const Module* module);
// Continues from row 0 of the order-list position, with the speed, tempo and
// global volume the song has there on its first pass and every voice silent.
// The seconds count follows. False (and nothing changes) for a position
// outside the order list.
bool seekToOrder(Module* module, int32_t order, Error* error);
// Starts the song again from its beginning, as freshly loaded.
void restart(Module* module);

// Inspection, for tools that trace the replayer: an observer of every tick
// (null removes it), and the state of the first `capacity` channels. Returns
// the song's channel count.
void setTickObserver(Module* module, TickObserver observer, void* user);
int32_t channelStates(const Module* module, ChannelState* states, int32_t capacity);

}  // namespace intro_music
