#pragma once
// The byte coding of the builder's settings files: a buffered stream of
// little-endian integers and length-prefixed strings, read or written in one
// direction. The files come from disk and may be damaged or hostile, so every
// read checks the bytes that are left before it allocates or copies.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zk {

// Where a loading archive takes its bytes from.
class SerialByteSource {
public:
    virtual ~SerialByteSource() = default;
    // Total number of bytes the source holds.
    virtual uint64_t Size() const = 0;
    // Reads up to n bytes; fewer only at the end or on a read error.
    virtual size_t Read(uint8_t* p, size_t n) = 0;
};

// Where a storing archive puts its bytes.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Writes all n bytes or fails.
    virtual bool Write(const uint8_t* p, size_t n) = 0;
};

class MemorySource : public SerialByteSource {
public:
    MemorySource(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    explicit MemorySource(const std::vector<uint8_t>& bytes) : MemorySource(bytes.data(), bytes.size()) {}
    uint64_t Size() const override { return m_size; }
    size_t Read(uint8_t* p, size_t n) override;

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

class MemorySink : public ByteSink {
public:
    bool Write(const uint8_t* p, size_t n) override
    {
        m_bytes.insert(m_bytes.end(), p, p + n);
        return true;
    }
    std::vector<uint8_t> m_bytes;
};

// Turns a string stored without the UTF-16 mark (text in the system's ANSI
// code page) into UTF-16. Returns false when the bytes cannot be converted.
using AnsiDecoder = std::function<bool(const uint8_t* bytes, size_t size, std::u16string& out)>;

// A string is stored as:
//   FF FE FF                 mark: UTF-16 text follows (absent: ANSI bytes)
//   n                        one byte, when n < 255
//   FF, n (16 bits)          when n < 65534
//   FF, FF FF, n (32 bits)   otherwise
//   n characters             UTF-16LE (or n bytes of ANSI text), no terminator
// The writer always writes the mark.
class SerialArchive {
public:
    static constexpr size_t BUFFER_SIZE = 4096;

    // Loading from a source; unmarked strings go through `decode`.
    SerialArchive(SerialByteSource& source, AnsiDecoder decode);
    // Storing into a sink; call Flush() at the end.
    explicit SerialArchive(ByteSink& sink);

    SerialArchive(const SerialArchive&) = delete;
    SerialArchive& operator=(const SerialArchive&) = delete;

    bool IsLoading() const { return m_source != nullptr; }
    bool IsStoring() const { return m_sink != nullptr; }
    // False after a read past the end, a malformed string or a failed write;
    // once false, reads return zero or empty and writes do nothing.
    bool Ok() const { return m_ok; }

    uint8_t ReadU8();
    uint16_t ReadU16();
    uint32_t ReadU32();
    int32_t ReadI32() { return static_cast<int32_t>(ReadU32()); }
    std::u16string ReadString();
    // Bytes of the source not yet consumed.
    uint64_t BytesLeft() const { return m_ok ? m_sourceSize - m_consumed : 0; }

    void WriteU8(uint8_t v) { WriteBytes(&v, 1); }
    void WriteU16(uint16_t v);
    void WriteU32(uint32_t v);
    void WriteI32(int32_t v) { WriteU32(static_cast<uint32_t>(v)); }
    void WriteString(std::u16string_view text);
    // Hands the buffered bytes to the sink. Returns Ok().
    bool Flush();

private:
    bool ReadBytes(uint8_t* p, size_t n);
    void WriteBytes(const uint8_t* p, size_t n);
    uint32_t ReadStringLength(bool* wide);

    SerialByteSource* m_source = nullptr;
    ByteSink* m_sink = nullptr;
    AnsiDecoder m_decode;
    uint8_t m_buf[BUFFER_SIZE];
    size_t m_bufPos = 0; // loading: next byte; storing: bytes held
    size_t m_bufEnd = 0; // loading: bytes held
    uint64_t m_sourceSize = 0;
    uint64_t m_consumed = 0;
    bool m_ok = true;
};

} // namespace zk
