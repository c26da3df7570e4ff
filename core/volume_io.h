#pragma once
// The data stream of an archive, cut into volume files of equal size.
//
// Volume 0 is the archive file itself; volume k >= 1 is "<archive path>.<k>".
// A virtual position counts from the first byte of volume 0 (the extractor
// program in front of a self-extracting archive included); volume k holds the
// positions k*S .. (k+1)*S - 1, and every volume but the last holds exactly S
// bytes. S = 0 means the archive is not split.
//
// Only WriteStream and ReadSpanned cross volume boundaries; the head of the
// archive (header, parameters, tables) always lies in volume 0 and is written
// and read there directly.
//
// The code here is byte-level: files are reached through IByteFile and
// IVolumeFiles, which the Windows build implements with the file wrappers and
// the tests with memory.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zk {

// An open file. Counts are bytes; Read returns 0 only at the end of the file.
class IByteFile {
public:
    virtual ~IByteFile() = default;
    // Bytes read (0 at the end of the file), or -1 when the read failed.
    virtual int64_t Read(void* dst, uint32_t count) = 0;
    // Bytes written, or -1 when the write failed.
    virtual int64_t Write(const void* src, uint32_t count) = 0;
    // True when the file position is now exactly pos.
    virtual bool SeekTo(uint64_t pos) = 0;
    // System text of this file's last failure (empty when there is none).
    virtual std::u16string LastErrorText() const = 0;
};

// Creates and opens the volume files of one archive.
class IVolumeFiles {
public:
    virtual ~IVolumeFiles() = default;
    // Creates the file (replacing an existing one) for reading and writing,
    // others may read. Null on failure.
    virtual std::unique_ptr<IByteFile> CreateVolume(const std::u16string& path) = 0;
    // Opens an existing file for reading, others may read and write. Null on
    // failure.
    virtual std::unique_ptr<IByteFile> OpenVolume(const std::u16string& path) = 0;
    // System text of the last failed CreateVolume / OpenVolume.
    virtual std::u16string LastErrorText() const = 0;
};

// Keeps the volume read last open for the next reader: a tree of small
// files would otherwise open and close the archive once per entry, which
// under a compatibility layer costs more than the data. A volume comes back
// at its start, as a fresh open gives it. A move to where the file already
// stands (the next entry usually starts where the last one ended) costs no
// system call. With a read-ahead buffer, reads smaller than it go through
// it, so that entries in a row cost one system call per buffer rather than
// one per entry, and a move within the buffered bytes costs none either. The
// buffer holds whatever the file held when it was filled, so it is only for
// volumes nothing writes while they are read: a reader behind a writer must
// not see bytes the writer has not published. A volume that fails to open
// is not remembered, so asking again retries. Release() closes what is kept
// (before the volumes are renamed or deleted); creating the kept volume
// closes it too.
class CachedVolumeFiles : public IVolumeFiles {
public:
    // The read-ahead of an extraction, which only reads the archive.
    static constexpr uint32_t EXTRACT_READ_AHEAD = 256 * 1024;

    explicit CachedVolumeFiles(std::unique_ptr<IVolumeFiles> inner, uint32_t readAhead = 0);
    ~CachedVolumeFiles() override;
    std::unique_ptr<IByteFile> CreateVolume(const std::u16string& path) override;
    std::unique_ptr<IByteFile> OpenVolume(const std::u16string& path) override;
    std::u16string LastErrorText() const override { return m_pInner->LastErrorText(); }
    void Release();

    // The kept volume and what is known of it, shared with the file lent out.
    struct Kept {
        std::unique_ptr<IByteFile> m_pFile;
        uint64_t m_nFilePosition = 0; // where m_pFile stands; UINT64_MAX: not known
        std::vector<uint8_t> m_buffer;
        uint64_t m_nBufferStart = 0; // file position of m_buffer[0]
        uint32_t m_nBuffered = 0;    // bytes of m_buffer that hold the file
        uint64_t m_nOpening = 0;     // counts the opens, so that a file lent before is known
    };

private:
    std::unique_ptr<IVolumeFiles> m_pInner;
    Kept m_kept;
    std::u16string m_strOpenPath;
};

// What a failed operation leaves for the error log: the path concerned and
// the system's text for the failure.
struct FailureInfo {
    std::u16string m_strPath;
    std::u16string m_strMessage;

    void Set(const std::u16string& path, const std::u16string& message)
    {
        m_strPath = path;
        m_strMessage = message;
    }
};

// "%s.%d": the name of volume k >= 1; volume 0 is the archive path itself.
std::u16string VolumeName(const std::u16string& archivePath, uint32_t k);

// Where the data stream lies: enough to find any entry's stored bytes.
struct VolumeSet {
    IVolumeFiles* m_pFiles = nullptr;
    std::u16string m_strArchivePath;
    uint64_t m_nVolumeSize = 0; // S; 0 = not split
    uint64_t m_nDataOffset = 0; // D: virtual position of the stream's first byte
};

// How far the data stream has been written through to its files, for a
// reader on another thread that follows the writer: it reads no byte beyond
// the mark. The writer publishes only bytes it has handed to the system
// (never bytes still in its own buffer), so a byte below the mark is there
// for any other handle on the file. The mark only grows.
class WrittenMark {
public:
    void Publish(uint64_t streamBytes);
    uint64_t Get() const { return m_nBytes.load(std::memory_order_acquire); }
    // Waits until at least end bytes of the stream are written through,
    // looking at stop every few milliseconds. False when stop came first.
    bool WaitFor(uint64_t end, const std::atomic<uint8_t>* stop) const;

private:
    std::atomic<uint64_t> m_nBytes{0};
    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
};

// Writer state of one build. Volume 0 belongs to the build engine (it writes
// the head and the tables there too) and stays open for the whole build;
// later volumes are owned here, one at a time.
struct VolumeWriter {
    VolumeSet m_set;
    IByteFile* m_pVolume0 = nullptr;
    std::unique_ptr<IByteFile> m_pCurrentVolume; // volume >= 1, or null while writing volume 0
    uint32_t m_nVolumeIndex = 0;
    uint64_t m_nVolumeLimit = 0; // virtual position where the current volume ends
    uint64_t m_nStreamBytes = 0; // W: bytes of the data stream written so far
    FailureInfo* m_pFailure = nullptr;
    // Set: published after every write to a file, for a reader that
    // follows on another thread.
    WrittenMark* m_pWritten = nullptr;
    // Bytes of the current volume not yet written to it (only with a buffer,
    // UseBuffer). m_nStreamBytes counts them already.
    std::vector<uint8_t> m_buffer;
    size_t m_nBuffered = 0;

    // Sets the state for a stream that begins at D in volume 0. A head that
    // already fills volume 0 (D = S) is allowed: the first byte goes to volume 1.
    void Start(const VolumeSet& set, IByteFile* volume0, FailureInfo* failure);
    IByteFile* Current() const { return m_pCurrentVolume ? m_pCurrentVolume.get() : m_pVolume0; }
    // Collects small writes into writes of up to bytes each (0: every write
    // goes straight to the file). A tree of small files otherwise costs one
    // system call per entry. Whoever reads the volumes back, or writes
    // volume 0 directly, calls FlushStream first.
    void UseBuffer(size_t bytes)
    {
        m_buffer.assign(bytes, 0);
        m_nBuffered = 0;
    }
    // Closes the current volume unless it is volume 0. Bytes still buffered
    // are dropped (after a failure nothing more is written): FlushStream
    // first to keep them.
    void CloseExtraVolume()
    {
        m_pCurrentVolume.reset();
        m_nBuffered = 0;
    }
};

// Appends count bytes to the data stream, changing volumes as often as the
// write needs: every volume but the last receives exactly S bytes. A write that
// ends exactly at a volume's end does not create the next volume. Returns 0,
// or 1 after recording the failing volume's name (a short write, a volume that
// cannot be created). Files already written are never removed.
int WriteStream(VolumeWriter& writer, const uint8_t* bytes, uint32_t count);

// Writes the buffered bytes to the current volume. 0, or 1 after recording
// the volume's name as WriteStream does; the buffered bytes are dropped
// either way.
int FlushStream(VolumeWriter& writer);

// The next bytes of one entry's stored data, as the decoders take them.
class IStoredBytes {
public:
    virtual ~IStoredBytes() = default;
    // 0 when exactly count bytes were read, 1 otherwise.
    virtual int Read(uint8_t* dst, uint32_t count) = 0;
};

// Reader state for one entry: the open volume (kept between calls and closed
// when the reader goes away), the volume index and the stored bytes left.
// Read is ReadSpanned.
class SpannedReader : public IStoredBytes {
public:
    SpannedReader(const VolumeSet& set, uint32_t startVolume, uint64_t entryOffset, uint64_t storedSize,
                  FailureInfo* failure);

    int Read(uint8_t* dst, uint32_t count) override;
    uint64_t Remaining() const { return m_nRemaining; }
    uint32_t VolumeIndex() const { return m_nVolume; }
    void Close() { m_pVolume.reset(); }
    // Reads behind a writer on another thread: every read first waits until
    // the writer has written its bytes through. A stop while waiting fails
    // the read without recording anything.
    void FollowWriter(const WrittenMark* written, const std::atomic<uint8_t>* stop)
    {
        m_pWritten = written;
        m_pStop = stop;
    }

private:
    friend int ReadSpanned(SpannedReader& reader, uint8_t* dst, uint32_t count);
    bool OpenCurrent(bool seek);
    void Fail(const std::u16string& path, const std::u16string& message);

    const VolumeSet& m_set;
    std::unique_ptr<IByteFile> m_pVolume;
    std::u16string m_strVolumeName;
    uint32_t m_nVolume;
    uint64_t m_nEntryOffset;
    uint64_t m_nStoredSize;
    uint64_t m_nRemaining;
    // Bytes of the current volume's share of the stream still unread; a
    // volume file may go on beyond it (a signature appended to a signed
    // first volume), and those bytes are not stream data.
    uint64_t m_nVolumeLeft = 0;
    FailureInfo* m_pFailure;
    const WrittenMark* m_pWritten = nullptr;
    const std::atomic<uint8_t>* m_pStop = nullptr;
};

// Reads the next count bytes of the entry's stored data. A read that reaches
// the end of a volume's S bytes, or comes up short in one volume, goes on at
// the first byte of the next, as many times as needed. Returns 0 when exactly count bytes were read, 1 otherwise (asking for
// more than the entry has left fails before reading). An open, seek or read
// failure records the volume's name.
int ReadSpanned(SpannedReader& reader, uint8_t* dst, uint32_t count);

} // namespace zk
