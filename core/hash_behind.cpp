#include "core/hash_behind.h"

#include <atomic>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

#include "core/bounded_queue.h"

namespace zk {

namespace {

class BehindHash : public IFileHash {
public:
    BehindHash(uint32_t blockSize, uint32_t blocks)
        : m_nBlockSize(blockSize), m_nBlocks(blocks), m_free(blocks), m_filled(blocks)
    {
    }

    bool Start()
    {
        m_pBlocks.reset(new (std::nothrow) uint8_t[static_cast<size_t>(m_nBlockSize) * m_nBlocks]);
        if (!m_pBlocks) return false;
        for (uint32_t i = 0; i < m_nBlocks; ++i)
            m_free.Push(i);
        try {
            m_thread = std::thread([this] { Run(); });
        } catch (...) {
            return false;
        }
        return true;
    }

    ~BehindHash() override
    {
        m_filled.Close();
        m_free.Close();
        if (m_thread.joinable()) m_thread.join();
    }

    int Begin() override
    {
        Drain();
        m_bFailed = false;
        return m_pInner->Begin();
    }

    int Update(const uint8_t* bytes, uint32_t count) override
    {
        while (count > 0) {
            if (m_bFailed.load()) return 1;
            Block block;
            if (!m_free.Pop(block.nSlot)) return 1;
            block.nBytes = count < m_nBlockSize ? count : m_nBlockSize;
            std::memcpy(Slot(block.nSlot), bytes, block.nBytes);
            if (!m_filled.Push(block)) return 1;
            bytes += block.nBytes;
            count -= block.nBytes;
        }
        return m_bFailed.load() ? 1 : 0;
    }

    int End(uint8_t digest[32]) override
    {
        Drain();
        const int ended = m_pInner->End(digest);
        return m_bFailed.load() || ended != 0 ? 1 : 0;
    }

    std::u16string LastErrorText() const override { return m_pInner->LastErrorText(); }

private:
    struct Block {
        uint32_t nSlot = 0;
        uint32_t nBytes = 0;
    };

    uint8_t* Slot(uint32_t slot) { return m_pBlocks.get() + static_cast<size_t>(slot) * m_nBlockSize; }

    void Run()
    {
        Block block;
        while (m_filled.Pop(block)) {
            // After a failure the rest is only given back: the digest is
            // thrown away anyway.
            if (!m_bFailed.load() && m_pInner->Update(Slot(block.nSlot), block.nBytes) != 0) m_bFailed = true;
            m_free.Push(block.nSlot);
        }
    }

    // Waits until every queued block has been hashed: the thread gives each
    // block back once its bytes are in the hash.
    void Drain()
    {
        std::vector<uint32_t> slots(m_nBlocks);
        for (uint32_t& slot : slots)
            m_free.Pop(slot);
        for (uint32_t slot : slots)
            m_free.Push(slot);
    }

public:
    // Set before the first Begin; the thread reaches it only through a
    // queued block.
    std::unique_ptr<IFileHash> m_pInner;

private:
    const uint32_t m_nBlockSize;
    const uint32_t m_nBlocks;
    std::unique_ptr<uint8_t[]> m_pBlocks;
    BoundedQueue<uint32_t> m_free;
    BoundedQueue<Block> m_filled;
    std::atomic<bool> m_bFailed{false};
    std::thread m_thread;
};

} // namespace

std::unique_ptr<IFileHash> HashBehind(std::unique_ptr<IFileHash>& inner, uint32_t blockSize, uint32_t blocks)
{
    if (!inner || blockSize == 0 || blocks == 0) return nullptr;
    std::unique_ptr<BehindHash> hash(new (std::nothrow) BehindHash(blockSize, blocks));
    if (!hash || !hash->Start()) return nullptr;
    hash->m_pInner = std::move(inner);
    return hash;
}

} // namespace zk
