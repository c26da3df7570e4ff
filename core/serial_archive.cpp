#include "core/serial_archive.h"

#include <algorithm>
#include <cstring>

#include "core/byte_io.h"

namespace zk {

size_t MemorySource::Read(uint8_t* p, size_t n)
{
    size_t take = std::min(n, m_size - m_pos);
    if (take != 0) std::memcpy(p, m_data + m_pos, take);
    m_pos += take;
    return take;
}

SerialArchive::SerialArchive(SerialByteSource& source, AnsiDecoder decode)
    : m_source(&source), m_decode(std::move(decode)), m_sourceSize(source.Size())
{
}

SerialArchive::SerialArchive(ByteSink& sink) : m_sink(&sink) {}

bool SerialArchive::ReadBytes(uint8_t* p, size_t n)
{
    if (!m_ok || !IsLoading() || n > m_sourceSize - m_consumed) {
        m_ok = false;
        return false;
    }
    while (n != 0) {
        if (m_bufPos == m_bufEnd) {
            m_bufPos = 0;
            m_bufEnd = m_source->Read(m_buf, BUFFER_SIZE);
            if (m_bufEnd == 0) {
                // The source is shorter than it said.
                m_ok = false;
                return false;
            }
        }
        size_t take = std::min(n, m_bufEnd - m_bufPos);
        std::memcpy(p, m_buf + m_bufPos, take);
        m_bufPos += take;
        m_consumed += take;
        p += take;
        n -= take;
    }
    return true;
}

uint8_t SerialArchive::ReadU8()
{
    uint8_t b = 0;
    return ReadBytes(&b, 1) ? b : 0;
}

uint16_t SerialArchive::ReadU16()
{
    uint8_t b[2];
    return ReadBytes(b, 2) ? LoadU16(b) : 0;
}

uint32_t SerialArchive::ReadU32()
{
    uint8_t b[4];
    return ReadBytes(b, 4) ? LoadU32(b) : 0;
}

uint32_t SerialArchive::ReadStringLength(bool* wide)
{
    *wide = false;
    uint8_t b = ReadU8();
    if (b < 0xFF) return b;
    uint16_t w = ReadU16();
    if (w == 0xFFFE) {
        *wide = true;
        b = ReadU8();
        if (b < 0xFF) return b;
        w = ReadU16();
        // Writers use the 32-bit form from 65534 characters on, so both
        // FFFE and FFFF announce it once the mark has been seen.
        if (w < 0xFFFE) return w;
        return ReadU32();
    }
    if (w < 0xFFFF) return w;
    return ReadU32();
}

std::u16string SerialArchive::ReadString()
{
    bool wide = false;
    uint32_t length = ReadStringLength(&wide);
    if (!m_ok) return {};
    uint64_t bytes = wide ? uint64_t{length} * 2 : uint64_t{length};
    // Checked before anything is allocated: a damaged length must not make
    // the reader reserve more than the file could hold.
    if (bytes > BytesLeft()) {
        m_ok = false;
        return {};
    }
    std::vector<uint8_t> raw(static_cast<size_t>(bytes));
    if (!ReadBytes(raw.data(), raw.size())) return {};
    std::u16string text;
    if (wide) {
        text.resize(length);
        for (size_t i = 0; i < length; ++i)
            text[i] = static_cast<char16_t>(LoadU16(&raw[2 * i]));
        return text;
    }
    if (raw.empty()) return text;
    if (!m_decode || !m_decode(raw.data(), raw.size(), text)) {
        m_ok = false;
        return {};
    }
    return text;
}

void SerialArchive::WriteBytes(const uint8_t* p, size_t n)
{
    if (!m_ok || !IsStoring()) {
        m_ok = false;
        return;
    }
    while (n != 0) {
        if (m_bufPos == BUFFER_SIZE && !Flush()) return;
        size_t take = std::min(n, BUFFER_SIZE - m_bufPos);
        std::memcpy(m_buf + m_bufPos, p, take);
        m_bufPos += take;
        p += take;
        n -= take;
    }
}

void SerialArchive::WriteU16(uint16_t v)
{
    uint8_t b[2];
    StoreU16(b, v);
    WriteBytes(b, 2);
}

void SerialArchive::WriteU32(uint32_t v)
{
    uint8_t b[4];
    StoreU32(b, v);
    WriteBytes(b, 4);
}

void SerialArchive::WriteString(std::u16string_view text)
{
    WriteU8(0xFF);
    WriteU16(0xFFFE);
    size_t n = text.size();
    if (n < 0xFF) {
        WriteU8(static_cast<uint8_t>(n));
    } else if (n < 0xFFFE) {
        WriteU8(0xFF);
        WriteU16(static_cast<uint16_t>(n));
    } else {
        WriteU8(0xFF);
        WriteU16(0xFFFF);
        WriteU32(static_cast<uint32_t>(n));
    }
    uint8_t chunk[512];
    size_t done = 0;
    while (done < n) {
        size_t take = std::min(n - done, sizeof chunk / 2);
        for (size_t i = 0; i < take; ++i)
            StoreU16(chunk + 2 * i, static_cast<uint16_t>(text[done + i]));
        WriteBytes(chunk, 2 * take);
        done += take;
    }
}

bool SerialArchive::Flush()
{
    if (!m_ok || !IsStoring()) return false;
    if (m_bufPos != 0 && !m_sink->Write(m_buf, m_bufPos)) m_ok = false;
    m_bufPos = 0;
    return m_ok;
}

} // namespace zk
