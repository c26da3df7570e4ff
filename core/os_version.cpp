#include "core/os_version.h"

namespace zk {

int OsVersionCodeFor(uint32_t platformId, uint32_t major, uint32_t minor, uint32_t productType, bool serverR2)
{
    if (platformId == OS_PLATFORM_WIN32S) return 0;
    if (platformId == OS_PLATFORM_WIN9X) {
        if (minor < 10) return 1;
        return minor < 90 ? 2 : 3;
    }
    if (platformId != OS_PLATFORM_NT) return 0;

    const bool server = productType != OS_PRODUCT_WORKSTATION;
    if (major < 4) return 4;
    if (major == 4) return 5;
    if (major == 5) {
        if (minor == 0) return 6;
        if (minor == 1) return 7;
        if (minor == 2) return serverR2 ? 9 : 8;
        return 0;
    }
    if (major == 6) {
        if (minor <= 3) return 10 + 2 * static_cast<int>(minor) + (server ? 1 : 0);
        if (minor == 10 && !server) return 18;
        return 0;
    }
    if (major == 10) {
        if (minor == 0) return server ? 19 : 18;
        return server ? 99 : 98;
    }
    return 0;
}

} // namespace zk
