#include "sfx/engine/archive_file.h"

#include "core/file_io.h"
#include "core/pipeline_platform.h"

namespace zk {

bool FileByteSource::ReadExact(uint8_t* buffer, size_t n)
{
    if (n == 0) return true;
    return ReadFully(m_h, buffer, n) == static_cast<int64_t>(n);
}

void InfoTableReader::Attach(SysHandle h, uint64_t fileSize)
{
    m_pWindow.reset();
    m_h = h;
    m_pFile = WrapFileHandle(h, false);
    m_pWindow = std::make_unique<RecordWindow>(*m_pFile, fileSize);
}

void InfoTableReader::Forget()
{
    m_pWindow.reset();
    m_pFile.reset();
    m_h = nullptr;
}

} // namespace zk
