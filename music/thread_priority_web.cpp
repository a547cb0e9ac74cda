// A browser runs every worker at the same priority: there is nothing to raise.
// The ring's two seconds of lead cover what a busy page delays the thread by.
#include "thread_priority.h"

void raiseAudioThreadPriority(std::thread& /*thread*/) {}
