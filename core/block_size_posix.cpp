#include "core/block_size.h"

namespace zk {

// Windows allocates in 64 KiB granules on every system it runs on; the same
// block size here makes the same archives.
uint32_t SystemBlockSize()
{
    return BlockSizeFor(64 * 1024);
}

} // namespace zk
