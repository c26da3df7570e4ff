#include "core/file_time.h"

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

} // namespace zk
