// The file calls built on the platform's single reads and writes.

#include "core/file_io.h"

#include <algorithm>

#include "core/last_error.h"

namespace zk {

int64_t ReadFully(SysHandle h, void* buffer, size_t size)
{
    uint8_t* p = static_cast<uint8_t*>(buffer);
    size_t total = 0;
    while (total < size) {
        const uint32_t piece = static_cast<uint32_t>(std::min<size_t>(size - total, 0x40000000u));
        const int64_t got = ReadFileBytes(h, p + total, piece);
        if (got < 0) return -1;
        if (got == 0) break;
        total += static_cast<size_t>(got);
    }
    return static_cast<int64_t>(total);
}

bool WriteFully(SysHandle h, const void* buffer, size_t size)
{
    const uint8_t* p = static_cast<const uint8_t*>(buffer);
    size_t total = 0;
    while (total < size) {
        const uint32_t piece = static_cast<uint32_t>(std::min<size_t>(size - total, 0x40000000u));
        const int64_t done = WriteFileBytes(h, p + total, piece);
        if (done < 0) return false;
        if (done == 0) {
            SetSystemError(SYSERR_WRITE_FAULT);
            RecordFailure();
            return false;
        }
        total += static_cast<size_t>(done);
    }
    return true;
}

int64_t ReadFullyAt(SysHandle h, uint64_t offset, void* buffer, size_t size)
{
    if (SeekFile(h, static_cast<int64_t>(offset), FROM_BEGIN) < 0) return -1;
    return ReadFully(h, buffer, size);
}

bool WriteFullyAt(SysHandle h, uint64_t offset, const void* buffer, size_t size)
{
    if (SeekFile(h, static_cast<int64_t>(offset), FROM_BEGIN) < 0) return false;
    return WriteFully(h, buffer, size);
}

bool ClearReadOnly(const wchar_t* path)
{
    const uint32_t attrs = GetFileAttrs(path);
    if (attrs == ATTRS_INVALID) return false;
    return SetFileAttrs(path, attrs & ~static_cast<uint32_t>(ATTR_READONLY));
}

} // namespace zk
