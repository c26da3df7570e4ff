#include "core/block_encoders.h"

#include <chrono>
#include <cstring>
#include <new>

#include <lz4.h>
#include <lz4hc.h>
#include <zlib.h>

#include "core/archive_format.h"
#include "core/block_size.h"
#include "core/byte_io.h"

namespace zk {

namespace {

constexpr uint32_t LZ4_DICT_MAX = 65536;
// Blocks below this size, with no dictionary, fit LZ4's 16-bit table.
constexpr uint32_t LZ4_SMALL_BLOCK = 65536;
constexpr uint32_t DEFLATE_DICT_MAX = 32768;

// Room for either codec's worst case of one block: LZ4's bound and its
// record length; zlib's bound and a sync flush are smaller.
uint32_t OutputRoom(uint32_t blockSize)
{
    const uint32_t bound = Lz4OutputBound(blockSize);
    return bound == 0 ? 0 : bound + 4 + 64;
}

} // namespace

// One thread's compression state, made at its first use and kept.
class BlockCodec {
public:
    BlockCodec() = default;
    ~BlockCodec()
    {
        delete m_pFast;
        delete m_pHigh;
        if (m_pDeflate) {
            deflateEnd(m_pDeflate);
            delete m_pDeflate;
        }
    }
    BlockCodec(const BlockCodec&) = delete;
    BlockCodec& operator=(const BlockCodec&) = delete;

    void Run(BlockJob& job)
    {
        job.m_nOutputSize = 0;
        job.m_nAdler = 1;
        if (job.m_nMethod == METHOD_LZ4)
            job.m_nResult = Lz4(job);
        else if (job.m_nMethod == METHOD_DEFLATE)
            job.m_nResult = Deflate(job);
        else
            job.m_nResult = 1;
    }

private:
    // A state that could not be set up is not kept half made (1).
    template <class T> static int Drop(T*& state)
    {
        delete state;
        state = nullptr;
        return 1;
    }

    int Lz4(BlockJob& job)
    {
        const char* src = reinterpret_cast<const char*>(job.Input());
        const int dictSize =
            static_cast<int>(job.m_nDictSize < LZ4_DICT_MAX ? job.m_nDictSize : LZ4_DICT_MAX);
        const char* dict = src - dictSize;
        char* dst = reinterpret_cast<char*>(job.Output() + 4);
        const int room = static_cast<int>(job.m_nOutputRoom - 4);
        const int n = static_cast<int>(job.m_nInputSize);
        int c = 0;
        // Loading the dictionary resets the state in full, so nothing of the
        // block this thread compressed before reaches into this one.
        if (job.m_bHigh) {
            if (!m_pHigh) {
                m_pHigh = new (std::nothrow) LZ4_streamHC_t;
                if (!m_pHigh || !LZ4_initStreamHC(m_pHigh, sizeof(*m_pHigh))) return Drop(m_pHigh);
                // The level outlives every loading of a dictionary.
                LZ4_resetStreamHC(m_pHigh, LZ4_HIGH_LEVEL);
            }
            LZ4_loadDictHC(m_pHigh, dict, dictSize);
            c = LZ4_compress_HC_continue(m_pHigh, src, dst, n, room);
        } else {
            if (!m_pFast) {
                m_pFast = new (std::nothrow) LZ4_stream_t;
                if (!m_pFast || !LZ4_initStream(m_pFast, sizeof(*m_pFast))) return Drop(m_pFast);
            }
            if (dictSize == 0 && n < static_cast<int>(LZ4_SMALL_BLOCK)) {
                // A block with nothing before it that LZ4's 16-bit table
                // covers (most often a whole small file): compressed from a
                // state cleared for it alone, which LZ4 does several times
                // faster than a streaming call.
                c = LZ4_compress_fast_extState(m_pFast, src, dst, n, room, 1);
            } else {
                LZ4_loadDict(m_pFast, dict, dictSize);
                c = LZ4_compress_fast_continue(m_pFast, src, dst, n, room, 1);
            }
        }
        if (c <= 0) return 1;
        StoreU32(job.Output(), static_cast<uint32_t>(c));
        job.m_nOutputSize = 4 + static_cast<uint32_t>(c);
        return 0;
    }

    int Deflate(BlockJob& job)
    {
        const int level = job.m_bHigh ? 9 : Z_DEFAULT_COMPRESSION;
        if (m_pDeflate && m_nLevel != level) {
            deflateEnd(m_pDeflate);
            delete m_pDeflate;
            m_pDeflate = nullptr;
        }
        if (!m_pDeflate) {
            m_pDeflate = new (std::nothrow) z_stream;
            if (!m_pDeflate) return 1;
            std::memset(m_pDeflate, 0, sizeof(*m_pDeflate));
            if (deflateInit2(m_pDeflate, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
                delete m_pDeflate;
                m_pDeflate = nullptr;
                return 1;
            }
            m_nLevel = level;
        } else if (deflateReset(m_pDeflate) != Z_OK) {
            return 1;
        }
        z_stream& zs = *m_pDeflate;
        const uint32_t dictSize = job.m_nDictSize < DEFLATE_DICT_MAX ? job.m_nDictSize : DEFLATE_DICT_MAX;
        if (dictSize > 0 && deflateSetDictionary(&zs, job.Input() - dictSize, dictSize) != Z_OK) return 1;
        zs.next_in = job.Input();
        zs.avail_in = job.m_nInputSize;
        zs.next_out = job.Output();
        zs.avail_out = job.m_nOutputRoom;
        const int r = deflate(&zs, job.m_bLast ? Z_FINISH : Z_SYNC_FLUSH);
        // Out of room would leave the block unfinished: the room is above
        // zlib's bound, so it is a fault, never a reason to go on.
        const bool finished =
            job.m_bLast ? r == Z_STREAM_END : r == Z_OK && zs.avail_in == 0 && zs.avail_out > 0;
        if (!finished) return 1;
        job.m_nOutputSize = job.m_nOutputRoom - zs.avail_out;
        job.m_nAdler = static_cast<uint32_t>(adler32(1, job.Input(), job.m_nInputSize));
        return 0;
    }

    LZ4_stream_t* m_pFast = nullptr;
    LZ4_streamHC_t* m_pHigh = nullptr;
    z_stream* m_pDeflate = nullptr;
    int m_nLevel = 0;
};

std::unique_ptr<BlockEncoders> BlockEncoders::Create(uint32_t blockSize, unsigned threads)
{
    const uint32_t room = OutputRoom(blockSize);
    if (blockSize == 0 || room == 0) return nullptr;
    std::unique_ptr<BlockEncoders> pool(new (std::nothrow) BlockEncoders);
    if (!pool) return nullptr;
    // Two slots even without threads: the block before stays in place as
    // the next one's dictionary.
    const uint32_t slots = 2 * threads + (threads ? 1 : 2);
    const size_t inputBytes = BlockJob::DICT_ROOM + static_cast<size_t>(blockSize);
    const size_t bytes = inputBytes + BlockJob::OUTPUT_HEAD + room;
    for (uint32_t i = 0; i < slots; ++i) {
        std::unique_ptr<BlockJob> job(new (std::nothrow) BlockJob);
        if (!job) return nullptr;
        job->m_pMemory.reset(new (std::nothrow) uint8_t[bytes]);
        if (!job->m_pMemory) return nullptr;
        job->m_pOutput = job->m_pMemory.get() + inputBytes + BlockJob::OUTPUT_HEAD;
        job->m_nOutputRoom = room;
        pool->m_slots.push_back(std::move(job));
    }
    pool->m_pHere.reset(new (std::nothrow) BlockCodec);
    if (!pool->m_pHere) return nullptr;
    try {
        for (unsigned i = 0; i < threads; ++i) {
            pool->m_codecs.push_back(std::make_unique<BlockCodec>());
            BlockCodec* codec = pool->m_codecs.back().get();
            pool->m_threads.emplace_back([p = pool.get(), codec] { p->Run(codec); });
        }
    } catch (...) {
        return nullptr; // the destructor stops the threads that did start
    }
    return pool;
}

BlockEncoders::~BlockEncoders()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_bStop = true;
    }
    m_queued.notify_all();
    for (std::thread& t : m_threads)
        t.join();
}

void BlockEncoders::Run(BlockCodec* codec)
{
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        m_queued.wait(lock, [this] { return m_bStop || !m_queue.empty(); });
        if (m_bStop) return;
        BlockJob* job = m_queue.front();
        m_queue.pop_front();
        lock.unlock();
        codec->Run(*job);
        lock.lock();
        job->m_bDone = true;
        m_done.notify_all();
    }
}

BlockJob* BlockEncoders::NextFree()
{
    const uint32_t count = static_cast<uint32_t>(m_slots.size());
    if (m_nInFlight == count) return nullptr;
    return m_slots[(m_nOldest + m_nInFlight) % count].get();
}

void BlockEncoders::Submit(BlockJob* job, bool here)
{
    ++m_nInFlight;
    if (here || m_threads.empty()) {
        m_pHere->Run(*job);
        std::lock_guard<std::mutex> lock(m_lock);
        job->m_bDone = true;
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_lock);
        job->m_bDone = false;
        m_queue.push_back(job);
    }
    m_queued.notify_one();
}

BlockJob* BlockEncoders::WaitOldest(const CancelFlag* cancel)
{
    if (m_nInFlight == 0) return nullptr;
    BlockJob* job = m_slots[m_nOldest].get();
    std::unique_lock<std::mutex> lock(m_lock);
    // Polled, so that a cancel is seen while a long block is still running.
    while (!job->m_bDone) {
        if (Cancelled(cancel)) return nullptr;
        m_done.wait_for(lock, std::chrono::milliseconds(5));
    }
    return job;
}

void BlockEncoders::Release()
{
    if (m_nInFlight == 0) return;
    m_nOldest = (m_nOldest + 1) % static_cast<uint32_t>(m_slots.size());
    --m_nInFlight;
}

void BlockEncoders::Abandon()
{
    // Jobs no thread has started are dropped at once; only the ones running
    // are waited for, at most one block per thread.
    {
        std::lock_guard<std::mutex> lock(m_lock);
        for (BlockJob* job : m_queue)
            job->m_bDone = true;
        m_queue.clear();
    }
    while (m_nInFlight > 0) {
        WaitOldest(nullptr);
        Release();
    }
}

void ZlibHeader(bool high, uint8_t out[2])
{
    // Deflate with a 32 KiB window; the level hint zlib gives 6 and 9; the
    // check bits make the pair a multiple of 31.
    unsigned header = (Z_DEFLATED + ((15 - 8) << 4)) << 8;
    header |= (high ? 3u : 2u) << 6;
    header += 31 - header % 31;
    out[0] = static_cast<uint8_t>(header >> 8);
    out[1] = static_cast<uint8_t>(header);
}

} // namespace zk
