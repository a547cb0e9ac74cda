/* intro_music_c.h - the intro music engine for C (C99) and for other
   languages' foreign-function interfaces.

   The same engine and the same calls as intro_music.h, with an intro_music_
   prefix: an opaque intro_music_module handle, plain structs, int32_t for
   every flag (1 true, 0 false), and errors as a code and a one-line message
   (no trailing newline). A call named for a C++ one that returns a struct is
   intro_music_get_*. Link the shared library (-lintro_music, pkg-config
   intro_music, CMake intro_music::shared) or the static one (pkg-config
   intro_music_static, CMake intro_music::intro_music), which brings the C++
   run-time it needs: no extra flags. Playing through a sound device: the C
   calls of intro_music_live.h.

   THREADING: no global state. Different modules may be used from different
   threads at once without locking; one module must not be used by two
   threads at once.

   ERRORS: nothing aborts. Calls that can fail return NULL or 0 and, when
   given an intro_music_error, fill it in. NULL handles are accepted
   everywhere and do nothing. Every struct here is valid zero-initialised.

   EXAMPLE (48 kHz float, one pass)
       intro_music_error error = {0};
       intro_music_module* song = intro_music_load_from_file("song.xm", &error);
       if (!song) { fprintf(stderr, "%s\n", error.message); return 1; }
       intro_music_set_output_rate(song, 48000, NULL);
       intro_music_set_channel_muted(song, 0, 1);  // the first channel unheard
       float frames[2 * 1024];
       int32_t count;
       while ((count = intro_music_render_float(song, frames, 1024)) > 0)
           fwrite(frames, sizeof(float) * 2, (size_t)count, out);
       intro_music_free(song);
*/
#ifndef INTRO_MUSIC_C_H
#define INTRO_MUSIC_C_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define INTRO_MUSIC_C_API
#else
#define INTRO_MUSIC_C_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define INTRO_MUSIC_DEFAULT_RATE 44100
#define INTRO_MUSIC_LOWEST_RATE 8000
#define INTRO_MUSIC_HIGHEST_RATE 192000
/* Bytes that always suffice for intro_music_probe: the header up to the
   counts the loader checks. */
#define INTRO_MUSIC_PROBE_BYTES 74

typedef struct intro_music_module intro_music_module;

enum {
    INTRO_MUSIC_OK = 0,
    INTRO_MUSIC_INVALID_ARGUMENT = 1,
    INTRO_MUSIC_CANNOT_OPEN = 2,
    INTRO_MUSIC_CANNOT_READ = 3,
    INTRO_MUSIC_EMPTY = 4,
    INTRO_MUSIC_NOT_A_SONG = 5,
    INTRO_MUSIC_OUT_OF_MEMORY = 6
};

/* The rules a module plays by: the tracker's that defined the format (the
   default, quirks included), or the intro presentation's simpler ones. */
enum { INTRO_MUSIC_RULES_TRACKER = 0, INTRO_MUSIC_RULES_PRESENTATION = 1 };
enum {
    INTRO_MUSIC_INTERPOLATION_NEAREST = 0,
    INTRO_MUSIC_INTERPOLATION_LINEAR = 1,
    INTRO_MUSIC_INTERPOLATION_CUBIC = 2,
    INTRO_MUSIC_INTERPOLATION_SINC = 3
};
enum { INTRO_MUSIC_PROBE_SONG = 0, INTRO_MUSIC_PROBE_NOT_A_SONG = 1, INTRO_MUSIC_PROBE_NEED_MORE_BYTES = 2 };

typedef struct intro_music_error {
    int32_t code; /* INTRO_MUSIC_OK when nothing failed */
    char message[256];
} intro_music_error;

typedef struct intro_music_metadata {
    char title[21];        /* the module name, without trailing spaces */
    char tracker_name[21]; /* the program that saved the song */
    int32_t channels;
    int32_t orders; /* entries of the order list in use */
    int32_t patterns;
    int32_t instruments;
    int32_t samples;            /* over all instruments */
    int32_t linear_frequencies; /* 0: Amiga frequency table */
    int32_t initial_speed;      /* ticks per row */
    int32_t initial_bpm;
    int32_t restart_position; /* the order the song continues at after its last */
    double duration_seconds;  /* one pass (at most 20 minutes), worked out on the first call */
} intro_music_metadata;

typedef struct intro_music_position {
    int32_t order;   /* order-list position the next frame plays at */
    int32_t pattern; /* the pattern at that order */
    int32_t row;
    double seconds;           /* of the song handed out so far, from its start */
    int32_t passes_completed; /* times the song has come back to a row it played */
    int32_t speed;            /* ticks per row now */
    int32_t tempo;            /* beats per minute now (as written; the tempo factor comes on top) */
} intro_music_position;

typedef struct intro_music_pattern_cell {
    uint8_t note;       /* 0 none, 1..96 C-0..B-7, 97 key off */
    uint8_t instrument; /* 0 none, else 1-based */
    uint8_t volume;     /* the volume column byte */
    uint8_t effect;     /* 0..35: 0-9 and A-Z */
    uint8_t parameter;
} intro_music_pattern_cell;

/* The operations a song is read through from any source: the library opens
   it, reads it from start to end and closes it, so seek and tell are never
   called and may be NULL. `name` is handed to open unchanged; open returns a
   handle or NULL. read returns the bytes delivered: 0 at the end, below 0 for
   a failure (the load then fails with INTRO_MUSIC_CANNOT_READ). */
typedef struct intro_music_file_callbacks {
    void* (*open)(const char* name);
    void (*close)(void* handle);
    int32_t (*read)(void* destination, int32_t count, void* handle);
    void (*seek)(void* handle, int32_t offset, uint8_t origin);
    int32_t (*tell)(void* handle);
} intro_music_file_callbacks;

/* One pattern channel as the replayer leaves it after a tick. */
typedef struct intro_music_channel_state {
    int32_t active;     /* 1: a sample sounds on the channel; 0: idle */
    int32_t note;       /* 0-based note last given (0 = C-0) */
    int32_t instrument; /* 1-based instrument last given */
    int32_t period;     /* the channel's period, and this tick's change to it */
    int32_t period_offset;
    int32_t volume;       /* 0..64 */
    int32_t panning;      /* 0..255 */
    int32_t voice_volume; /* what the mixer plays: 0..127 */
    int32_t frequency;    /* Hz the sample plays at, the pitch factor included */
} intro_music_channel_state;

typedef struct intro_music_tick_info {
    int32_t order;
    int32_t row;
    int32_t tick; /* within the row, from 0 */
} intro_music_tick_info;

/* Called from inside a render call after every replayer tick, on the
   rendering thread; intro_music_get_position then counts the pass that tick
   completes, if any. What it changes (a mute, a gain) is heard from the
   first frame of its tick. */
typedef void (*intro_music_tick_observer)(void* user, const intro_music_module* module,
                                          const intro_music_tick_info* tick);

/* The release: major.minor.patch, and for a build from a source checkout
   "+g" and the commit, e.g. "1.1.0+g52ba88a". */
INTRO_MUSIC_C_API const char* intro_music_version_string(void);

/* LOADING. Each returns a module or NULL with the error filled in. Sources
   larger than the largest song the loader reads (2 GiB) are refused as
   INTRO_MUSIC_NOT_A_SONG. */
/* From bytes the caller keeps or frees afterwards. */
INTRO_MUSIC_C_API intro_music_module* intro_music_load_from_memory(const void* data, size_t size,
                                                                    intro_music_error* error);
INTRO_MUSIC_C_API intro_music_module* intro_music_load_from_file(const char* path, intro_music_error* error);
/* Through the caller's file operations; open, close and read must be set. */
INTRO_MUSIC_C_API intro_music_module* intro_music_load_with_callbacks(const intro_music_file_callbacks* callbacks,
                                                                      const char* name, intro_music_error* error);
/* Releases the module; NULL is ignored. */
INTRO_MUSIC_C_API void intro_music_free(intro_music_module* module);
/* INTRO_MUSIC_PROBE_*: whether bytes start like a song, without loading them.
   It decides from the bytes it is given: NOT_A_SONG as soon as any of them
   rules a song out (a wrong signature, a channel count of 0, ...), SONG once
   INTRO_MUSIC_PROBE_BYTES agree with one, else NEED_MORE_BYTES. */
INTRO_MUSIC_C_API int32_t intro_music_probe(const void* data, size_t size);
/* How many bytes (from the start) probe needs to decide about these: 0 when
   it can decide from them, else INTRO_MUSIC_PROBE_BYTES. */
INTRO_MUSIC_C_API size_t intro_music_probe_bytes_needed(const void* data, size_t size);

/* SONG INFORMATION. The duration is worked out on the first call (one pass,
   ticks only). */
INTRO_MUSIC_C_API intro_music_metadata intro_music_get_metadata(const intro_music_module* module);
/* What the loader worked round: one line per kind of damage; 0 for an intact
   song; index 0..count-1, NULL past the end. The text lives as long as the module. */
INTRO_MUSIC_C_API int32_t intro_music_load_warning_count(const intro_music_module* module);
INTRO_MUSIC_C_API const char* intro_music_load_warning(const intro_music_module* module, int32_t index);
/* Names as the file gives them, without trailing spaces; instruments count
   from 1, their samples from 0. "" for anything outside the song. */
INTRO_MUSIC_C_API const char* intro_music_instrument_name(const intro_music_module* module, int32_t instrument);
INTRO_MUSIC_C_API int32_t intro_music_sample_count(const intro_music_module* module, int32_t instrument);
INTRO_MUSIC_C_API const char* intro_music_sample_name(const intro_music_module* module, int32_t instrument,
                                                      int32_t sample);
/* The order list: its length and the pattern at each of its positions,
   0..count-1; -1 outside it. */
INTRO_MUSIC_C_API int32_t intro_music_order_count(const intro_music_module* module);
INTRO_MUSIC_C_API int32_t intro_music_order_pattern(const intro_music_module* module, int32_t order);
/* Rows of a pattern (0 for a pattern the song lacks), and one cell: 1, or 0
   leaving *cell alone outside the pattern. */
INTRO_MUSIC_C_API int32_t intro_music_pattern_rows(const intro_music_module* module, int32_t pattern);
INTRO_MUSIC_C_API int32_t intro_music_get_pattern_cell(const intro_music_module* module, int32_t pattern, int32_t row,
                                                       int32_t channel, intro_music_pattern_cell* cell);

/* RENDERING. Up to frame_count frames; returns how many were written: fewer
   than asked only once the song has ended (see the repeat count), then 0 on
   every later call. render: 16-bit stereo (2 x frame_count values).
   render_float: the same mix before conversion, divided by 32768 and not
   clipped. The mono forms give one value per frame, (left + right) / 2. The
   forms may be mixed freely, at any frame, the end of a pass included. */
INTRO_MUSIC_C_API int32_t intro_music_render(intro_music_module* module, int16_t* frames, int32_t frame_count);
INTRO_MUSIC_C_API int32_t intro_music_render_float(intro_music_module* module, float* frames, int32_t frame_count);
INTRO_MUSIC_C_API int32_t intro_music_render_mono(intro_music_module* module, int16_t* frames, int32_t frame_count);
INTRO_MUSIC_C_API int32_t intro_music_render_mono_float(intro_music_module* module, float* frames,
                                                        int32_t frame_count);

/* SETTINGS. Each returns 1 when taken. A value outside its range, NaN or
   infinity is refused: 0, and nothing changes. What is taken is heard from
   the first frame of the next render call, at every rate: the engine never
   mixes ahead of the frames it hands out. */
/* Frames per second, INTRO_MUSIC_LOWEST_RATE..INTRO_MUSIC_HIGHEST_RATE (44,100
   unless set). A change while playing goes on from the same place in the
   pass being played, with the passes counted, the repeat count, the seconds
   count and the end (once reached) kept. */
INTRO_MUSIC_C_API int32_t intro_music_set_output_rate(intro_music_module* module, int32_t rate,
                                                      intro_music_error* error);
INTRO_MUSIC_C_API int32_t intro_music_output_rate(const intro_music_module* module);
/* A factor on the whole mix: 1.0 (the default) leaves it; 0..16. */
INTRO_MUSIC_C_API int32_t intro_music_set_master_gain(intro_music_module* module, double gain);
/* 0 plays every channel in the middle, 100 (the default) the song's own
   stereo image, up to 200 widens it; 0..200. */
INTRO_MUSIC_C_API int32_t intro_music_set_stereo_separation(intro_music_module* module, int32_t percent);
/* How many times the song plays before render ends: 0 (the default) plays one
   pass, n plays n + 1 passes, -1 plays for ever; -1..INT32_MAX. Raised after
   the end, render goes on from the frame where it stopped. */
INTRO_MUSIC_C_API int32_t intro_music_set_repeat_count(intro_music_module* module, int32_t repeats);
/* 1 once render has delivered the last frame of the last pass. */
INTRO_MUSIC_C_API int32_t intro_music_ended(const intro_music_module* module);
/* Channels count from 0; 0 for a channel the song lacks. A muted channel goes
   on playing unheard, so that unmuting gives exactly what never muting would
   have. Volume: a factor on the channel, 1.0 by default, 0..16. */
INTRO_MUSIC_C_API int32_t intro_music_set_channel_muted(intro_music_module* module, int32_t channel, int32_t muted);
INTRO_MUSIC_C_API int32_t intro_music_set_channel_volume(intro_music_module* module, int32_t channel, double volume);
/* Factors on the song's tempo and pitch: 1.0 (the default) plays it as
   written; 0.25..4. Seconds count what is rendered; the duration and the
   seeks follow the tempo factor in force. */
INTRO_MUSIC_C_API int32_t intro_music_set_tempo_factor(intro_music_module* module, double factor);
INTRO_MUSIC_C_API int32_t intro_music_set_pitch_factor(intro_music_module* module, double factor);
/* The playback rules, INTRO_MUSIC_RULES_TRACKER (every module starts with
   them) or INTRO_MUSIC_RULES_PRESENTATION; starts the song again from its
   beginning. 0 with INTRO_MUSIC_INVALID_ARGUMENT for any other value. */
INTRO_MUSIC_C_API int32_t intro_music_set_rules(intro_music_module* module, int32_t rules, intro_music_error* error);
INTRO_MUSIC_C_API int32_t intro_music_rules(const intro_music_module* module);
/* How voices are resampled: INTRO_MUSIC_INTERPOLATION_LINEAR (the default), _NEAREST, _CUBIC or _SINC (the
   cleanest: for listening and rendering to files). Heard from the next render call; the song goes on where it is.
   Returns 1, or 0 with the error filled (nothing changes) for an unknown mode. */
INTRO_MUSIC_C_API int32_t intro_music_set_interpolation(intro_music_module* module, int32_t mode,
                                                        intro_music_error* error);
INTRO_MUSIC_C_API int32_t intro_music_interpolation(const intro_music_module* module);

/* POSITION AND SEEKING. Where the song is, exact to the frames handed out. */
INTRO_MUSIC_C_API intro_music_position intro_music_get_position(const intro_music_module* module);
/* Continues from row 0 of the order-list position, with the speed, tempo,
   global volume and pattern loops the song has there on its first pass and
   every voice silent. 1, or 0 (nothing changes) for a position outside the
   order list. */
INTRO_MUSIC_C_API int32_t intro_music_seek_to_order(intro_music_module* module, int32_t order,
                                                    intro_music_error* error);
/* The same for a row of an order: the first pass's state at that row when it
   plays it, else where it enters the order. */
INTRO_MUSIC_C_API int32_t intro_music_seek_to_row(intro_music_module* module, int32_t order, int32_t row,
                                                  intro_music_error* error);
/* Continues at a time of the first pass (0 up to its duration), within a frame. */
INTRO_MUSIC_C_API int32_t intro_music_seek_to_time(intro_music_module* module, double seconds,
                                                   intro_music_error* error);
/* Starts the song again from its beginning, as freshly loaded. */
INTRO_MUSIC_C_API void intro_music_restart(intro_music_module* module);

/* INSPECTION. An observer of every tick (NULL removes it), and the state of
   the first `capacity` channels; returns the song's channel count. */
INTRO_MUSIC_C_API void intro_music_set_tick_observer(intro_music_module* module, intro_music_tick_observer observer,
                                                     void* user);
INTRO_MUSIC_C_API int32_t intro_music_channel_states(const intro_music_module* module,
                                                     intro_music_channel_state* states, int32_t capacity);
/* A meter's reading of a channel, cheap enough for every video frame: the
   left and right level, 0..1, of what the channel contributed to the last
   frames rendered (the loudest sample value its voices read over the last
   20 ms, times the gains they play at: volume, envelopes, panning, the
   channel's volume and mute; not the master gain). 1, or 0 leaving both
   alone for a channel the song lacks. Either pointer may be NULL. */
INTRO_MUSIC_C_API int32_t intro_music_channel_level(const intro_music_module* module, int32_t channel, float* left,
                                                    float* right);

#ifdef __cplusplus
}
#endif

#endif /* INTRO_MUSIC_C_H */
