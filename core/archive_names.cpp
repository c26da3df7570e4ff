#include "core/archive_names.h"

#include <atomic>

namespace zk {

namespace {
// 0: not set, the platform's default applies.
std::atomic<uint32_t> g_nArchiveCodePage{0};
} // namespace

void SetArchiveCodePage(uint32_t codePage)
{
    g_nArchiveCodePage.store(codePage, std::memory_order_relaxed);
}

uint32_t ArchiveCodePage()
{
    const uint32_t set = g_nArchiveCodePage.load(std::memory_order_relaxed);
    if (set != 0) return set;
#ifdef _WIN32
    return CODE_PAGE_THREAD_ANSI;
#else
    return CODE_PAGE_DEFAULT_NATIVE;
#endif
}

} // namespace zk
