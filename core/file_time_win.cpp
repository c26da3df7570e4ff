#include "core/file_time.h"

#include <cstdlib>

#include <windows.h>

namespace zk {

uint64_t CurrentFileTime()
{
    SYSTEMTIME local{};
    GetLocalTime(&local);
    FILETIME localFile{}, utc{};
    SystemTimeToFileTime(&local, &localFile);
    LocalFileTimeToFileTime(&localFile, &utc);
    return (static_cast<uint64_t>(utc.dwHighDateTime) << 32) | utc.dwLowDateTime;
}

uint64_t ArchiveTimeStamp()
{
    uint64_t stamp = 0;
    if (EpochTextToFileTime(std::getenv("SOURCE_DATE_EPOCH"), &stamp)) return stamp;
    return CurrentFileTime();
}

} // namespace zk
