// Real-time scheduling for the audio thread where the system grants it.
#include <pthread.h>
#include <sched.h>

#include "thread_priority.h"

namespace intro_music::engine {

namespace {
// High enough to preempt ordinary work, well below the system's own threads.
constexpr int audioThreadPriority = 10;
// Shows in the system's thread list (at most 15 characters).
constexpr char audioThreadName[] = "music-mixer";
}  // namespace

void raiseAudioThreadPriority(std::thread& thread) {
    static_cast<void>(pthread_setname_np(thread.native_handle(), audioThreadName));
    sched_param parameters{};
    const int highest = sched_get_priority_max(SCHED_FIFO);
    parameters.sched_priority = highest < audioThreadPriority ? highest : audioThreadPriority;
    // Refused without the privilege; the thread then runs at normal priority.
    static_cast<void>(pthread_setschedparam(thread.native_handle(), SCHED_FIFO, &parameters));
}

}  // namespace intro_music::engine
