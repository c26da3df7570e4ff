#pragma once
// The OS version code: a small integer classifying the running Windows
// version. Callers compare against it: >= 10 means Vista or later, >= 12
// means Windows 7 or later.

#include <cstdint>

namespace zk {

// Platform ids and product types as the system's extended version record
// gives them.
constexpr uint32_t OS_PLATFORM_WIN32S = 0;
constexpr uint32_t OS_PLATFORM_WIN9X = 1;
constexpr uint32_t OS_PLATFORM_NT = 2;
constexpr uint32_t OS_PRODUCT_WORKSTATION = 1;

constexpr int OS_CODE_VISTA = 10;
constexpr int OS_CODE_WIN7 = 12;

// The code for one version record; serverR2 is what the system metrics say
// about Server 2003 R2 (only looked at for 5.2). Unknown versions give 0.
int OsVersionCodeFor(uint32_t platformId, uint32_t major, uint32_t minor, uint32_t productType,
                     bool serverR2);

} // namespace zk
