#include "core/work_buffers.h"

namespace zk {

uint32_t WorkBufferSizeFor(uint64_t requested)
{
    constexpr uint64_t MiB = 1024 * 1024;
    const uint64_t m = requested / MiB;
    uint64_t size = requested;
    if (m > 8) {
        size = 8 * MiB;
    } else if (m > 4) {
        size = 4 * MiB;
    } else if (m > 2) {
        size = 2 * MiB;
    } else if (m == 0) {
        size = MiB;
    }
    return static_cast<uint32_t>((size + 15) & ~uint64_t(15));
}

} // namespace zk
