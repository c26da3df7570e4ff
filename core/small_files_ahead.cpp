#include "core/small_files_ahead.h"

#include <algorithm>
#include <new>

#include "core/memory_files.h"
#include "core/pipeline.h"

namespace zk {

std::unique_ptr<SmallFilesAhead>
SmallFilesAhead::Create(ISourceOpener& opener, const FilesAheadBounds& bounds, const CancelFlag* cancel)
{
    if (bounds.nFileBytes == 0 || bounds.nFileBytes == UINT32_MAX || bounds.nFiles == 0 ||
        bounds.nTotalBytes == 0)
        return nullptr;
    std::unique_ptr<SmallFilesAhead> ahead(new (std::nothrow) SmallFilesAhead(opener, bounds, cancel));
    if (!ahead) return nullptr;
    try {
        ahead->m_thread = std::thread([p = ahead.get()] { p->Run(); });
    } catch (...) {
        return nullptr;
    }
    return ahead;
}

SmallFilesAhead::SmallFilesAhead(ISourceOpener& opener, const FilesAheadBounds& bounds,
                                 const CancelFlag* cancel)
    : m_opener(opener), m_bounds(bounds), m_pCancel(cancel), m_requests(bounds.nFiles),
      m_results(bounds.nFiles)
{
}

SmallFilesAhead::~SmallFilesAhead()
{
    // The reader ends after the file it is reading; nothing it has read is
    // wanted any more, nor compressed.
    DropJobsAhead();
    m_requests.Close();
    m_results.Close();
    if (m_thread.joinable()) m_thread.join();
}

void SmallFilesAhead::Run()
{
    try {
        Request request;
        while (m_requests.Pop(request, m_pCancel)) {
            Result result;
            result.nKey = request.nKey;
            result.bFollows = request.bFollows;
            result.pBytes = ReadWhole(request);
            if (!m_results.Push(std::move(result), m_pCancel)) return;
        }
    } catch (...) {
        // Out of memory for a queue entry: nothing more comes, and every
        // file not taken yet is opened by the caller.
        m_results.Close();
    }
}

// One byte more than expected is asked for: a file that grew is left to the
// caller, whose own reads then find out how it changed.
std::shared_ptr<std::vector<uint8_t>> SmallFilesAhead::ReadWhole(const Request& request)
{
    if (Cancelled(m_pCancel)) return nullptr;
    uint64_t unclaimed = m_nUnclaimed.load();
    do {
        if (unclaimed > request.nSeq) return nullptr; // the caller opens it
    } while (!m_nUnclaimed.compare_exchange_weak(unclaimed, request.nSeq + 1));
    try {
        std::unique_ptr<IByteFile> file = m_opener.OpenForReading(request.strPath);
        if (!file) return nullptr;
        auto bytes = std::make_shared<std::vector<uint8_t>>(static_cast<size_t>(request.nSize) + 1);
        const int64_t n = ReadSourcePiece(*file, bytes->data(), static_cast<uint32_t>(bytes->size()));
        if (n < 0 || static_cast<uint64_t>(n) > request.nSize) return nullptr;
        bytes->resize(static_cast<size_t>(n));
        return bytes;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

bool SmallFilesAhead::HasRoom(uint64_t size) const
{
    if (!IsSmall(size)) return false;
    if (m_queued.empty()) return true;
    return m_queued.size() < m_bounds.nFiles && m_nBytesHeld + size + 1 <= m_bounds.nTotalBytes;
}

void SmallFilesAhead::Queue(uint64_t key, std::wstring path, uint64_t size, bool follows)
{
    if (!HasRoom(size)) return;
    const uint64_t seq = m_nNextSeq++;
    m_queued.push_back(Queued{key, seq, size + 1});
    m_nBytesHeld += size + 1;
    // Never full: it holds no more requests than files are queued. A
    // cancelled run refuses it, and Take then finds nothing.
    m_requests.Push(Request{key, seq, std::move(path), size, follows}, m_pCancel);
}

void SmallFilesAhead::DropOldest()
{
    m_nBytesHeld -= m_queued.front().nBytes;
    m_queued.pop_front();
}

bool SmallFilesAhead::NextResult(Result& result)
{
    if (m_ready.empty()) return m_results.Pop(result, m_pCancel);
    result = std::move(m_ready.front());
    m_ready.pop_front();
    return true;
}

std::unique_ptr<MemoryFile> SmallFilesAhead::Take(uint64_t key, uint64_t expectedSize, bool* jobAhead)
{
    if (jobAhead) *jobAhead = false;
    const auto it =
        std::find_if(m_queued.begin(), m_queued.end(), [key](const Queued& q) { return q.nKey == key; });
    if (it == m_queued.end()) {
        DropJobsAhead(); // the caller compresses this one itself
        return nullptr;
    }
    // Not started: claimed here, with every file before it. Its result, an
    // empty one, is dropped with theirs when a later file is taken.
    uint64_t unclaimed = m_nUnclaimed.load();
    while (unclaimed <= it->nSeq)
        if (m_nUnclaimed.compare_exchange_weak(unclaimed, it->nSeq + 1)) {
            DropJobsAhead();
            return nullptr;
        }
    // The results come in the order the files were queued.
    for (;;) {
        // The oldest job in flight, when there is one, is the next ready
        // result's; a reader's result has none.
        const bool submitted = !m_ready.empty() && JobsInFlight() > 0;
        Result result;
        if (!NextResult(result)) {
            DropJobsAhead();
            return nullptr;
        }
        DropOldest();
        if (result.nKey != key) {
            if (submitted) DropJobsAhead();
            continue;
        }
        if (!result.pBytes || result.pBytes->size() != expectedSize) {
            DropJobsAhead();
            return nullptr;
        }
        bool ahead = false;
        if (submitted) {
            const BlockJob* job = m_jobs.pEncoders->Oldest();
            ahead = jobAhead && job->m_nTag == key && job->m_nInputSize == expectedSize;
            if (!ahead) DropJobsAhead();
        } else if (jobAhead && m_jobs.pEncoders && JobsInFlight() == 0) {
            ahead = SubmitJob(result);
        }
        if (ahead) {
            *jobAhead = true;
            SubmitFollowing();
        }
        return std::make_unique<MemoryFile>(std::move(result.pBytes));
    }
}

bool SmallFilesAhead::SubmitJob(const Result& result)
{
    BlockEncoders& encoders = *m_jobs.pEncoders;
    if (!result.pBytes || encoders.Threads() == 0) return false;
    // An empty file has no job (LZ4) or one of its own making (Deflate).
    const size_t size = result.pBytes->size();
    if (size == 0 || size > m_jobs.nMaxJobBytes) return false;
    BlockJob* job = encoders.NextFree();
    if (!job) return false;
    FillEncodeJob(*job, m_jobs.nMethod, m_jobs.bHigh, result.pBytes->data(), static_cast<uint32_t>(size),
                  true, nullptr, result.nKey);
    encoders.Submit(job, false);
    return true;
}

// Only results the reader has already delivered: waiting here for one
// would hold up the file being taken. The oldest job in flight is the file's
// just taken, the others those of the first results ready.
void SmallFilesAhead::SubmitFollowing()
{
    for (;;) {
        const uint32_t inFlight = JobsInFlight();
        if (inFlight == 0) return;
        const size_t submitted = inFlight - 1;
        if (submitted > m_ready.size()) return;
        if (submitted == m_ready.size()) {
            Result result;
            if (!m_results.TryPop(result)) return;
            m_ready.push_back(std::move(result));
        }
        const Result& next = m_ready[submitted];
        if (!next.bFollows || !SubmitJob(next)) return;
    }
}

void SmallFilesAhead::DropJobsAhead()
{
    if (JobsInFlight() > 0) m_jobs.pEncoders->Abandon();
}

} // namespace zk
