#pragma once
// Decodes the entries of a run on a thread of its own, ahead of the thread
// that writes them: the caller adds the entries in the order it will write
// them, the decoding thread runs them one after the other into a ring of
// decoded bytes, and the caller takes each entry's bytes back, in that
// order, with the entry's result after its last byte. An entry that fails
// while decoded ahead is seen only when the caller reaches it, after every
// entry before it was delivered.
//
// Memory: the ring (a few blocks) and the entries waiting, whatever the
// sizes of the files. The caller's side (Add, Deliver, Skip, Stop) belongs
// to one thread.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "core/block_decoder.h"

namespace zk {

class DecodeAhead {
public:
    // One entry's decoding, run on the decoding thread: puts the entry's
    // bytes into the sink in order and returns the entry's result, which
    // the caller gets back with them. A sink that refuses (the entry was
    // skipped, the run stopped or was aborted) asks the job to end at once.
    using Job = std::function<int(IDecodeSink& sink)>;

    // The result of a job that threw.
    static constexpr int JOB_THREW = -1;

    enum DeliverResult {
        DELIVER_DONE,      // every byte delivered; the entry's result is given
        DELIVER_REFUSED,   // the caller's sink refused a piece; the rest is dropped
        DELIVER_CANCELLED, // the run was aborted or stopped, or nothing was waiting
    };

    // blocks * blockSize bytes of ring (blocks at least 1) and at most
    // `entries` entries added and not yet delivered. abort: the run's flag,
    // watched by both sides (may be null). Null when the memory or the
    // thread is not there.
    static std::unique_ptr<DecodeAhead> Create(uint32_t blockSize, uint32_t blocks, uint32_t entries,
                                               const std::atomic<int32_t>* abort);
    ~DecodeAhead();
    DecodeAhead(const DecodeAhead&) = delete;
    DecodeAhead& operator=(const DecodeAhead&) = delete;

    // Entries added and neither delivered nor skipped.
    uint32_t Waiting() const { return static_cast<uint32_t>(m_nNextEntry - m_nFront); }
    bool HasRoom() const { return Waiting() < m_nEntries; }

    // Queues the next entry (only while HasRoom).
    void Add(Job job);

    // Hands the oldest waiting entry's bytes to sink in pieces of at most a
    // block, in order; with DELIVER_DONE *result is the job's result. The
    // entry is no longer waiting afterwards, whatever the outcome.
    DeliverResult Deliver(IDecodeSink& sink, int* result);

    // Drops the oldest waiting entry: its decoding ends at its next piece.
    void Skip();

    // Ends the decoding thread; nothing added runs any more. The thread has
    // touched its last byte when this returns. Harmless when repeated.
    void Stop();

private:
    struct Piece {
        uint64_t nEntry = 0;
        uint32_t nOffset = 0; // in the ring
        uint32_t nBytes = 0;
        uint32_t nCharge = 0; // ring bytes given back with it (its bytes and any gap before them)
        bool bEnd = false;    // the entry's last piece, which carries no bytes
        int nResult = 0;
    };
    class RingSink;

    DecodeAhead(uint32_t blockSize, uint32_t blocks, uint32_t entries, const std::atomic<int32_t>* abort);
    void Run();
    // Decoding thread: a place in the ring for count bytes of entry, or
    // false when the entry is no longer wanted.
    bool Reserve(uint64_t entry, uint32_t count, Piece* piece);
    void Publish(const Piece& piece);
    void Release(const Piece& piece);
    // Caller: entries below the front are no longer wanted.
    void DropFront();
    bool Aborted() const { return m_pAbort != nullptr && m_pAbort->load() != 0; }

    const uint32_t m_nBlockSize;
    const uint32_t m_nRingSize;
    const uint32_t m_nEntries;
    const std::atomic<int32_t>* m_pAbort;
    std::unique_ptr<uint8_t[]> m_pRing;

    std::mutex m_lock;
    std::condition_variable m_changed;
    // Under m_lock:
    std::deque<std::pair<uint64_t, Job>> m_jobs;
    std::deque<Piece> m_pieces;
    uint32_t m_nHead = 0;   // where the next piece goes
    uint32_t m_nUsed = 0;   // ring bytes not yet given back
    uint64_t m_nWanted = 0; // entries numbered below it are dropped
    bool m_bStop = false;

    // The caller's thread only.
    uint64_t m_nNextEntry = 0;
    uint64_t m_nFront = 0;

    std::thread m_thread;
};

} // namespace zk
