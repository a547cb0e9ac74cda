/* The C form of render_song: one pass of a song to standard output as raw
   16-bit stereo PCM, through intro_music_c.h.
     render_song_c SONG.xm > song.raw */
#include <intro_music_c.h>

#include <stdio.h>

int main(int argument_count, char** arguments) {
    intro_music_error error = {0};
    intro_music_module* song;
    int16_t frames[2 * 4096];
    int32_t count;
    if (argument_count != 2) {
        fprintf(stderr, "usage: render_song_c SONG.xm > song.raw\n");
        return 2;
    }
    song = intro_music_load_from_file(arguments[1], &error);
    if (song == NULL) {
        fprintf(stderr, "render_song_c: %s\n", error.message);
        return 1;
    }
    while ((count = intro_music_render(song, frames, 4096)) > 0) {
        fwrite(frames, sizeof(int16_t) * 2, (size_t)count, stdout);
    }
    intro_music_free(song);
    return fflush(stdout) == 0 ? 0 : 1;
}
