#pragma once
// A window over a file of small records: reads, in-place rewrites and
// appends are served from one buffer that is filled and written back in
// large pieces. A tree of many small entries otherwise costs several system
// calls per record, which a compatibility layer makes far dearer than the
// bytes themselves.

#include <cstddef>
#include <cstdint>

#include "core/archive_format.h"
#include "core/raw_bytes.h"
#include "core/volume_io.h"

namespace zk {

// Bytes held at most: enough for thousands of records, small beside the
// pipeline's buffers.
constexpr uint32_t RECORD_WINDOW_BYTES = 262144;
// Bytes read when the window jumps elsewhere: a walk in record order then
// reads large pieces, while a reader sent around a file (a hostile table, a
// sorted listing) reads no more than a few records' worth per jump.
constexpr uint32_t RECORD_WINDOW_JUMP_BYTES = 8192;

// File-like access with a position of its own. The file is used only from
// here while the window lives (every call seeks it first); Flush writes back
// what the file lacks. Not thread-safe.
class RecordWindow : public ByteSource {
public:
    // file: not owned; fileSize: its size now.
    RecordWindow(IByteFile& file, uint64_t fileSize, uint32_t capacity = RECORD_WINDOW_BYTES,
                 uint32_t jumpBytes = RECORD_WINDOW_JUMP_BYTES);
    RecordWindow(const RecordWindow&) = delete;
    RecordWindow& operator=(const RecordWindow&) = delete;

    uint64_t Position() const { return m_nPos; }
    void Seek(uint64_t pos) { m_nPos = pos; }
    // The file's size including bytes not written back yet.
    uint64_t Size() const;

    // Bytes read from the position (fewer at the end of the file), or -1
    // when the file failed.
    int64_t Read(void* dst, size_t count);
    // Reads exactly n bytes; false when fewer were there or the file failed.
    bool ReadExact(uint8_t* dst, size_t n) override { return Read(dst, n) == static_cast<int64_t>(n); }
    // Writes at the position, over the records there or past the end. False
    // when the file failed; a buffered write fails at the write-back, the
    // next call that needs the window elsewhere or Flush.
    bool Write(const void* src, size_t count);
    // Writes back whatever the file does not hold yet. False on failure (the
    // bytes stay held, so that a later Flush tries again).
    bool Flush();

private:
    bool Covers(uint64_t pos, size_t count) const;
    // Writes back, then holds the file's bytes from pos on, at least need of
    // them where the file has them (need is at most the capacity).
    bool Load(uint64_t pos, size_t need);
    bool ReadFile(uint64_t pos, uint8_t* dst, size_t count, size_t* got);
    bool WriteFile(uint64_t pos, const uint8_t* src, size_t count);

    IByteFile& m_file;
    RawBytes m_buffer;
    uint32_t m_nJumpBytes;
    uint64_t m_nFileSize;  // bytes the file itself holds
    uint64_t m_nBase = 0;  // file position of m_buffer[0]
    size_t m_nHeld = 0;    // valid bytes from m_nBase on
    bool m_bDirty = false; // the held bytes differ from the file's
    uint64_t m_nPos = 0;
};

} // namespace zk
