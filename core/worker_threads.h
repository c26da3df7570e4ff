#pragma once
// How many threads the data pipelines of one run use. ZELKORA_THREADS=N in
// the environment sets it for both programs; without it every core the
// system reports is used. 1 keeps every step on the calling thread. A tool
// with a switch of its own overrides the environment through
// SetWorkerThreadCount.

#include <cstdint>

namespace zk {

constexpr unsigned WORKER_THREADS_MAX = 64;

// The count from a text such as the environment variable's: 1 ..
// WORKER_THREADS_MAX, or 0 when the text is not such a number.
unsigned ParseThreadCount(const char* text);

// The count this run uses: the override, else ZELKORA_THREADS, else the
// cores (at least 1).
unsigned WorkerThreadCount();

// 0 returns to the environment's count.
void SetWorkerThreadCount(unsigned count);

} // namespace zk
