// A browser runs every worker at the same priority: there is nothing to raise.
// The ring's two seconds of lead cover what a busy page delays the thread by.
#include "thread_priority.h"

namespace intro_music::engine {

void raiseAudioThreadPriority(std::thread& /*thread*/) {}

}  // namespace intro_music::engine
