#include "core/read_ahead.h"

#include <new>

namespace zk {

std::unique_ptr<SourceReadAhead> SourceReadAhead::Create(uint32_t blockSize, uint32_t slots)
{
    if (blockSize == 0 || slots < 3) return nullptr;
    std::unique_ptr<SourceReadAhead> ahead(new (std::nothrow) SourceReadAhead(blockSize, slots));
    if (!ahead) return nullptr;
    ahead->m_pBlocks.reset(new (std::nothrow) uint8_t[static_cast<size_t>(blockSize) * slots]);
    if (!ahead->m_pBlocks) return nullptr;
    for (uint32_t i = 0; i < slots; ++i)
        ahead->m_free.Push(i);
    try {
        ahead->m_thread = std::thread([p = ahead.get()] { p->Run(); });
    } catch (...) {
        return nullptr;
    }
    return ahead;
}

SourceReadAhead::SourceReadAhead(uint32_t blockSize, uint32_t slots)
    : m_nBlockSize(blockSize), m_nSlots(slots), m_free(slots), m_filled(slots)
{
    m_held.reserve(2);
}

SourceReadAhead::~SourceReadAhead()
{
    Finish();
    m_jobs.Close();
    if (m_thread.joinable()) m_thread.join();
}

void SourceReadAhead::Run()
{
    Job job;
    while (m_jobs.Pop(job)) {
        ReadEntry(job);
        m_done.Push(1);
    }
}

void SourceReadAhead::ReadEntry(const Job& job)
{
    uint64_t total = 0;
    for (;;) {
        Piece piece;
        if (!m_free.Pop(piece.nSlot, job.pCancel)) return;
        uint8_t* dst = Slot(piece.nSlot);
        const int64_t n = ReadSourcePiece(*job.pSource, dst, m_nBlockSize);
        if (n < 0) {
            piece.nBytes = -1;
            piece.strFailure = job.pSource->LastErrorText();
        } else {
            total += static_cast<uint64_t>(n);
            piece.nBytes = n;
            if (total > job.nExpected || (n < m_nBlockSize && total != job.nExpected)) {
                piece.nBytes = -1;
                piece.strFailure = TEXT_SOURCE_SIZE_CHANGED;
            } else if (n > 0 && job.pHash && job.pHash->Update(dst, static_cast<uint32_t>(n)) != 0) {
                piece.nBytes = -1;
                piece.strFailure = job.pHash->LastErrorText();
            }
        }
        // The LZ4 encoder reads once more after a short piece and ends its
        // stream at the empty read; Deflate ends at the short piece and
        // simply never takes the empty one.
        const bool last = piece.nBytes <= 0;
        if (!m_filled.Push(std::move(piece), job.pCancel) || last) return;
    }
}

void SourceReadAhead::Start(IByteFile* source, IFileHash* hash, uint64_t expectedSize,
                            const CancelFlag* cancel)
{
    Finish();
    m_pCancel = cancel;
    m_bRunning = true;
    m_jobs.Push(Job{source, hash, expectedSize, cancel});
}

int64_t SourceReadAhead::Next(const uint8_t** bytes, std::u16string* failure)
{
    failure->clear();
    if (!m_bRunning) return -1;
    if (m_held.size() == 2) {
        m_free.Push(m_held.front());
        m_held.erase(m_held.begin());
    }
    Piece piece;
    if (!m_filled.Pop(piece, m_pCancel)) return -1;
    m_held.push_back(piece.nSlot);
    if (piece.nBytes < 0) {
        *failure = std::move(piece.strFailure);
        return -1;
    }
    *bytes = Slot(piece.nSlot);
    return piece.nBytes;
}

void SourceReadAhead::Finish()
{
    if (!m_bRunning) return;
    // Closing both queues wakes the reader wherever it waits; it ends the
    // entry after the read or hash step it is in.
    m_free.Close();
    m_filled.Close();
    int done = 0;
    m_done.Pop(done);
    m_free.Reopen();
    m_filled.Reopen();
    for (uint32_t i = 0; i < m_nSlots; ++i)
        m_free.Push(i);
    m_held.clear();
    m_bRunning = false;
}

} // namespace zk
