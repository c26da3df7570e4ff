#pragma once
// The verify pass on a thread of its own, behind the writer: entry k is read
// back from the volumes, decoded and compared with its source while the
// calling thread encodes entry k+1 and later ones. The verifier opens the
// volumes through its own files, takes each source either as bytes already
// in memory or by opening it again by its path, decodes into its own
// buffers, and reads only stored bytes the writer has written through
// (WrittenMark).
//
// An entry may be handed over while its stored bytes still sit in the
// writer's buffer: the verifier waits until the mark covers them. The
// writer therefore flushes before anything that may wait for the verifier
// (Submit without HasRoom, WaitIdle), or says that no more bytes come
// (WritesEnded), so that the two never wait on each other.
//
// Bounded: at most a fixed number of entries, and of their source bytes,
// wait or are being verified; Submit waits while the verifier lags that far
// behind, so memory and open handles do not grow with the entry count (one
// source and one volume open at a time).
//
// Entries are verified in the order they were submitted, and the verifier
// stops at its first failure: that failure is the first in archive order
// among the entries handed over. The build's cancel flag stops it within a
// few milliseconds of any call here seeing the flag set.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/pipeline.h"

namespace zk {

// Opens an entry's source again, by its path, on the verifier's thread.
class ISourceReopener {
public:
    virtual ~ISourceReopener() = default;
    // The file open for reading at its start, or null with the system's
    // text for the failure in *failure.
    virtual std::unique_ptr<IByteFile> Open(const std::u16string& path, std::u16string* failure) = 0;
};

// One entry handed to the verifier: its source and its stored bytes.
struct VerifyJob {
    std::u16string strSourcePath; // named in a failure; opened when there are no bytes
    // The whole source, shared with whoever read it; null: opened by path.
    std::shared_ptr<std::vector<uint8_t>> pSourceBytes;
    uint8_t nMethod = 0; // METHOD_LZ4 or METHOD_DEFLATE
    PipelineEntry entry;
};

struct VerifySetup {
    uint32_t nBlockSize = 0;
    // Where the stored bytes lie; its files are used on the verifier's
    // thread only.
    VolumeSet set;
    const WrittenMark* pWritten = nullptr; // null: every byte is written already
    ISourceReopener* pOpener = nullptr;
    const BlockCipher* pCipher = nullptr; // null: no password
    const CancelFlag* pCancel = nullptr;  // the build's
    // How far the verifier may lag: entries, and their source bytes (an
    // entry larger than that is still taken when it is the only one).
    uint32_t nMaxEntries = 256;
    uint64_t nMaxBytes = 64ull << 20;
    // Of those, bytes of sources held in memory (pSourceBytes), which stay
    // allocated until their entries are verified.
    uint64_t nMaxHeldBytes = 8ull << 20;
};

class VerifyBehind {
public:
    // Null when the memory or the thread is not there.
    static std::unique_ptr<VerifyBehind> Create(const VerifySetup& setup);
    ~VerifyBehind();
    VerifyBehind(const VerifyBehind&) = delete;
    VerifyBehind& operator=(const VerifyBehind&) = delete;

    // Whether Submit would take this entry without waiting. Only the
    // submitting thread makes room scarcer, so the answer holds until its
    // next Submit.
    bool HasRoom(const VerifyJob& job) const;

    // Queues an entry whose stored bytes are complete (written through, or
    // to be before the verifier gets to them), waiting while the verifier
    // lags by the limits. False, with nothing queued, when the verifier has
    // failed or stopped or the run is cancelled.
    bool Submit(VerifyJob job);

    // No more stored bytes will be published: an entry whose bytes the mark
    // does not cover by now is not verified, and neither is any after it
    // (the writer failed, and that failure is the build's).
    void WritesEnded();

    // Waits at most ms until nothing is left to do: every queued entry
    // verified, or the verifier failed or stopped. False when time ran out.
    bool WaitIdle(uint32_t ms);

    bool Failed() const;
    // The first failure: the path concerned (the source's or a volume's)
    // and the text; empty text for a failure the system did not describe.
    FailureInfo Failure() const;
    // Source bytes compared so far, over every entry; only grows.
    uint64_t VerifiedBytes() const { return m_nVerified.load(std::memory_order_relaxed); }

    // Stops the thread at its next step and waits for it; what was queued
    // is dropped. Nothing is touched afterwards.
    void Stop();

private:
    class Counter : public IPipelineProgress {
    public:
        explicit Counter(std::atomic<uint64_t>& total) : m_total(total) {}
        void OnRead(uint64_t) override {}
        void OnVerify(uint64_t verifyCounter) override
        {
            m_total.store(verifyCounter, std::memory_order_relaxed);
        }

    private:
        std::atomic<uint64_t>& m_total;
    };

    explicit VerifyBehind(const VerifySetup& setup);
    void Run();
    int VerifyOne(PipelineContext& pipe, const VerifyJob& job);
    // Passes the build's cancel on to the thread; true when stopping.
    bool CheckStop();
    bool Room(const VerifyJob& job) const;
    static uint64_t Held(const VerifyJob& job)
    {
        return job.pSourceBytes ? job.entry.m_nUncompressedSize : 0;
    }
    // Waits until the job's stored bytes are written through; false when
    // they never will be or the thread stops.
    bool WaitWritten(const VerifyJob& job);

    VerifySetup m_setup;
    std::unique_ptr<PipelineBuffers> m_pBuffers;
    std::atomic<uint64_t> m_nVerified{0};
    Counter m_counter{m_nVerified};
    // Set to stop the thread: by Stop, or when a caller saw the build's
    // cancel. The decoder and the waits look at it.
    CancelFlag m_stop{0};
    // Set with m_stop, and by WritesEnded: ends a wait for the mark.
    CancelFlag m_noMoreBytes{0};

    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<VerifyJob> m_jobs; // queued, not yet taken
    uint32_t m_nLagEntries = 0;   // queued or being verified
    uint64_t m_nLagBytes = 0;
    uint64_t m_nHeldBytes = 0;
    bool m_bFailed = false;
    bool m_bEnded = false; // the thread left its loop
    FailureInfo m_failure;
    std::thread m_thread;
};

} // namespace zk
