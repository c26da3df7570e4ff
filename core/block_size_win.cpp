#include "core/block_size.h"

#include <windows.h>

namespace zk {

uint32_t SystemBlockSize()
{
    SYSTEM_INFO si{};
    GetSystemInfo(&si);
    return BlockSizeFor(si.dwAllocationGranularity);
}

} // namespace zk
