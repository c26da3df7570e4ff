#include "core/worker_threads.h"

#include <atomic>
#include <cstdlib>
#include <thread>

namespace zk {

namespace {

std::atomic<unsigned> g_nThreadOverride{0};

} // namespace

unsigned ParseThreadCount(const char* text)
{
    if (text == nullptr || *text == 0) return 0;
    unsigned value = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return 0;
        value = value * 10 + static_cast<unsigned>(*p - '0');
        if (value > WORKER_THREADS_MAX) return 0;
    }
    return value;
}

unsigned WorkerThreadCount()
{
    const unsigned forced = g_nThreadOverride.load();
    if (forced != 0) return forced;
    const unsigned fromEnvironment = ParseThreadCount(std::getenv("ZELKORA_THREADS"));
    if (fromEnvironment != 0) return fromEnvironment;
    const unsigned cores = std::thread::hardware_concurrency();
    if (cores == 0) return 1;
    return cores < WORKER_THREADS_MAX ? cores : WORKER_THREADS_MAX;
}

void SetWorkerThreadCount(unsigned count)
{
    g_nThreadOverride.store(count <= WORKER_THREADS_MAX ? count : WORKER_THREADS_MAX);
}

} // namespace zk
