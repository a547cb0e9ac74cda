// song_compiler SONG.txt OUTPUT.xm
// Builds the project's song from its text sources (song settings, sample
// recipes, patterns) into an Extended Module file. The output depends on the
// sources only, so every build produces the same bytes.
#include <cstdio>
#include <fstream>

#include "song_compiler.h"
#include "xm_writer.h"

int main(int argumentCount, char** arguments) {
    if (argumentCount != 3) {
        std::fprintf(stderr, "usage: song_compiler SONG.txt OUTPUT.xm\n");
        return 2;
    }
    xm_writer::ModuleData module;
    song_compiler::TextError error;
    if (!song_compiler::compileSong(arguments[1], module, error)) {
        std::fprintf(stderr, "%s:%d: %s\n", error.file.c_str(), error.line, error.message.c_str());
        return 1;
    }
    const std::vector<uint8_t> bytes = xm_writer::writeModule(module);
    std::ofstream output(arguments[2], std::ios::binary | std::ios::trunc);
    output.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    output.close();
    if (!output) {
        std::fprintf(stderr, "%s: cannot write the file\n", arguments[2]);
        return 1;
    }
    return 0;
}
