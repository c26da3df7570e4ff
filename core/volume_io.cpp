#include "core/volume_io.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace zk {

std::u16string VolumeName(const std::u16string& archivePath, uint32_t k)
{
    if (k == 0) return archivePath;
    std::u16string digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + k % 10));
        k /= 10;
    } while (k != 0);
    return archivePath + u"." + digits;
}

namespace {

constexpr uint64_t POSITION_UNKNOWN = UINT64_MAX;

// A volume lent out by the cache, which keeps it open, knows where it
// stands and holds the bytes read ahead. Each lender has its own position,
// starting at 0 as a fresh open does; the kept file moves only when a read
// needs bytes the buffer does not hold.
class BorrowedFile : public IByteFile {
public:
    explicit BorrowedFile(CachedVolumeFiles::Kept& kept) : m_kept(kept), m_nOpening(kept.m_nOpening) {}
    int64_t Read(void* dst, uint32_t count) override
    {
        if (!Current()) return -1;
        CachedVolumeFiles::Kept& k = m_kept;
        if (count == 0) return 0;
        if (!InBuffer()) {
            if (count >= k.m_buffer.size()) { // as large as the buffer: straight to the caller
                if (!MoveFile()) return -1;
                return Advance(k.m_pFile->Read(dst, count));
            }
            if (!MoveFile()) return -1;
            const int64_t n = k.m_pFile->Read(k.m_buffer.data(), static_cast<uint32_t>(k.m_buffer.size()));
            k.m_nBuffered = 0;
            if (n < 0) {
                k.m_nFilePosition = POSITION_UNKNOWN;
                return -1;
            }
            k.m_nBufferStart = m_nPosition;
            k.m_nBuffered = static_cast<uint32_t>(n);
            k.m_nFilePosition += static_cast<uint64_t>(n);
            if (n == 0) return 0;
        }
        const uint32_t skip = static_cast<uint32_t>(m_nPosition - k.m_nBufferStart);
        const uint32_t n = std::min(count, k.m_nBuffered - skip);
        std::memcpy(dst, k.m_buffer.data() + skip, n);
        m_nPosition += n;
        return n;
    }
    int64_t Write(const void* src, uint32_t count) override
    {
        if (!Current()) return -1;
        m_kept.m_nBuffered = 0;
        if (!MoveFile()) return -1;
        return Advance(m_kept.m_pFile->Write(src, count));
    }
    bool SeekTo(uint64_t pos) override
    {
        if (!Current()) return false;
        m_nPosition = pos;
        return InBuffer() || MoveFile();
    }
    std::u16string LastErrorText() const override
    {
        return m_kept.m_pFile ? m_kept.m_pFile->LastErrorText() : std::u16string();
    }

private:
    // False once the cache has closed or replaced the volume this was lent.
    bool Current() const { return m_kept.m_pFile && m_kept.m_nOpening == m_nOpening; }
    bool InBuffer() const
    {
        const CachedVolumeFiles::Kept& k = m_kept;
        return m_nPosition >= k.m_nBufferStart && m_nPosition - k.m_nBufferStart < k.m_nBuffered;
    }
    // Brings the kept file to this lender's position.
    bool MoveFile()
    {
        CachedVolumeFiles::Kept& k = m_kept;
        if (k.m_nFilePosition == m_nPosition) return true;
        const bool moved = k.m_pFile->SeekTo(m_nPosition);
        k.m_nFilePosition = moved ? m_nPosition : POSITION_UNKNOWN;
        return moved;
    }
    int64_t Advance(int64_t done)
    {
        CachedVolumeFiles::Kept& k = m_kept;
        if (done < 0) {
            k.m_nFilePosition = POSITION_UNKNOWN;
            return done;
        }
        k.m_nFilePosition += static_cast<uint64_t>(done);
        m_nPosition += static_cast<uint64_t>(done);
        return done;
    }

    CachedVolumeFiles::Kept& m_kept;
    const uint64_t m_nOpening; // which opening of the kept volume was lent
    uint64_t m_nPosition = 0;
};

} // namespace

CachedVolumeFiles::CachedVolumeFiles(std::unique_ptr<IVolumeFiles> inner, uint32_t readAhead)
    : m_pInner(std::move(inner))
{
    m_kept.m_buffer.resize(readAhead);
}

CachedVolumeFiles::~CachedVolumeFiles() = default;

std::unique_ptr<IByteFile> CachedVolumeFiles::CreateVolume(const std::u16string& path)
{
    if (m_kept.m_pFile && path == m_strOpenPath) Release();
    return m_pInner->CreateVolume(path);
}

std::unique_ptr<IByteFile> CachedVolumeFiles::OpenVolume(const std::u16string& path)
{
    if (!m_kept.m_pFile || path != m_strOpenPath) {
        Release();
        m_kept.m_pFile = m_pInner->OpenVolume(path);
        if (!m_kept.m_pFile) return nullptr;
        m_strOpenPath = path;
        m_kept.m_nFilePosition = 0;
        ++m_kept.m_nOpening;
    }
    return std::make_unique<BorrowedFile>(m_kept);
}

void CachedVolumeFiles::Release()
{
    m_kept.m_pFile.reset();
    m_kept.m_nBuffered = 0;
    m_strOpenPath.clear();
}

void WrittenMark::Publish(uint64_t streamBytes)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_nBytes.store(streamBytes, std::memory_order_release);
    }
    m_changed.notify_all();
}

bool WrittenMark::WaitFor(uint64_t end, const std::atomic<uint8_t>* stop) const
{
    if (Get() >= end) return true;
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        if (stop && stop->load(std::memory_order_relaxed) != 0) return false;
        if (Get() >= end) return true;
        m_changed.wait_for(lock, std::chrono::milliseconds(5));
    }
}

void VolumeWriter::Start(const VolumeSet& set, IByteFile* volume0, FailureInfo* failure)
{
    m_set = set;
    m_pVolume0 = volume0;
    m_pCurrentVolume.reset();
    m_nVolumeIndex = 0;
    m_nVolumeLimit = set.m_nVolumeSize;
    m_nStreamBytes = 0;
    m_nBuffered = 0;
    m_pFailure = failure;
}

namespace {

// Writes all of count bytes to the current volume or records why not. The
// stream count is the caller's.
bool WriteThrough(VolumeWriter& w, const uint8_t* bytes, size_t count)
{
    IByteFile* file = w.Current();
    while (count != 0 && file) {
        const uint32_t piece = static_cast<uint32_t>(std::min<size_t>(count, UINT32_MAX));
        if (file->Write(bytes, piece) != static_cast<int64_t>(piece)) break;
        bytes += piece;
        count -= piece;
    }
    if (count == 0) return true;
    if (w.m_pFailure)
        w.m_pFailure->Set(VolumeName(w.m_set.m_strArchivePath, w.m_nVolumeIndex),
                          file ? file->LastErrorText() : std::u16string());
    return false;
}

// Every byte counted is now in its file: the reader behind may have them.
void Published(VolumeWriter& w)
{
    if (w.m_pWritten) w.m_pWritten->Publish(w.m_nStreamBytes);
}

// Appends count bytes to the current volume, through the buffer when there
// is one: a piece that does not fit flushes it first, and a piece as large
// as the buffer goes straight to the file.
bool Append(VolumeWriter& w, const uint8_t* bytes, uint32_t count)
{
    if (count == 0) return true;
    const size_t capacity = w.m_buffer.size();
    if (w.m_nBuffered + count > capacity && FlushStream(w) != 0) return false;
    if (count < capacity) {
        std::memcpy(w.m_buffer.data() + w.m_nBuffered, bytes, count);
        w.m_nBuffered += count;
        w.m_nStreamBytes += count;
        return true;
    }
    if (!WriteThrough(w, bytes, count)) return false;
    w.m_nStreamBytes += count;
    Published(w);
    return true;
}

} // namespace

int FlushStream(VolumeWriter& w)
{
    if (w.m_nBuffered == 0) return 0;
    const size_t count = w.m_nBuffered;
    w.m_nBuffered = 0;
    if (!WriteThrough(w, w.m_buffer.data(), count)) return 1;
    Published(w);
    return 0;
}

int WriteStream(VolumeWriter& w, const uint8_t* bytes, uint32_t count)
{
    const uint64_t s = w.m_set.m_nVolumeSize;
    if (s == 0) return Append(w, bytes, count) ? 0 : 1;

    for (;;) {
        const uint64_t next = w.m_set.m_nDataOffset + w.m_nStreamBytes;
        if (next > w.m_nVolumeLimit) {
            // The head overran volume 0; every later position would be off.
            if (w.m_pFailure) w.m_pFailure->Set(VolumeName(w.m_set.m_strArchivePath, w.m_nVolumeIndex), u"");
            return 1;
        }
        const uint64_t room = w.m_nVolumeLimit - next;
        if (count <= room) return Append(w, bytes, count) ? 0 : 1;

        const uint32_t first = static_cast<uint32_t>(room);
        // The volume is complete: nothing of it may stay in the buffer once
        // the next one is current.
        if (!Append(w, bytes, first) || FlushStream(w) != 0) return 1;
        bytes += first;
        count -= first;

        w.m_pCurrentVolume.reset();
        ++w.m_nVolumeIndex;
        const std::u16string name = VolumeName(w.m_set.m_strArchivePath, w.m_nVolumeIndex);
        w.m_pCurrentVolume = w.m_set.m_pFiles ? w.m_set.m_pFiles->CreateVolume(name) : nullptr;
        if (!w.m_pCurrentVolume) {
            if (w.m_pFailure)
                w.m_pFailure->Set(name, w.m_set.m_pFiles ? w.m_set.m_pFiles->LastErrorText() : u"");
            return 1;
        }
        w.m_nVolumeLimit = static_cast<uint64_t>(w.m_nVolumeIndex + 1ull) * s;
    }
}

SpannedReader::SpannedReader(const VolumeSet& set, uint32_t startVolume, uint64_t entryOffset,
                             uint64_t storedSize, FailureInfo* failure)
    : m_set(set),
      // Without volumes there is only the archive file, whatever the record says.
      m_nVolume(set.m_nVolumeSize == 0 ? 0 : startVolume), m_nEntryOffset(entryOffset),
      m_nStoredSize(storedSize), m_nRemaining(storedSize), m_pFailure(failure)
{
}

void SpannedReader::Fail(const std::u16string& path, const std::u16string& message)
{
    m_pVolume.reset();
    if (m_pFailure) m_pFailure->Set(path, message);
}

bool SpannedReader::OpenCurrent(bool seek)
{
    m_strVolumeName = VolumeName(m_set.m_strArchivePath, m_nVolume);
    m_pVolume = m_set.m_pFiles ? m_set.m_pFiles->OpenVolume(m_strVolumeName) : nullptr;
    if (!m_pVolume) {
        Fail(m_strVolumeName, m_set.m_pFiles ? m_set.m_pFiles->LastErrorText() : u"");
        return false;
    }
    m_nVolumeLeft = m_set.m_nVolumeSize;
    if (!seek) return true;

    // The record's start volume comes from the archive: it must lie at or
    // before the entry's first byte, and within 64 bits.
    const uint64_t virt = m_set.m_nDataOffset + m_nEntryOffset;
    const uint64_t base = static_cast<uint64_t>(m_nVolume) * m_set.m_nVolumeSize;
    if (virt < m_set.m_nDataOffset || virt < base ||
        (m_set.m_nVolumeSize != 0 && virt - base >= m_set.m_nVolumeSize)) {
        Fail(m_strVolumeName, u"");
        return false;
    }
    if (m_set.m_nVolumeSize != 0) m_nVolumeLeft = m_set.m_nVolumeSize - (virt - base);
    if (!m_pVolume->SeekTo(virt - base)) {
        Fail(m_strVolumeName, m_pVolume->LastErrorText());
        return false;
    }
    return true;
}

int SpannedReader::Read(uint8_t* dst, uint32_t count)
{
    return ReadSpanned(*this, dst, count);
}

int ReadSpanned(SpannedReader& r, uint8_t* dst, uint32_t count)
{
    if (count > r.m_nRemaining) {
        r.Fail(VolumeName(r.m_set.m_strArchivePath, r.m_nVolume), u"");
        return 1;
    }
    if (r.m_pWritten) {
        const uint64_t end = r.m_nEntryOffset + (r.m_nStoredSize - r.m_nRemaining) + count;
        if (!r.m_pWritten->WaitFor(end, r.m_pStop)) return 1;
    }
    if (!r.m_pVolume && !r.OpenCurrent(true)) return 1;

    uint32_t done = 0;
    bool freshVolume = false;
    const bool split = r.m_set.m_nVolumeSize != 0;
    while (done < count) {
        uint32_t want = count - done;
        if (split && r.m_nVolumeLeft < want) want = static_cast<uint32_t>(r.m_nVolumeLeft);
        int64_t n = want == 0 ? 0 : r.m_pVolume->Read(dst + done, want);
        if (n < 0) {
            r.Fail(r.m_strVolumeName, r.m_pVolume->LastErrorText());
            return 1;
        }
        done += static_cast<uint32_t>(n);
        r.m_nRemaining -= static_cast<uint64_t>(n);
        if (split) r.m_nVolumeLeft -= static_cast<uint64_t>(n);
        if (done == count) break;
        if (n > 0) {
            freshVolume = false;
            continue; // a short read in the middle of a file: ask again
        }
        // End of this volume's bytes with bytes still wanted. Without
        // volumes, or when a freshly opened volume is already empty, the
        // stored data is cut.
        if (!split || freshVolume || r.m_nRemaining == 0) {
            r.Fail(r.m_strVolumeName, u"");
            return 1;
        }
        r.m_pVolume.reset();
        ++r.m_nVolume;
        if (!r.OpenCurrent(false)) return 1;
        freshVolume = true;
    }
    return 0;
}

} // namespace zk
