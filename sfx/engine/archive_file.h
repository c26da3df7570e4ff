#pragma once
// The extractor's reads from the archive's first file: a byte source for the
// format's readers, and the Windows side of the volume files.

#include <string>

#include "core/archive_format.h"
#include "core/text_convert.h"
#include "core/unique_handle.h"
#include "core/volume_io.h"

namespace zk {

// Reads sequentially from an open file handle (not owned).
class FileByteSource : public ByteSource {
public:
    explicit FileByteSource(SysHandle h) : m_h(h) {}
    bool ReadExact(uint8_t* buffer, size_t n) override;

private:
    SysHandle m_h;
};

} // namespace zk
