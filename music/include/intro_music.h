/* intro_music.h - the intro music engine: plays Extended Module (.xm) songs.

   WHAT IT DOES
   Loads a song in the Extended Module format and renders it, frame by frame,
   as interleaved stereo (or mono) frames, 16-bit signed or float, at any
   rate from 8,000 to 192,000 frames per second. It plays songs as the
   tracker that defined the format plays them, quirks included; with
   Rules::Presentation (setRules) it plays by the intro presentation's
   simpler rules instead, and a render in the default format (16-bit stereo
   at 44,100, asked for in multiples of the presentation's 884-frame block)
   is then byte for byte what the presentation plays: the same loader,
   replayer and mixer. It also tells where the song is (order, row,
   seconds, speed, tempo), seeks to a time, an order or a row, mutes channels,
   scales tempo and pitch, shows instruments, samples and pattern cells, and
   knows where the song ends: a song never ends by itself, it loops at its restart
   position, so the engine watches for the first row that the song plays a
   second time (in the same pattern-loop state) and calls that one pass.
   The one pass is worked out only when first asked for (duration, seeking),
   so loading and a plain render do not pay for it.

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
   48 kHz float, as a game engine's mixer wants it:
       intro_music::setOutputRate(song, 48000, nullptr);
       float mix[2 * 480];
       intro_music::renderFloat(song, mix, 480);  // -1.0..1.0 is 16-bit full scale; not clipped
   Muting a channel, then bringing it back exactly as it would have sounded:
       intro_music::setChannelMuted(song, 3, true);   // channels count from 0
       intro_music::setChannelMuted(song, 3, false);
   Link with the CMake target intro_music::intro_music (find_package(intro_music
   CONFIG); intro_music::shared for the shared library) or with pkg-config's
   intro_music. C and other languages: intro_music_c.h, the same calls with
   an intro_music_ prefix. Playing through a sound device is a separate
   library (intro_music_live.h, needs SDL2).

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

#if __cplusplus < 201703L
#error "intro_music.h needs C++17 or later; C programs use intro_music_c.h"
#endif

// What the shared library exports; the engine behind it stays hidden.
#if defined(_WIN32)
#define INTRO_MUSIC_API
#else
#define INTRO_MUSIC_API __attribute__((visibility("default")))
#endif

namespace intro_music {

inline constexpr int frameRate = 44100;    // frames per second unless setOutputRate says otherwise
inline constexpr int lowestFrameRate = 8000;
inline constexpr int highestFrameRate = 192000;
inline constexpr int channelsPerFrame = 2;  // interleaved left, right (render, renderFloat)

inline constexpr int versionMajor = 1;
inline constexpr int versionMinor = 1;
// The release: major.minor.patch, and for a build from a source checkout
// "+g" and the commit, e.g. "1.1.0+g52ba88a".
INTRO_MUSIC_API const char* versionString();

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
    int32_t speed;    // ticks per row now
    int32_t tempo;    // beats per minute now (as written; the tempo factor comes on top)
};

// One cell of a pattern, as the file gives it.
struct PatternCell {
    uint8_t note;        // 0 none, 1..96 C-0..B-7, 97 key off
    uint8_t instrument;  // 0 none, else 1-based
    uint8_t volume;      // the volume column byte
    uint8_t effect;      // 0..35: 0-9 and A-Z
    uint8_t parameter;
};

// What a few bytes look like, without loading them.
enum class Probe : int32_t {
    Song = 0,       // the header of an Extended Module song
    NotASong,       // something else
    NeedMoreBytes,  // too short to say: give at least probeBytes
};
// Bytes that always suffice: the header up to the counts the loader checks.
inline constexpr size_t probeBytes = 74;

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
    int32_t frequency;     // Hz the sample plays at, the pitch factor included
};

struct TickInfo {
    int32_t order;
    int32_t row;
    int32_t tick;  // within the row, from 0
};

struct Module;

// The rules a Module plays by. The format's own tracker has quirks that songs
// written with it rely on (arpeggio order, key-off and note-delay details,
// the exact pitch tables, ...); the intro presentation plays by simpler rules.
enum class Rules : int32_t {
    Tracker = 0,       // as the tracker that defined the format plays it (the default)
    Presentation = 1,  // the intro presentation's rules: byte for byte what it plays (see the top)
};

// How voices are resampled from their samples' rates to the output rate.
//   Sinc: a band-limited (windowed-sinc, 16 taps and more) filter that keeps
//     every tone clean at every pitch and removes what a sample played above
//     the output rate would fold back. Pick it for listening and for
//     rendering to files; it costs about twice what Linear does.
//   Cubic: a 4-point spline, between the two.
//   Linear (the default under both rule sets): what the format's tracker
//     did, and what the presentation plays.
//   Nearest: no interpolation, the raw sample-and-hold sound of a
//     deliberately gritty or chip sound.
enum class Interpolation : int32_t {
    Nearest = 0,
    Linear = 1,
    Cubic = 2,
    Sinc = 3,
};

// Called from inside render after every replayer tick, on the rendering thread;
// position() then counts the pass that tick completes, if any.
using TickObserver = void (*)(void* user, const Module* module, const TickInfo& tick);

// Loads a song from bytes the caller keeps or frees afterwards.
INTRO_MUSIC_API Module* loadFromMemory(const void* data, size_t size, Error* error);
// Loads a song file. Sources larger than the largest song the loader can
// read (2 GiB, its offsets are 32-bit) are refused as NotASong, a device or
// pipe once it has delivered that much.
INTRO_MUSIC_API Module* loadFromFile(const char* path, Error* error);
// Loads a song through the caller's file operations; open, close and read
// must be set. The same size limit applies.
INTRO_MUSIC_API Module* loadWithCallbacks(const FileCallbacks& callbacks, const char* name, Error* error);
// Releases the module; null is ignored.
INTRO_MUSIC_API void freeModule(Module* module);

// Whether bytes start like a song. It decides from the bytes it is given:
// NotASong as soon as any of them rules a song out (a wrong signature, a
// channel count of 0, ...), Song once probeBytes agree with one, else
// NeedMoreBytes. The first probeBytes of a file always suffice.
INTRO_MUSIC_API Probe probe(const void* data, size_t size);
// How many bytes (counted from the start) probe needs to decide about these:
// 0 when it can decide from them, else probeBytes.
INTRO_MUSIC_API size_t probeBytesNeeded(const void* data, size_t size);

// durationSeconds is worked out on the first call (one pass, ticks only).
INTRO_MUSIC_API Metadata metadata(const Module* module);

// What the loader worked round: one line per kind of damage (a file cut
// short, patterns it lacks). 0 for an intact song; index 0..count-1, null
// past the end. The text lives as long as the module.
INTRO_MUSIC_API int32_t loadWarningCount(const Module* module);
INTRO_MUSIC_API const char* loadWarning(const Module* module, int32_t index);

// Names as the file gives them, without trailing spaces; instruments count
// from 1, their samples from 0. "" for anything outside the song.
INTRO_MUSIC_API const char* instrumentName(const Module* module, int32_t instrument);
INTRO_MUSIC_API int32_t sampleCount(const Module* module, int32_t instrument);
INTRO_MUSIC_API const char* sampleName(const Module* module, int32_t instrument, int32_t sample);
// The order list: its length (Metadata::orders) and the pattern at each of
// its positions, 0..orderCount-1; -1 outside it.
INTRO_MUSIC_API int32_t orderCount(const Module* module);
INTRO_MUSIC_API int32_t orderPattern(const Module* module, int32_t order);
// Rows of a pattern (0 for a pattern the song lacks), and one cell. False,
// leaving *cell alone, outside the pattern.
INTRO_MUSIC_API int32_t patternRows(const Module* module, int32_t pattern);
INTRO_MUSIC_API bool patternCell(const Module* module, int32_t pattern, int32_t row, int32_t channel,
                                 PatternCell* cell);

// Renders up to frameCount frames and returns how many it wrote: fewer than
// asked only once the song has ended (see setRepeatCount), then 0 on every
// later call. render: 16-bit stereo (2 x frameCount values). renderFloat:
// the same mix before conversion, divided by 32768 and not clipped, so that
// rounding x 32768 and clamping gives render's values. The mono forms give
// one value per frame, (left + right) / 2. The forms may be mixed freely, at
// any frame, the end of a pass included: no frame is lost or repeated.
INTRO_MUSIC_API int32_t render(Module* module, int16_t* frames, int32_t frameCount);
INTRO_MUSIC_API int32_t renderFloat(Module* module, float* frames, int32_t frameCount);
INTRO_MUSIC_API int32_t renderMono(Module* module, int16_t* frames, int32_t frameCount);
INTRO_MUSIC_API int32_t renderMonoFloat(Module* module, float* frames, int32_t frameCount);

// Frames per second, lowestFrameRate..highestFrameRate (frameRate unless
// set). Ticks last rate x 5 / (2 x tempo) frames, as in the tracker. A change
// while playing goes on from the same place in the pass being played, with
// the passes counted, the repeat count, the seconds count and the end (once
// reached) kept. False, changing nothing, outside the range.
INTRO_MUSIC_API bool setOutputRate(Module* module, int32_t rate, Error* error);
INTRO_MUSIC_API int32_t outputRate(const Module* module);

// THE SETTINGS below (gain, separation, repeat count, channel mute and
// volume, tempo and pitch factors, rules) return true when taken. A value
// outside its range, NaN or infinity is refused: false, and nothing changes.
// What is taken is heard from the first frame of the next render call, at
// every rate: the engine never mixes ahead of the frames it hands out.

// A factor on the whole mix: 1.0 (the default) leaves it; 0..16.
INTRO_MUSIC_API bool setMasterGain(Module* module, double gain);
// 0 plays every channel in the middle, 100 (the default) the song's own
// stereo image, up to 200 widens it; 0..200.
INTRO_MUSIC_API bool setStereoSeparation(Module* module, int32_t percent);

// How many times the song plays before render ends: 0 (the default) plays
// one pass, n plays n + 1 passes, -1 plays for ever; -1..INT32_MAX. Raised
// after the end, render goes on from the frame where it stopped.
INTRO_MUSIC_API bool setRepeatCount(Module* module, int32_t repeats);
// True once render has delivered the last frame of the last pass.
INTRO_MUSIC_API bool ended(const Module* module);

// Where the song is, exact to the frames handed out: the order, row, speed
// and tempo the next frame plays at, and the seconds handed out. The engine
// never mixes ahead of a render call.
INTRO_MUSIC_API Position position(const Module* module);
// Continues from row 0 of the order-list position, with the speed, tempo and
// global volume the song has there on its first pass (where it first enters
// the order, at whatever row) and every voice silent. The seconds count
// follows. False (and nothing changes) for a position outside the order list.
INTRO_MUSIC_API bool seekToOrder(Module* module, int32_t order, Error* error);
// The same for a row of an order: the first pass's state at that row when
// it plays it, else where it enters the order.
INTRO_MUSIC_API bool seekToRow(Module* module, int32_t order, int32_t row, Error* error);
// Continues at a time of the first pass (0 up to its duration), within a
// frame: from the last row that pass starts before it, rendered on to it.
// Every seek also restores the pattern loops (E6x) as the first pass has
// them there: their start rows and counters.
INTRO_MUSIC_API bool seekToTime(Module* module, double seconds, Error* error);
// Starts the song again from its beginning, as freshly loaded.
INTRO_MUSIC_API void restart(Module* module);

// Channels count from 0. A muted channel goes on playing unheard, so that
// unmuting gives exactly what never muting would have, from the first frame
// of the next render call. Volume: a factor on the channel, 1.0 by default,
// 0..16. False for a channel the song lacks.
INTRO_MUSIC_API bool setChannelMuted(Module* module, int32_t channel, bool muted);
INTRO_MUSIC_API bool setChannelVolume(Module* module, int32_t channel, double volume);
// Factors on the song's tempo and pitch: 1.0 (the default) plays it as
// written; 0.25..4. Seconds count what is rendered; the duration and the
// seeks follow the tempo factor in force.
INTRO_MUSIC_API bool setTempoFactor(Module* module, double factor);
INTRO_MUSIC_API bool setPitchFactor(Module* module, double factor);

// Chooses the playback rules (every Module starts with Rules::Tracker) and
// starts the song again from its beginning; its duration and the positions
// seekToOrder goes to follow the rules. False (nothing changes) for a value
// outside Rules.
//     intro_music::setRules(song, intro_music::Rules::Presentation, &error);
INTRO_MUSIC_API bool setRules(Module* module, Rules rules, Error* error);
INTRO_MUSIC_API Rules rules(const Module* module);

// Chooses how voices are resampled (every Module starts with
// Interpolation::Linear); heard from the first frame of the next render
// call, the song going on where it is. False (nothing changes) for a value outside Interpolation.
//     intro_music::setInterpolation(song, intro_music::Interpolation::Sinc, &error);
INTRO_MUSIC_API bool setInterpolation(Module* module, Interpolation interpolation, Error* error);
INTRO_MUSIC_API Interpolation interpolation(const Module* module);

// Inspection, for tools that trace the replayer: an observer of every tick
// (null removes it), and the state of the first `capacity` channels. Returns
// the song's channel count. What the observer changes (a mute, a gain) is
// heard from the first frame of its tick.
INTRO_MUSIC_API void setTickObserver(Module* module, TickObserver observer, void* user);
INTRO_MUSIC_API int32_t channelStates(const Module* module, ChannelState* states, int32_t capacity);

// A meter's reading of a channel, cheap enough for every video frame: the
// left and right level, 0..1, of what the channel contributed to the last
// frames rendered: the loudest sample value its voices read over the last
// 20 ms, times the gains they play at (volume, envelopes, panning, fades)
// and the channel's volume and mute; the master gain is not in it. False,
// leaving both alone, for a channel the song lacks. Either pointer may be null.
INTRO_MUSIC_API bool channelLevel(const Module* module, int32_t channel, float* left, float* right);

}  // namespace intro_music
