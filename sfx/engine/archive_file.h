#pragma once
// The extractor's reads from the archive's first file: a byte source for the
// format's readers, and the Windows side of the volume files.

#include <cstdint>
#include <memory>
#include <string>

#include "core/archive_format.h"
#include "core/record_window.h"
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

// Info records read through a window over an open archive handle (not
// owned): the records of a walk lie one after the other, so that thousands
// of entries cost a few reads instead of several calls each.
class InfoTableReader {
public:
    InfoTableReader() = default;
    InfoTableReader(SysHandle h, uint64_t fileSize) { Attach(h, fileSize); }
    // Reads through h from now on, up to fileSize; bytes held from another
    // handle are dropped.
    void Attach(SysHandle h, uint64_t fileSize);
    // Drops the window: its handle was closed, and a handle opened later may
    // have the same value.
    void Forget();
    SysHandle Handle() const { return m_h; }
    RecordWindow& Window() { return *m_pWindow; }

private:
    SysHandle m_h = nullptr;
    std::unique_ptr<IByteFile> m_pFile;
    std::unique_ptr<RecordWindow> m_pWindow;
};

} // namespace zk
