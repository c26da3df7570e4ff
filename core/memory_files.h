#pragma once
// Files held in memory, for the byte-level tests and the benchmarks: the same
// volume and source interfaces the Windows build implements with real files.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/volume_io.h"

namespace zk {

// One file: a byte string shared with whoever made it, a position, and
// optional faults (a read that fails once the position passes a point, a
// write that stops short once the file would grow beyond a size).
class MemoryFile : public IByteFile {
public:
    explicit MemoryFile(std::shared_ptr<std::vector<uint8_t>> data) : m_data(std::move(data)) {}

    int64_t Read(void* dst, uint32_t count) override;
    int64_t Write(const void* src, uint32_t count) override;
    bool SeekTo(uint64_t pos) override;
    std::u16string LastErrorText() const override { return m_strError; }

    // Reads fail once they would pass this position.
    void FailReadsAfter(uint64_t pos) { m_nFailReadAt = pos; }
    // Writes stop short at this file size.
    void LimitSize(uint64_t size) { m_nSizeLimit = size; }
    // Each read returns at most this many bytes.
    void LimitReadChunk(uint32_t n) { m_nReadChunk = n; }
    uint64_t Position() const { return m_nPos; }
    std::vector<uint8_t>& Data() { return *m_data; }
    // The bytes themselves, for another reader to share.
    const std::shared_ptr<std::vector<uint8_t>>& SharedData() const { return m_data; }
    // Calls so far, as a system file would make them.
    uint32_t ReadCount() const { return m_nReads; }
    uint32_t WriteCount() const { return m_nWrites; }

private:
    std::shared_ptr<std::vector<uint8_t>> m_data;
    uint64_t m_nPos = 0;
    uint64_t m_nFailReadAt = UINT64_MAX;
    uint64_t m_nSizeLimit = UINT64_MAX;
    uint32_t m_nReadChunk = UINT32_MAX;
    uint32_t m_nReads = 0;
    uint32_t m_nWrites = 0;
    std::u16string m_strError;
};

// A folder of files by name; CreateVolume replaces, OpenVolume needs an
// existing file.
class MemoryVolumeFiles : public IVolumeFiles {
public:
    std::unique_ptr<IByteFile> CreateVolume(const std::u16string& path) override;
    std::unique_ptr<IByteFile> OpenVolume(const std::u16string& path) override;
    std::u16string LastErrorText() const override { return m_strError; }

    // The file's bytes (created empty when missing).
    std::shared_ptr<std::vector<uint8_t>> File(const std::u16string& path);
    bool Exists(const std::u16string& path) const { return m_files.count(path) != 0; }
    void Remove(const std::u16string& path) { m_files.erase(path); }
    size_t Count() const { return m_files.size(); }
    // Creating this name fails.
    void RefuseCreate(const std::u16string& path) { m_strRefused = path; }
    // Every volume created from now on stops short at this size.
    void LimitCreatedSize(uint64_t size) { m_nCreatedLimit = size; }
    uint32_t OpenCount() const { return m_nOpens; }

private:
    std::map<std::u16string, std::shared_ptr<std::vector<uint8_t>>> m_files;
    std::u16string m_strRefused;
    std::u16string m_strError;
    uint64_t m_nCreatedLimit = UINT64_MAX;
    uint32_t m_nOpens = 0;
};

} // namespace zk
