#pragma once
// Reads one entry's source a few blocks ahead of its encoder, on a thread of
// its own: the reads, the size check and the hash of each piece happen
// there, while the calling thread compresses, encrypts and writes the
// pieces before them. The pieces come out exactly as the encoder would read
// them itself (blocks of B bytes, then a shorter one, then an empty one), so
// the stored bytes do not change.
//
// Memory: a fixed number of blocks, whatever the size of the files. One
// entry at a time; Finish must follow every Start before the source or the
// hash is touched again or goes away.

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/bounded_queue.h"
#include "core/pipeline.h"

namespace zk {

class SourceReadAhead : public ISourceReadAhead {
public:
    // Blocks of blockSize bytes, `slots` of them (at least 3: the encoder
    // holds two). Null when the memory or the thread is not there.
    static std::unique_ptr<SourceReadAhead> Create(uint32_t blockSize, uint32_t slots = 4);
    ~SourceReadAhead() override;
    SourceReadAhead(const SourceReadAhead&) = delete;
    SourceReadAhead& operator=(const SourceReadAhead&) = delete;

    uint32_t BlockSize() const override { return m_nBlockSize; }

    // Starts reading the source of an entry of expectedSize bytes; hash may
    // be null. The hash must have been begun.
    void Start(IByteFile* source, IFileHash* hash, uint64_t expectedSize, const CancelFlag* cancel) override;

    // The next piece: its bytes stay valid until the piece after it has been
    // taken. Returns
    // the byte count, or -1 with the failure's text (empty after a cancel).
    int64_t Next(const uint8_t** bytes, std::u16string* failure) override;

    // Ends the entry: the reading thread stops at its next step and touches
    // neither the source nor the hash after this returns. Harmless when no
    // entry is running.
    void Finish() override;

private:
    struct Job {
        IByteFile* pSource = nullptr;
        IFileHash* pHash = nullptr;
        uint64_t nExpected = 0;
        const CancelFlag* pCancel = nullptr;
    };
    struct Piece {
        uint32_t nSlot = 0;
        int64_t nBytes = 0; // -1: failed
        std::u16string strFailure;
    };

    SourceReadAhead(uint32_t blockSize, uint32_t slots);
    void Run();
    void ReadEntry(const Job& job);
    uint8_t* Slot(uint32_t slot) { return m_pBlocks.get() + static_cast<size_t>(slot) * m_nBlockSize; }

    const uint32_t m_nBlockSize;
    const uint32_t m_nSlots;
    std::unique_ptr<uint8_t[]> m_pBlocks;
    BoundedQueue<Job> m_jobs{1};
    BoundedQueue<uint32_t> m_free;
    BoundedQueue<Piece> m_filled;
    BoundedQueue<int> m_done{1};
    // Used by the encoder's thread only.
    const CancelFlag* m_pCancel = nullptr;
    std::vector<uint32_t> m_held;
    bool m_bRunning = false;
    std::thread m_thread;
};

} // namespace zk
