#include "core/memory_files.h"

#include <algorithm>
#include <cstring>

namespace zk {

int64_t MemoryFile::Read(void* dst, uint32_t count)
{
    ++m_nReads;
    const uint64_t size = m_data->size();
    if (m_nPos >= size || count == 0) return 0;
    uint64_t n = std::min<uint64_t>({count, size - m_nPos, m_nReadChunk});
    if (m_nPos + n > m_nFailReadAt) {
        m_strError = u"read failed";
        return -1;
    }
    std::memcpy(dst, m_data->data() + m_nPos, static_cast<size_t>(n));
    m_nPos += n;
    return static_cast<int64_t>(n);
}

int64_t MemoryFile::Write(const void* src, uint32_t count)
{
    ++m_nWrites;
    uint64_t n = count;
    if (m_nPos + n > m_nSizeLimit) {
        n = m_nPos < m_nSizeLimit ? m_nSizeLimit - m_nPos : 0;
        m_strError = u"disk full";
    }
    const uint8_t* bytes = static_cast<const uint8_t*>(src);
    if (m_nPos == m_data->size()) {
        m_data->insert(m_data->end(), bytes, bytes + n); // appending: no zero fill first
    } else {
        if (m_nPos + n > m_data->size()) m_data->resize(static_cast<size_t>(m_nPos + n));
        if (n > 0) std::memcpy(m_data->data() + m_nPos, bytes, static_cast<size_t>(n));
    }
    m_nPos += n;
    return static_cast<int64_t>(n);
}

bool MemoryFile::SeekTo(uint64_t pos)
{
    if (pos > m_data->size()) {
        m_strError = u"seek failed";
        return false;
    }
    m_nPos = pos;
    return true;
}

std::shared_ptr<std::vector<uint8_t>> MemoryVolumeFiles::File(const std::u16string& path)
{
    auto& slot = m_files[path];
    if (!slot) slot = std::make_shared<std::vector<uint8_t>>();
    return slot;
}

std::unique_ptr<IByteFile> MemoryVolumeFiles::CreateVolume(const std::u16string& path)
{
    if (path == m_strRefused) {
        m_strError = u"cannot create";
        return nullptr;
    }
    auto data = std::make_shared<std::vector<uint8_t>>();
    m_files[path] = data;
    auto file = std::make_unique<MemoryFile>(data);
    file->LimitSize(m_nCreatedLimit);
    return file;
}

std::unique_ptr<IByteFile> MemoryVolumeFiles::OpenVolume(const std::u16string& path)
{
    auto it = m_files.find(path);
    if (it == m_files.end()) {
        m_strError = u"not found";
        return nullptr;
    }
    ++m_nOpens;
    return std::make_unique<MemoryFile>(it->second);
}

} // namespace zk
