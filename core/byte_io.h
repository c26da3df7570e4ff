#pragma once
// Little-endian reads and writes on byte buffers. Archive integers are
// little-endian and records are packed, so fields are never read through
// casts of struct pointers.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace zk {

inline uint16_t LoadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t LoadU32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t LoadU64(const uint8_t* p)
{
    return static_cast<uint64_t>(LoadU32(p)) | (static_cast<uint64_t>(LoadU32(p + 4)) << 32);
}
inline int32_t LoadI32(const uint8_t* p) { return static_cast<int32_t>(LoadU32(p)); }

inline void StoreU16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreU32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void StoreU64(uint8_t* p, uint64_t v)
{
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Appends little-endian values to a growing byte string.
class ByteWriter {
public:
    explicit ByteWriter(std::vector<uint8_t>& out) : m_out(out) {}
    void U8(uint8_t v) { m_out.push_back(v); }
    void U16(uint16_t v) { Put(v, 2); }
    void U32(uint32_t v) { Put(v, 4); }
    void U64(uint64_t v) { Put(v, 8); }
    void Bytes(const void* p, size_t n)
    {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        m_out.insert(m_out.end(), b, b + n);
    }
    void Zeros(size_t n) { m_out.insert(m_out.end(), n, 0); }
    size_t Size() const { return m_out.size(); }

private:
    void Put(uint64_t v, int width)
    {
        for (int i = 0; i < width; ++i) m_out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    std::vector<uint8_t>& m_out;
};

// Reads little-endian values from untrusted bytes. Every read checks the
// remaining length; after the first failed read the reader stays failed and
// returns zeros, so a parser can read a whole record and test Ok() once.
class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : m_p(data), m_size(size) {}
    uint8_t U8() { return Take(1) ? m_p[m_pos - 1] : 0; }
    uint16_t U16() { return Take(2) ? LoadU16(m_p + m_pos - 2) : 0; }
    uint32_t U32() { return Take(4) ? LoadU32(m_p + m_pos - 4) : 0; }
    uint64_t U64() { return Take(8) ? LoadU64(m_p + m_pos - 8) : 0; }
    int32_t I32() { return static_cast<int32_t>(U32()); }
    // Pointer to the next n bytes, or null when fewer remain.
    const uint8_t* Bytes(size_t n) { return Take(n) ? m_p + m_pos - n : nullptr; }
    bool Skip(size_t n) { return Take(n); }
    bool Ok() const { return m_ok; }
    size_t Pos() const { return m_pos; }
    size_t Remaining() const { return m_ok ? m_size - m_pos : 0; }

private:
    bool Take(size_t n)
    {
        if (!m_ok || n > m_size - m_pos) {
            m_ok = false;
            return false;
        }
        m_pos += n;
        return true;
    }
    const uint8_t* m_p;
    size_t m_size;
    size_t m_pos = 0;
    bool m_ok = true;
};

} // namespace zk
