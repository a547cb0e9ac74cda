// The audio thread runs at time-critical priority on Windows. std::thread is
// a winpthreads thread here; its Windows handle is what the scheduler knows.
#include <pthread.h>
#include <windows.h>

#include "thread_priority.h"

namespace intro_music::engine {

void raiseAudioThreadPriority(std::thread& thread) {
    const HANDLE handle = pthread_gethandle(thread.native_handle());
    if (handle != nullptr) {
        // Ignored when refused: the thread then runs at normal priority.
        static_cast<void>(SetThreadPriority(handle, THREAD_PRIORITY_TIME_CRITICAL));
    }
}

}  // namespace intro_music::engine
