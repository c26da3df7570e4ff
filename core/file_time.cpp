#include "core/file_time.h"

#include <cstdint>
#include <ctime>

namespace zk {

namespace {
constexpr uint64_t TICKS_PER_SECOND = 10000000;
constexpr uint64_t SECONDS_1601_TO_1970 = 11644473600ull;
constexpr uint64_t MAX_EPOCH_SECONDS = UINT64_MAX / TICKS_PER_SECOND - SECONDS_1601_TO_1970;
} // namespace

int64_t WallClockSeconds()
{
    return static_cast<int64_t>(std::time(nullptr));
}

bool EpochTextToFileTime(const char* text, uint64_t* fileTime)
{
    if (!text || !*text) return false;
    uint64_t seconds = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        seconds = seconds * 10 + static_cast<uint64_t>(*p - '0');
        if (seconds > MAX_EPOCH_SECONDS) return false;
    }
    *fileTime = (seconds + SECONDS_1601_TO_1970) * TICKS_PER_SECOND;
    return true;
}

} // namespace zk
