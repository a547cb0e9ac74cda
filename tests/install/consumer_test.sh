#!/usr/bin/env bash
# The engine as a user gets it: installed into a temporary prefix, found by an
# out-of-tree project with find_package (a C++ one, and a C-only one), and with
# pkg-config; a C and a C++ program, each built against the static and the
# shared library, render a song to exactly the bytes xm2wav renders.
# Usage: consumer_test.sh BUILD_DIR SOURCE_DIR XM2WAV WORK_DIR SONG.xm...
# (the first song that exists is used)
set -euo pipefail
build_dir=$(realpath "$1")
source_dir=$(realpath "$2")
xm2wav=$(realpath "$3")
work_dir=$4
shift 4
fail() { echo "FAIL: $*" >&2; exit 1; }
song=
for candidate in "$@"; do
    if [ -f "$candidate" ]; then song=$(realpath "$candidate"); break; fi
done
[ -n "$song" ] || fail "none of the songs exists: $*"
echo "song: $song"

rm -rf "$work_dir"
mkdir -p "$work_dir"
cd "$work_dir"
prefix=$PWD/prefix

cmake --install "$build_dir" --prefix "$prefix" > install.log
for file in include/intro_music.h include/intro_music_c.h include/intro_music_live.h; do
    [ -f "$prefix/$file" ] || fail "$file is not installed"
done
# lib/ or, configured for a Debian package, lib/<multiarch>/.
package_file=$(find "$prefix" -path '*/cmake/intro_music/intro_musicConfig.cmake' | head -n 1)
[ -n "$package_file" ] || fail "the CMake package file is not installed"
libraries=$(find "$prefix" -name 'libintro_music*.a' | wc -l)
[ "$libraries" -eq 2 ] || fail "expected the engine and the live library, found $libraries libraries"
pc_folder=$(dirname "$(find "$prefix" -name intro_music.pc)")
shared=$(find "$prefix" -name 'libintro_music.so.1' | head -n 1)
[ -n "$shared" ] || fail "the shared library libintro_music.so.1 is not installed"

"$xm2wav" --raw "$song" expected.raw 2> /dev/null
[ -s expected.raw ] || fail "xm2wav rendered nothing"

# 1. find_package, from a copy of the example outside the source tree.
cp -r "$source_dir/examples" example
cmake -S example -B example-build -G Ninja -DCMAKE_PREFIX_PATH="$prefix" > configure.log \
    || { cat configure.log; fail "the example does not configure against the installed package"; }
cmake --build example-build > build.log || { cat build.log; fail "the example does not build"; }
example-build/render_song "$song" > find_package.raw 2> /dev/null
cmp find_package.raw expected.raw || fail "the find_package build renders other bytes than xm2wav"
example-build/render_song_c "$song" > find_package_c.raw
cmp find_package_c.raw expected.raw || fail "the C program on intro_music::shared renders other bytes than xm2wav"
echo "find_package: $(stat -c %s find_package.raw) bytes from C++ (static) and C (shared), the same as xm2wav's"

# 2. A C-only CMake project (no C++ compiler enabled) on each library: the
# static target brings the C++ run-time it needs.
mkdir c_only
cp example/render_song_c.c c_only/
cat > c_only/CMakeLists.txt <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(c_only LANGUAGES C)
find_package(intro_music CONFIG REQUIRED)
add_executable(render_static render_song_c.c)
target_link_libraries(render_static PRIVATE intro_music::intro_music)
add_executable(render_shared render_song_c.c)
target_link_libraries(render_shared PRIVATE intro_music::shared)
CMAKE
cmake -S c_only -B c_only-build -G Ninja -DCMAKE_PREFIX_PATH="$prefix" > c_only_configure.log \
    || { cat c_only_configure.log; fail "the C-only project does not configure"; }
cmake --build c_only-build > c_only_build.log || { cat c_only_build.log; fail "the C-only project does not link"; }
for program in render_static render_shared; do
    c_only-build/$program "$song" > c_only_$program.raw
    cmp c_only_$program.raw expected.raw || fail "the C-only $program renders other bytes than xm2wav"
done
echo "C-only CMake project: the static and the shared library give xm2wav's bytes"

# 3. pkg-config, compiler and linker flags only: C and C++, static and shared.
for package in intro_music intro_music_static; do
    flags=$(PKG_CONFIG_PATH="$pc_folder" pkg-config --cflags --libs $package)
    case "$flags" in *..*) fail "pkg-config $package gives paths with '..': $flags" ;; esac
    runtime=
    [ $package = intro_music ] && runtime="-Wl,-rpath,$(dirname "$shared")"
    c++ -std=c++17 -o render_song_$package example/render_song.cpp $flags $runtime
    cc -std=c99 -Wall -Werror -pedantic -o render_song_c_$package example/render_song_c.c $flags $runtime
    for program in render_song_$package render_song_c_$package; do
        ldd ./$program > $program.libraries
        if [ $package = intro_music ]; then
            grep -q 'libintro_music.so.1' $program.libraries || fail "$program does not use the shared library"
        else
            ! grep -q 'libintro_music' $program.libraries || fail "$program uses a shared library"
        fi
        ./$program "$song" > $program.raw 2> /dev/null
        cmp $program.raw expected.raw || fail "$program renders other bytes than xm2wav"
    done
    echo "pkg-config $package ($flags): C and C++ give the same bytes"
done

# The engine alone needs no SDL2: nothing in its package asks for it.
! grep -qi sdl "$(dirname "$package_file")/intro_musicTargets.cmake" || fail "the engine's targets name SDL2"
PKG_CONFIG_PATH="$pc_folder" pkg-config --print-requires intro_music | grep -qi sdl && fail "the engine's pkg-config file requires SDL2"
# The live library links on its own flags and opens a device (SDL's dummy driver).
cat > live.cpp <<'CPP'
#include <intro_music_live.h>
#include <cstdio>
int main(int, char** arguments) {
    intro_music::Error error{};
    intro_music::Module* song = intro_music::loadFromFile(arguments[1], &error);
    intro_music::LivePlayer* live = intro_music::startLive(song, &error);
    std::puts(live != nullptr ? "playing" : error.message);
    intro_music::stopLive(live);
    intro_music::freeModule(song);
    return live != nullptr ? 0 : 1;
}
CPP
live_flags=$(PKG_CONFIG_PATH="$pc_folder" pkg-config --cflags --libs intro_music_live) \
    || fail "intro_music_live.pc does not resolve"
c++ -std=c++20 -o live live.cpp $live_flags
SDL_AUDIODRIVER=dummy ./live "$song" | grep -q playing || fail "the live library plays nothing"
# And its C calls, from a C program with the same flags.
cat > live_c.c <<'C'
#include <intro_music_live.h>
#include <stdio.h>
int main(int count, char** arguments) {
    intro_music_error error = {0};
    intro_music_module* song = intro_music_load_from_file(arguments[count - 1], &error);
    intro_music_live* live = intro_music_live_start(song, &error);
    float left = 0.0f, right = 0.0f;
    puts(live != NULL && intro_music_live_channel_level(live, 0, &left, &right) == 1 ? "playing" : error.message);
    intro_music_live_stop(live);
    intro_music_free(song);
    return live != NULL ? 0 : 1;
}
C
cc -std=c99 -Wall -Werror -pedantic -o live_c live_c.c $live_flags
SDL_AUDIODRIVER=dummy ./live_c "$song" | grep -q playing || fail "the live library's C calls play nothing"
echo "live library: links with pkg-config and plays, from C++ and from C"
echo "PASS"
