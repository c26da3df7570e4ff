#include "sfx/engine/archive_file.h"

#include "core/file_io.h"

namespace zk {

bool FileByteSource::ReadExact(uint8_t* buffer, size_t n)
{
    if (n == 0) return true;
    return ReadFully(m_h, buffer, n) == static_cast<int64_t>(n);
}


} // namespace zk
