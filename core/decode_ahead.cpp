#include "core/decode_ahead.h"

#include <chrono>
#include <cstring>
#include <new>

namespace zk {

namespace {

// Neither side waits longer than this without looking at the abort flag,
// which the window sets without telling anybody.
constexpr std::chrono::milliseconds POLL{5};

} // namespace

// What a job puts goes into the ring, cut into pieces of at most a block.
class DecodeAhead::RingSink : public IDecodeSink {
public:
    RingSink(DecodeAhead& owner, uint64_t entry) : m_owner(owner), m_nEntry(entry) {}
    int Put(const uint8_t* bytes, uint32_t count) override
    {
        while (count > 0) {
            const uint32_t n = count < m_owner.m_nBlockSize ? count : m_owner.m_nBlockSize;
            Piece piece;
            if (!m_owner.Reserve(m_nEntry, n, &piece)) return 1;
            std::memcpy(m_owner.m_pRing.get() + piece.nOffset, bytes, n);
            m_owner.Publish(piece);
            bytes += n;
            count -= n;
        }
        return 0;
    }

private:
    DecodeAhead& m_owner;
    const uint64_t m_nEntry;
};

DecodeAhead::DecodeAhead(uint32_t blockSize, uint32_t blocks, uint32_t entries,
                         const std::atomic<int32_t>* abort)
    : m_nBlockSize(blockSize), m_nRingSize(blockSize * blocks), m_nEntries(entries), m_pAbort(abort)
{
}

std::unique_ptr<DecodeAhead> DecodeAhead::Create(uint32_t blockSize, uint32_t blocks, uint32_t entries,
                                                 const std::atomic<int32_t>* abort)
{
    if (blockSize == 0 || blocks == 0 || entries == 0 || blocks > UINT32_MAX / blockSize) return nullptr;
    std::unique_ptr<DecodeAhead> ahead(new (std::nothrow) DecodeAhead(blockSize, blocks, entries, abort));
    if (!ahead) return nullptr;
    ahead->m_pRing.reset(new (std::nothrow) uint8_t[ahead->m_nRingSize]);
    if (!ahead->m_pRing) return nullptr;
    try {
        ahead->m_thread = std::thread([p = ahead.get()] { p->Run(); });
    } catch (...) {
        return nullptr;
    }
    return ahead;
}

DecodeAhead::~DecodeAhead()
{
    Stop();
}

void DecodeAhead::Add(Job job)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_jobs.emplace_back(m_nNextEntry++, std::move(job));
    m_changed.notify_all();
}

void DecodeAhead::Run()
{
    for (;;) {
        std::pair<uint64_t, Job> job;
        {
            std::unique_lock<std::mutex> lock(m_lock);
            m_changed.wait(lock, [this] { return m_bStop || !m_jobs.empty(); });
            if (m_bStop) return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
            // Skipped before it began.
            if (job.first < m_nWanted) continue;
        }
        RingSink sink(*this, job.first);
        int result = JOB_THREW;
        try {
            result = job.second(sink);
        } catch (...) {
        }
        job.second = nullptr;
        std::lock_guard<std::mutex> lock(m_lock);
        if (job.first >= m_nWanted && !m_bStop) {
            Piece end;
            end.nEntry = job.first;
            end.bEnd = true;
            end.nResult = result;
            m_pieces.push_back(end);
            m_changed.notify_all();
        }
    }
}

bool DecodeAhead::Reserve(uint64_t entry, uint32_t count, Piece* piece)
{
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        if (m_bStop || entry < m_nWanted || Aborted()) return false;
        if (m_nUsed == 0) m_nHead = 0;
        // A piece is never split at the ring's end: the room left there
        // goes with it and comes back when it is delivered.
        const bool wrap = m_nHead + count > m_nRingSize;
        const uint32_t gap = wrap ? m_nRingSize - m_nHead : 0;
        if (m_nRingSize - m_nUsed >= gap + count) {
            piece->nEntry = entry;
            piece->nOffset = wrap ? 0 : m_nHead;
            piece->nBytes = count;
            piece->nCharge = gap + count;
            m_nHead = piece->nOffset + count;
            m_nUsed += piece->nCharge;
            return true;
        }
        m_changed.wait_for(lock, POLL);
    }
}

void DecodeAhead::Publish(const Piece& piece)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_pieces.push_back(piece);
    m_changed.notify_all();
}

void DecodeAhead::Release(const Piece& piece)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_nUsed -= piece.nCharge;
    m_changed.notify_all();
}

void DecodeAhead::DropFront()
{
    ++m_nFront;
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_nWanted < m_nFront) m_nWanted = m_nFront;
    m_changed.notify_all();
}

DecodeAhead::DeliverResult DecodeAhead::Deliver(IDecodeSink& sink, int* result)
{
    if (Waiting() == 0) return DELIVER_CANCELLED;
    const uint64_t entry = m_nFront;
    for (;;) {
        Piece piece;
        {
            std::unique_lock<std::mutex> lock(m_lock);
            for (;;) {
                if (m_bStop || Aborted()) {
                    lock.unlock();
                    DropFront();
                    return DELIVER_CANCELLED;
                }
                if (!m_pieces.empty()) break;
                m_changed.wait_for(lock, POLL);
            }
            piece = m_pieces.front();
            m_pieces.pop_front();
        }
        // Left behind by an entry skipped while it was being decoded.
        if (piece.nEntry < entry) {
            Release(piece);
            continue;
        }
        if (piece.bEnd) {
            ++m_nFront;
            *result = piece.nResult;
            return DELIVER_DONE;
        }
        const int refused = sink.Put(m_pRing.get() + piece.nOffset, piece.nBytes);
        Release(piece);
        if (refused) {
            DropFront();
            return DELIVER_REFUSED;
        }
    }
}

void DecodeAhead::Skip()
{
    if (Waiting() > 0) DropFront();
}

void DecodeAhead::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_bStop = true;
        m_changed.notify_all();
    }
    if (m_thread.joinable()) m_thread.join();
}

} // namespace zk
