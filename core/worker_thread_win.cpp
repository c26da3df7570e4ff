#include "core/worker_thread.h"

#include <windows.h>
#include <process.h>

#include <memory>

#include "core/last_error.h"

namespace zk {

namespace {

struct ThreadStart {
    void (*proc)(void*);
    void* arg;
};

unsigned __stdcall ThreadEntry(void* p)
{
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(p));
    start->proc(start->arg);
    return 0;
}

} // namespace

bool StartDetachedThread(void (*proc)(void* arg), void* arg, size_t stackBytes)
{
    auto start = std::make_unique<ThreadStart>(ThreadStart{proc, arg});
    const uintptr_t thread = _beginthreadex(nullptr, static_cast<unsigned>(stackBytes), &ThreadEntry,
                                            start.get(), STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!thread) {
        RecordFailure();
        return false;
    }
    start.release();
    CloseHandle(reinterpret_cast<HANDLE>(thread));
    return true;
}

void PauseMs(uint32_t ms)
{
    Sleep(ms);
}

} // namespace zk
