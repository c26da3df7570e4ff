#include "core/file_time.h"

#include <cstdlib>
#include <ctime>

namespace zk {

uint64_t CurrentFileTime()
{
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    // Milliseconds, as the Windows clock gives them.
    const uint64_t ms =
        static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return ms * 10000u + 116444736000000000ull;
}

uint64_t ArchiveTimeStamp()
{
    uint64_t stamp = 0;
    if (EpochTextToFileTime(std::getenv("SOURCE_DATE_EPOCH"), &stamp)) return stamp;
    return CurrentFileTime();
}

} // namespace zk
