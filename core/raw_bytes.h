#pragma once
// A byte buffer that is not cleared when it is allocated. For the large
// buffers that are always written before they are read: clearing them would
// cost a pass over their memory at every allocation, and pages never
// touched would be memory taken for nothing.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace zk {

class RawBytes {
public:
    RawBytes() = default;
    explicit RawBytes(size_t size) : m_pBytes(new uint8_t[size]), m_nSize(size) {}

    uint8_t* data() { return m_pBytes.get(); }
    const uint8_t* data() const { return m_pBytes.get(); }
    size_t size() const { return m_nSize; }

private:
    std::unique_ptr<uint8_t[]> m_pBytes;
    size_t m_nSize = 0;
};

} // namespace zk
