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

// False when the process must end with status -1 (GLFW is then terminated).
bool startUp();
// Returns when the window has been asked to close.
void runMainLoop();
// Releases every GL object while the context is current, then terminates GLFW.
void shutDown();
void onFramebufferResize(GLFWwindow* window, int width, int height);

// Applies the M key as sampled in one frame; toggles on the press only.
void handleMusicKey(bool keyDown);
