#pragma once
// Reads the next small files of a walk whole, on a thread of its own, while
// the calling thread compresses and writes the file before them: each one
// opened, read into memory and closed there. Where every file opened costs
// far more in the system than its bytes cost to compress, this hides that
// cost behind the work of the calling thread.
//
// The calling thread queues the files in the order it will store them and
// takes each one when its turn comes. A file the reader has not started by
// then is the caller's to open: the two then open files side by side
// instead of the caller waiting, and the reader skips it. The reading thread tells nobody
// anything: a file it could not open or read, or that grew past the size it
// was queued with, is simply not there when taken, and the caller opens it
// itself as it would without this reader, so that questions and failures
// come in order and from the caller's own code.
//
// Memory: at most the bounds' file count and bytes, whatever the walk.
//
// With block encoders given (CompressAhead), a file taken whole that its
// encoder compresses as one job is also handed to them at once, and so are
// the files read already that the caller stores right after it, while
// slots are free: a run of small files then keeps every encoding thread
// busy, not only the caller's. Their jobs stay in flight, oldest first,
// until their turns come; a file whose turn does not come as expected (not
// taken next, or of another size by then) drops them all, so that the
// caller's own jobs never queue behind jobs of files it has not reached.

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/block_encoders.h"
#include "core/bounded_queue.h"
#include "core/memory_files.h"
#include "core/volume_io.h"

namespace zk {

// Opens a source file for reading; called on the reading thread. Null when
// the file cannot be opened (the reason is not asked for).
class ISourceOpener {
public:
    virtual ~ISourceOpener() = default;
    virtual std::unique_ptr<IByteFile> OpenForReading(const std::wstring& path) = 0;
};

// What compressing ahead needs: the encoders, the way every job of the
// build is compressed, and the largest file its encoder takes as one job.
struct JobsAheadSetup {
    BlockEncoders* pEncoders = nullptr;
    uint8_t nMethod = 0; // METHOD_LZ4 or METHOD_DEFLATE
    bool bHigh = false;
    uint32_t nMaxJobBytes = 0;
};

struct FilesAheadBounds {
    uint32_t nFileBytes = 0;  // largest file read ahead
    uint64_t nTotalBytes = 0; // bytes of the files queued and not taken yet
    uint32_t nFiles = 0;      // files queued and not taken yet
};

class SmallFilesAhead {
public:
    // Null when the bounds allow no file or the thread is not there.
    static std::unique_ptr<SmallFilesAhead> Create(ISourceOpener& opener, const FilesAheadBounds& bounds,
                                                   const CancelFlag* cancel);
    ~SmallFilesAhead();
    SmallFilesAhead(const SmallFilesAhead&) = delete;
    SmallFilesAhead& operator=(const SmallFilesAhead&) = delete;

    // Whether a file of this size is one to read ahead at all.
    bool IsSmall(uint64_t size) const { return size > 0 && size <= m_bounds.nFileBytes; }
    // Whether a small file of this size may be queued now.
    bool HasRoom(uint64_t size) const;

    // Queues the walk's next file, expected to hold size bytes (IsSmall and
    // HasRoom hold); key names it for Take, unique among those queued.
    // follows: no file the caller compresses comes between it and the file
    // queued before it.
    void Queue(uint64_t key, std::wstring path, uint64_t size, bool follows = false);

    // Compresses files ahead on these encoders from now on. The encoders
    // hold no other jobs whenever the caller takes a file, and nothing but
    // Take and the destructor drops what is in flight.
    void CompressAhead(const JobsAheadSetup& setup) { m_jobs = setup; }

    // The file queued under key, read whole, at its start, when it held
    // the size the caller expects now. Null when it was not queued, not
    // read, not started yet (the reader leaves it then), or changed since
    // it was listed (the caller opens it itself and
    // sees what became of it), or after a cancel. Files queued before it
    // are dropped: the walk has passed them.
    // *jobAhead (when asked for) tells whether the file is one job of the
    // encoders, submitted from the bytes returned and now the oldest in
    // flight: the caller takes its result instead of compressing it. Jobs
    // ahead are only ever kept for a caller that asks.
    std::unique_ptr<MemoryFile> Take(uint64_t key, uint64_t expectedSize, bool* jobAhead = nullptr);

    // What is held against the bounds now (files queued and not taken).
    size_t FilesHeld() const { return m_queued.size(); }
    uint64_t BytesHeld() const { return m_nBytesHeld; }

private:
    struct Request {
        uint64_t nKey = 0;
        uint64_t nSeq = 0; // the order queued
        std::wstring strPath;
        uint64_t nSize = 0;
        bool bFollows = false;
    };
    struct Result {
        uint64_t nKey = 0;
        std::shared_ptr<std::vector<uint8_t>> pBytes; // null: not read
        bool bFollows = false;
    };
    struct Queued {
        uint64_t nKey = 0;
        uint64_t nSeq = 0;
        uint64_t nBytes = 0; // counted against the bounds
    };

    SmallFilesAhead(ISourceOpener& opener, const FilesAheadBounds& bounds, const CancelFlag* cancel);
    void Run();
    std::shared_ptr<std::vector<uint8_t>> ReadWhole(const Request& request);
    // Ends the oldest queued file's share of the bounds.
    void DropOldest();
    // The next result in queue order: one taken ahead, or the reader's.
    bool NextResult(Result& result);
    // Hands a file read whole to the encoders as one job; false when it is
    // not one job or no slot is free.
    bool SubmitJob(const Result& result);
    // The files read already that follow the one taken last, while slots
    // are free.
    void SubmitFollowing();
    void DropJobsAhead();
    uint32_t JobsInFlight() const { return m_jobs.pEncoders ? m_jobs.pEncoders->InFlight() : 0; }

    ISourceOpener& m_opener;
    const FilesAheadBounds m_bounds;
    const CancelFlag* m_pCancel;
    BoundedQueue<Request> m_requests;
    BoundedQueue<Result> m_results;
    // The first file neither side has claimed yet: the reader claims a file
    // before opening it, the caller one the reader has not reached.
    std::atomic<uint64_t> m_nUnclaimed{0};
    // Used by the calling thread only.
    std::deque<Queued> m_queued;
    // Results taken from the reader ahead of their turn, for their jobs.
    // Between takes the encoders' jobs in flight are those of the first of
    // them, one each in order: the caller's encoder takes back only the job
    // of the file it took, and whatever else drops jobs drops them all.
    std::deque<Result> m_ready;
    JobsAheadSetup m_jobs;
    uint64_t m_nNextSeq = 0;
    uint64_t m_nBytesHeld = 0;
    std::thread m_thread;
};

} // namespace zk
