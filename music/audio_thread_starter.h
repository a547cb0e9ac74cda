// How playback starts its audio thread: a seam, so that tests can make the
// start fail as the system does when it refuses a new thread (std::thread
// then throws std::system_error).
#pragma once

#include <functional>
#include <thread>

namespace intro_music::engine {

using AudioThreadStarter = std::thread (*)(std::function<void()> procedure);

// Runs the procedure on a new std::thread.
std::thread startStdThread(std::function<void()> procedure);
// What the next start of playback uses; startStdThread unless a test put in another.
extern AudioThreadStarter audioThreadStarter;

}  // namespace intro_music::engine
