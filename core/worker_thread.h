#pragma once
// Threads of their own and pauses, the same on every platform.

#include <cstddef>
#include <cstdint>

namespace zk {

// Starts proc(arg) on a new thread that nobody joins, with at least
// stackBytes of stack. False (the thread did not start) with this thread's
// last error set.
bool StartDetachedThread(void (*proc)(void* arg), void* arg, size_t stackBytes);

// Sleeps this thread for ms milliseconds.
void PauseMs(uint32_t ms);

} // namespace zk
