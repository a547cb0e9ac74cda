// The program's entry sequence and the owner of every object that lives for
// the whole run: window, clock, keys, the song and the drawable objects.
#pragma once

#include <cstdint>

#include "picture.h"
#include "playback.h"

struct GLFWwindow;

// The picture's drawable objects, and what only the live program has.
struct ShellState : PresentationPicture {
    GLFWwindow* window = nullptr;
    int32_t windowWidth = 0;
    int32_t windowHeight = 0;
    float currentTime = 0.0f;
    bool musicMuted = false;
    bool musicKeyWasDown = false;  // M acts once per press, not once per frame while held
    intro_music::engine::Song* song = nullptr;
    // Released with the shell state at exit, which ends the audio thread first.
    intro_music::engine::PlaybackPointer playback;
};

// The one shell state of the process.
ShellState& shell();

// The desktop's start: the full-screen window on the primary monitor, then
// prepareShell. False when the process must end with status -1 (GLFW is then
// terminated).
bool startUp();

// The desktop starts the song with the window; a browser page waits for the
// viewer's first gesture.
enum class MusicStart { AtOnce, Later };
// Everything after the window exists and its context is current (the shell
// state holds the window and its size): the GL entry points through
// `glLookup`, the GL state, the song (started now, or later by startMusic)
// and the picture. False when the entry points cannot be loaded (GLFW is then
// terminated).
bool prepareShell(void* (*glLookup)(const char* name), MusicStart musicStart);
// Starts the loaded song from its beginning; nothing without a song.
void startMusic();
// Returns when the window has been asked to close.
void runMainLoop();
// One iteration of the main loop: clock, keys, timeline, frame, events.
void runFrame();
// Releases every GL object while the context is current, then terminates GLFW.
void shutDown();
void onFramebufferResize(GLFWwindow* window, int width, int height);

// Applies the M key as sampled in one frame; toggles on the press only.
void handleMusicKey(bool keyDown);
