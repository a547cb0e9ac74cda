/* intro_music_c.h - the intro music engine for C (C99) and for other
   languages' foreign-function interfaces.

   The same engine and the same calls as intro_music.h, with an intro_music_
   prefix: an opaque intro_music_module handle, plain structs, int32_t for
   every flag, and errors as a code and a one-line message. Link the shared
   library (-lintro_music, pkg-config intro_music) or the static one with a
   C++ runtime (pkg-config intro_music_static). No global state: one module
   per thread at a time, any number of modules at once. Null handles are
   accepted everywhere and do nothing.

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
#define INTRO_MUSIC_PROBE_BYTES 64

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

enum { INTRO_MUSIC_RULES_TRACKER = 0, INTRO_MUSIC_RULES_PRESENTATION = 1 };
enum { INTRO_MUSIC_PROBE_SONG = 0, INTRO_MUSIC_PROBE_NOT_A_SONG = 1, INTRO_MUSIC_PROBE_NEED_MORE_BYTES = 2 };

typedef struct intro_music_error {
    int32_t code; /* INTRO_MUSIC_OK when nothing failed */
    char message[256];
} intro_music_error;

typedef struct intro_music_metadata {
    char title[21];
    char tracker_name[21];
    int32_t channels;
    int32_t orders;
    int32_t patterns;
    int32_t instruments;
    int32_t samples;
    int32_t linear_frequencies; /* 0: Amiga frequency table */
    int32_t initial_speed;
    int32_t initial_bpm;
    int32_t restart_position;
    double duration_seconds; /* one pass, worked out on the first call */
} intro_music_metadata;

typedef struct intro_music_position {
    int32_t order;
    int32_t pattern;
    int32_t row;
    double seconds;
    int32_t passes_completed;
    int32_t speed;
    int32_t tempo;
} intro_music_position;

typedef struct intro_music_pattern_cell {
    uint8_t note; /* 0 none, 1..96, 97 key off */
    uint8_t instrument;
    uint8_t volume;
    uint8_t effect;
    uint8_t parameter;
} intro_music_pattern_cell;

/* The five operations a song is read through from any source: open returns
   a handle or NULL, read the bytes delivered (0 at the end), seek's origin is
   0 from the start or 1 from the current position. */
typedef struct intro_music_file_callbacks {
    void* (*open)(const char* name);
    void (*close)(void* handle);
    int32_t (*read)(void* destination, int32_t count, void* handle);
    void (*seek)(void* handle, int32_t offset, uint8_t origin);
    int32_t (*tell)(void* handle);
} intro_music_file_callbacks;

INTRO_MUSIC_C_API const char* intro_music_version_string(void);

INTRO_MUSIC_C_API intro_music_module* intro_music_load_from_memory(const void* data, size_t size,
                                                                    intro_music_error* error);
INTRO_MUSIC_C_API intro_music_module* intro_music_load_from_file(const char* path, intro_music_error* error);
INTRO_MUSIC_C_API intro_music_module* intro_music_load_with_callbacks(const intro_music_file_callbacks* callbacks,
                                                                      const char* name, intro_music_error* error);
INTRO_MUSIC_C_API void intro_music_free(intro_music_module* module);
/* INTRO_MUSIC_PROBE_*: whether bytes start like a song, without loading them. */
INTRO_MUSIC_C_API int32_t intro_music_probe(const void* data, size_t size);

INTRO_MUSIC_C_API intro_music_metadata intro_music_get_metadata(const intro_music_module* module);
INTRO_MUSIC_C_API int32_t intro_music_load_warning_count(const intro_music_module* module);
INTRO_MUSIC_C_API const char* intro_music_load_warning(const intro_music_module* module, int32_t index);
INTRO_MUSIC_C_API const char* intro_music_instrument_name(const intro_music_module* module, int32_t instrument);
INTRO_MUSIC_C_API int32_t intro_music_sample_count(const intro_music_module* module, int32_t instrument);
INTRO_MUSIC_C_API const char* intro_music_sample_name(const intro_music_module* module, int32_t instrument,
                                                      int32_t sample);
INTRO_MUSIC_C_API int32_t intro_music_pattern_rows(const intro_music_module* module, int32_t pattern);
INTRO_MUSIC_C_API int32_t intro_music_get_pattern_cell(const intro_music_module* module, int32_t pattern, int32_t row,
                                                   int32_t channel, intro_music_pattern_cell* cell);

/* Frames written; fewer than asked only once the song has ended. */
INTRO_MUSIC_C_API int32_t intro_music_render(intro_music_module* module, int16_t* frames, int32_t frame_count);
INTRO_MUSIC_C_API int32_t intro_music_render_float(intro_music_module* module, float* frames, int32_t frame_count);
INTRO_MUSIC_C_API int32_t intro_music_render_mono(intro_music_module* module, int16_t* frames, int32_t frame_count);
INTRO_MUSIC_C_API int32_t intro_music_render_mono_float(intro_music_module* module, float* frames,
                                                        int32_t frame_count);

INTRO_MUSIC_C_API int32_t intro_music_set_output_rate(intro_music_module* module, int32_t rate,
                                                      intro_music_error* error);
INTRO_MUSIC_C_API int32_t intro_music_output_rate(const intro_music_module* module);
INTRO_MUSIC_C_API int32_t intro_music_set_master_gain(intro_music_module* module, double gain);
INTRO_MUSIC_C_API int32_t intro_music_set_stereo_separation(intro_music_module* module, int32_t percent);
INTRO_MUSIC_C_API int32_t intro_music_set_repeat_count(intro_music_module* module, int32_t repeats);
INTRO_MUSIC_C_API int32_t intro_music_ended(const intro_music_module* module);

INTRO_MUSIC_C_API intro_music_position intro_music_get_position(const intro_music_module* module);
INTRO_MUSIC_C_API int32_t intro_music_seek_to_order(intro_music_module* module, int32_t order,
                                                    intro_music_error* error);
INTRO_MUSIC_C_API int32_t intro_music_seek_to_row(intro_music_module* module, int32_t order, int32_t row,
                                                  intro_music_error* error);
INTRO_MUSIC_C_API int32_t intro_music_seek_to_time(intro_music_module* module, double seconds,
                                                   intro_music_error* error);
INTRO_MUSIC_C_API void intro_music_restart(intro_music_module* module);
/* The playback rules: INTRO_MUSIC_RULES_TRACKER (the default) or INTRO_MUSIC_RULES_PRESENTATION; starts the
   song again from its beginning. */
INTRO_MUSIC_C_API int32_t intro_music_set_rules(intro_music_module* module, int32_t rules, intro_music_error* error);
INTRO_MUSIC_C_API int32_t intro_music_rules(const intro_music_module* module);

INTRO_MUSIC_C_API int32_t intro_music_set_channel_muted(intro_music_module* module, int32_t channel, int32_t muted);
INTRO_MUSIC_C_API int32_t intro_music_set_channel_volume(intro_music_module* module, int32_t channel, double volume);
INTRO_MUSIC_C_API int32_t intro_music_set_tempo_factor(intro_music_module* module, double factor);
INTRO_MUSIC_C_API int32_t intro_music_set_pitch_factor(intro_music_module* module, double factor);

#ifdef __cplusplus
}
#endif

#endif /* INTRO_MUSIC_C_H */
