#include "core/worker_thread.h"

#include <pthread.h>

#include <cerrno>
#include <ctime>
#include <memory>

#include "core/last_error.h"

namespace zk {

namespace {

struct ThreadStart {
    void (*proc)(void*);
    void* arg;
};

void* ThreadEntry(void* p)
{
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(p));
    start->proc(start->arg);
    return nullptr;
}

} // namespace

bool StartDetachedThread(void (*proc)(void* arg), void* arg, size_t stackBytes)
{
    auto start = std::make_unique<ThreadStart>(ThreadStart{proc, arg});
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) return false;
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_attr_setstacksize(&attr, stackBytes);
    pthread_t thread;
    const int error = pthread_create(&thread, &attr, &ThreadEntry, start.get());
    pthread_attr_destroy(&attr);
    if (error != 0) {
        errno = error;
        RecordFailure();
        return false;
    }
    start.release();
    return true;
}

void PauseMs(uint32_t ms)
{
    struct timespec pause {
        static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L
    };
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

} // namespace zk
