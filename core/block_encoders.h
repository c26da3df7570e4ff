#pragma once
// Compresses the blocks of an entry on worker threads. Every block is
// compressed on its own, with the end of the block before it copied in front
// of it as dictionary, so the bytes a block gives do not depend on which
// thread compressed it, nor on how many there are: with no threads at all the
// calling thread runs the very same job.
//
// LZ4 job: [i32 length][length bytes], the record of one block, compressed
// with up to 64 KiB of the previous block as dictionary; a first block of
// under 64 KiB on a state of its own (LZ4's 16-bit table).
// Deflate job: raw deflate of the block with up to 32 KiB of the previous
// block as dictionary, ended by a sync flush (an empty stored block, so the
// next job starts on a byte boundary) or, for the last block, by the final
// block; and the Adler-32 of the block's input, for the zlib trailer.
//
// The calling thread owns the slots: it fills the next free one, submits it,
// and takes the results back oldest first. Memory is a fixed number of slots
// (two per thread and one more), whatever the size of the files.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "core/block_decoder.h"

namespace zk {

// LZ4 HC's level for high compression.
constexpr int LZ4_HIGH_LEVEL = 8;

class BlockCodec;

struct BlockJob {
    // Room for the dictionary in front of the input, and for the carried-over
    // cipher bytes in front of the output.
    static constexpr uint32_t DICT_ROOM = 65536;
    static constexpr uint32_t OUTPUT_HEAD = 16;

    // Set by the calling thread before Submit.
    uint8_t m_nMethod = 0; // METHOD_LZ4 or METHOD_DEFLATE
    bool m_bHigh = false;  // LZ4 HC / Deflate level 9
    bool m_bLast = false;  // Deflate: the block ends the stream
    uint32_t m_nDictSize = 0;
    uint32_t m_nInputSize = 0;
    // Names what the job was submitted for, for whoever takes it back.
    uint64_t m_nTag = 0;
    // Set by the job.
    uint32_t m_nOutputSize = 0;
    uint32_t m_nAdler = 1;
    int m_nResult = 0; // 0 / 1

    // At least DICT_ROOM bytes before it are the dictionary's room.
    uint8_t* Input() { return m_pMemory.get() + DICT_ROOM; }
    const uint8_t* Input() const { return m_pMemory.get() + DICT_ROOM; }
    // OUTPUT_HEAD bytes before it may be written by whoever takes the result.
    uint8_t* Output() { return m_pOutput; }
    // Bytes from Output() on that may hold output (the result and more).
    uint32_t OutputCapacity() const { return m_nOutputRoom; }

private:
    friend class BlockEncoders;
    friend class BlockCodec;
    std::unique_ptr<uint8_t[]> m_pMemory;
    uint8_t* m_pOutput = nullptr;
    uint32_t m_nOutputRoom = 0;
    bool m_bDone = false; // under the pool's lock
};

class BlockEncoders {
public:
    // Slots for blocks of blockSize bytes; threads 0 runs every job on the
    // calling thread. Null when the memory or a thread is not there.
    static std::unique_ptr<BlockEncoders> Create(uint32_t blockSize, unsigned threads);
    ~BlockEncoders();
    BlockEncoders(const BlockEncoders&) = delete;
    BlockEncoders& operator=(const BlockEncoders&) = delete;

    unsigned Threads() const { return static_cast<unsigned>(m_threads.size()); }
    uint32_t InFlight() const { return m_nInFlight; }
    // The oldest job in flight, done or not; null when none is.
    const BlockJob* Oldest() const { return m_nInFlight ? m_slots[m_nOldest].get() : nullptr; }

    // The slot to fill next, or null while every slot is in flight (take the
    // oldest first). The slot submitted just before stays untouched until
    // this one has been taken back, so its input can serve as dictionary.
    BlockJob* NextFree();
    // Starts the job NextFree gave; here and now when there are no threads
    // or when here is set.
    void Submit(BlockJob* job, bool here);
    // The oldest job in flight once it is done; null when none is in flight or
    // the run was cancelled first. Release gives its slot back.
    BlockJob* WaitOldest(const CancelFlag* cancel);
    void Release();
    // Drops the jobs not started, waits for the ones running (one block per
    // thread at most) and drops every result.
    void Abandon();

private:
    BlockEncoders() = default;
    void Run(BlockCodec* codec);

    std::vector<std::unique_ptr<BlockJob>> m_slots;
    uint32_t m_nOldest = 0;
    uint32_t m_nInFlight = 0;
    std::unique_ptr<BlockCodec> m_pHere; // the calling thread's codec

    std::mutex m_lock;
    std::condition_variable m_queued;
    std::condition_variable m_done;
    std::deque<BlockJob*> m_queue;
    bool m_bStop = false;
    std::vector<std::unique_ptr<BlockCodec>> m_codecs;
    std::vector<std::thread> m_threads;
};

// The two bytes that open the zlib stream deflateInit2 writes at this level
// with a 32 KiB window and no preset dictionary.
void ZlibHeader(bool high, uint8_t out[2]);

} // namespace zk
