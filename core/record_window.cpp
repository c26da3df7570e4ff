#include "core/record_window.h"

#include <algorithm>
#include <cstring>

namespace zk {

namespace {

// Largest piece handed to the file in one call (its counts are 32-bit).
constexpr size_t FILE_CALL_MAX = 1u << 30;

} // namespace

RecordWindow::RecordWindow(IByteFile& file, uint64_t fileSize, uint32_t capacity, uint32_t jumpBytes)
    : m_file(file), m_buffer(std::max<uint32_t>(capacity, 1)),
      m_nJumpBytes(std::clamp<uint32_t>(jumpBytes, 1, std::max<uint32_t>(capacity, 1))), m_nFileSize(fileSize)
{
}

uint64_t RecordWindow::Size() const
{
    return std::max(m_nFileSize, m_nBase + m_nHeld);
}

bool RecordWindow::Covers(uint64_t pos, size_t count) const
{
    return pos >= m_nBase && count <= m_nHeld && pos - m_nBase <= m_nHeld - count;
}

bool RecordWindow::ReadFile(uint64_t pos, uint8_t* dst, size_t count, size_t* got)
{
    *got = 0;
    if (pos >= m_nFileSize || count == 0) return true;
    if (!m_file.SeekTo(pos)) return false;
    while (*got < count) {
        const int64_t n =
            m_file.Read(dst + *got, static_cast<uint32_t>(std::min(count - *got, FILE_CALL_MAX)));
        if (n < 0) return false;
        if (n == 0) break;
        *got += static_cast<size_t>(n);
    }
    return true;
}

bool RecordWindow::WriteFile(uint64_t pos, const uint8_t* src, size_t count)
{
    // Bytes skipped past the end read back as zeros, as with a file
    // written after a seek beyond its end.
    if (pos > m_nFileSize) {
        if (!m_file.SeekTo(m_nFileSize)) return false;
        static const uint8_t zeros[4096] = {};
        while (m_nFileSize < pos) {
            const uint64_t gap = std::min<uint64_t>(pos - m_nFileSize, sizeof zeros);
            const int64_t n = m_file.Write(zeros, static_cast<uint32_t>(gap));
            if (n <= 0) return false;
            m_nFileSize += static_cast<uint64_t>(n);
        }
    }
    if (!m_file.SeekTo(pos)) return false;
    size_t done = 0;
    while (done < count) {
        const size_t piece = std::min(count - done, FILE_CALL_MAX);
        const int64_t n = m_file.Write(src + done, static_cast<uint32_t>(piece));
        // A short write that makes no progress is a full disk, whatever the
        // file says about it; a count beyond the piece is no success either.
        if (n <= 0 || static_cast<uint64_t>(n) > piece) return false;
        done += static_cast<size_t>(n);
    }
    m_nFileSize = std::max(m_nFileSize, pos + count);
    return true;
}

bool RecordWindow::Flush()
{
    if (!m_bDirty) return true;
    if (!WriteFile(m_nBase, m_buffer.data(), m_nHeld)) return false;
    m_bDirty = false;
    return true;
}

bool RecordWindow::Load(uint64_t pos, size_t need)
{
    // Going on from the bytes held (a walk in record order, a record that
    // crosses the window's end) takes a whole window; a jump takes a piece.
    const bool onward = pos >= m_nBase && pos - m_nBase <= m_nHeld;
    if (!Flush()) return false;
    const size_t want = onward ? m_buffer.size() : std::max<size_t>(m_nJumpBytes, need);
    m_nBase = pos;
    m_nHeld = 0;
    return ReadFile(pos, m_buffer.data(), want, &m_nHeld);
}

int64_t RecordWindow::Read(void* dst, size_t count)
{
    if (count == 0) return 0;
    uint8_t* out = static_cast<uint8_t*>(dst);
    if (count > m_buffer.size()) {
        // More than the window holds: straight from the file, once it has
        // every byte written so far.
        size_t got = 0;
        if (!Flush() || !ReadFile(m_nPos, out, count, &got)) return -1;
        m_nPos += got;
        return static_cast<int64_t>(got);
    }
    if (!Covers(m_nPos, count) && !Load(m_nPos, count)) return -1;
    // After a load the window starts at the position; it may hold less than
    // asked only at the end of the file.
    const size_t from = static_cast<size_t>(m_nPos - m_nBase);
    const size_t n = std::min(count, m_nHeld - from);
    std::memcpy(out, m_buffer.data() + from, n);
    m_nPos += n;
    return static_cast<int64_t>(n);
}

bool RecordWindow::Write(const void* src, size_t count)
{
    if (count == 0) return true;
    const uint8_t* in = static_cast<const uint8_t*>(src);
    if (count > m_buffer.size()) {
        if (!Flush() || !WriteFile(m_nPos, in, count)) return false;
        // The bytes held may lie under what was just written: none are kept.
        m_nPos += count;
        m_nBase = m_nPos;
        m_nHeld = 0;
        return true;
    }
    const bool fits =
        m_nPos >= m_nBase && m_nPos - m_nBase <= m_nHeld && m_nPos - m_nBase + count <= m_buffer.size();
    if (!fits && !Load(m_nPos, 0)) return false;
    const size_t from = static_cast<size_t>(m_nPos - m_nBase);
    std::memcpy(m_buffer.data() + from, in, count);
    m_nHeld = std::max(m_nHeld, from + count);
    m_bDirty = true;
    m_nPos += count;
    return true;
}

} // namespace zk
