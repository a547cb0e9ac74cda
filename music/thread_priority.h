// Raising the audio thread above ordinary work, where the system allows it.
#pragma once

#include <thread>

namespace intro_music::engine {

// Names the thread where the system shows thread names and raises its
// priority; a refusal (no privilege) leaves it at normal priority.
void raiseAudioThreadPriority(std::thread& thread);

}  // namespace intro_music::engine
