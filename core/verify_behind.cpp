#include "core/verify_behind.h"

#include <chrono>
#include <new>

#include "core/memory_files.h"

namespace zk {

namespace {
// Every wait looks at the stop and cancel flags at least this often.
constexpr std::chrono::milliseconds POLL{5};
} // namespace

std::unique_ptr<VerifyBehind> VerifyBehind::Create(const VerifySetup& setup)
{
    if (!setup.pOpener || !setup.set.m_pFiles) return nullptr;
    std::unique_ptr<VerifyBehind> v(new (std::nothrow) VerifyBehind(setup));
    if (!v) return nullptr;
    v->m_pBuffers = PipelineBuffers::AllocateForVerify(setup.nBlockSize);
    if (!v->m_pBuffers) return nullptr;
    try {
        v->m_thread = std::thread([p = v.get()] { p->Run(); });
    } catch (...) {
        return nullptr;
    }
    return v;
}

VerifyBehind::VerifyBehind(const VerifySetup& setup) : m_setup(setup)
{
    if (m_setup.nMaxEntries == 0) m_setup.nMaxEntries = 1;
}

VerifyBehind::~VerifyBehind()
{
    Stop();
}

bool VerifyBehind::CheckStop()
{
    if (Cancelled(m_setup.pCancel)) {
        m_stop.store(1);
        m_noMoreBytes.store(1);
    }
    return Cancelled(&m_stop);
}

bool VerifyBehind::Room(const VerifyJob& job) const
{
    return m_nLagEntries == 0 || (m_nLagEntries < m_setup.nMaxEntries &&
                                  m_nLagBytes + job.entry.m_nUncompressedSize <= m_setup.nMaxBytes &&
                                  m_nHeldBytes + Held(job) <= m_setup.nMaxHeldBytes);
}

bool VerifyBehind::HasRoom(const VerifyJob& job) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return Room(job);
}

bool VerifyBehind::Submit(VerifyJob job)
{
    const uint64_t size = job.entry.m_nUncompressedSize;
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        if (CheckStop() || m_bFailed || m_bEnded) return false;
        if (Room(job)) break;
        m_changed.wait_for(lock, POLL);
    }
    m_jobs.push_back(std::move(job));
    ++m_nLagEntries;
    m_nLagBytes += size;
    m_nHeldBytes += Held(m_jobs.back());
    m_changed.notify_all();
    return true;
}

bool VerifyBehind::WaitIdle(uint32_t ms)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        CheckStop();
        if (m_nLagEntries == 0 || m_bFailed || m_bEnded) return true;
        const auto now = std::chrono::steady_clock::now();
        if (now >= until) return false;
        m_changed.wait_for(lock, until - now < POLL ? until - now : POLL);
    }
}

bool VerifyBehind::Failed() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_bFailed;
}

FailureInfo VerifyBehind::Failure() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_failure;
}

void VerifyBehind::WritesEnded()
{
    m_noMoreBytes.store(1);
}

void VerifyBehind::Stop()
{
    m_stop.store(1);
    m_noMoreBytes.store(1);
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_changed.notify_all();
    }
    if (m_thread.joinable()) m_thread.join();
}

bool VerifyBehind::WaitWritten(const VerifyJob& job)
{
    if (!m_setup.pWritten) return true;
    const uint64_t end = job.entry.m_nDataOffset + job.entry.m_nStoredSize;
    // Once the flag is set the mark no longer moves: what it covers then is
    // all there will be.
    return m_setup.pWritten->WaitFor(end, &m_noMoreBytes) || m_setup.pWritten->Get() >= end;
}

int VerifyBehind::VerifyOne(PipelineContext& pipe, const VerifyJob& job)
{
    pipe.m_strSourcePath = job.strSourcePath;
    pipe.m_failure = FailureInfo{};
    std::u16string failure;
    std::unique_ptr<IByteFile> source = job.pSourceBytes ? std::make_unique<MemoryFile>(job.pSourceBytes)
                                                         : m_setup.pOpener->Open(job.strSourcePath, &failure);
    if (!source) {
        pipe.m_failure.Set(job.strSourcePath, failure);
        return 1;
    }
    pipe.m_pSource = source.get();
    const int result =
        job.nMethod == METHOD_LZ4 ? Lz4VerifyEntry(pipe, job.entry) : DeflateVerifyEntry(pipe, job.entry);
    pipe.m_pSource = nullptr;
    // The failure names the source unless the pipeline named a volume.
    if (result != 0 && pipe.m_failure.m_strPath.empty()) pipe.m_failure.m_strPath = job.strSourcePath;
    return result;
}

void VerifyBehind::Run()
{
    PipelineContext pipe;
    pipe.m_pBuffers = m_pBuffers.get();
    pipe.m_pVerifySet = &m_setup.set;
    pipe.m_pWritten = m_setup.pWritten;
    pipe.m_pCipher = m_setup.pCipher;
    pipe.m_pCancel = &m_stop;
    pipe.m_pProgress = &m_counter;
    for (;;) {
        VerifyJob job;
        {
            std::unique_lock<std::mutex> lock(m_lock);
            while (m_jobs.empty() && !CheckStop())
                m_changed.wait_for(lock, POLL);
            if (CheckStop()) break;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        // Bytes never written through are the writer's failure, not a
        // difference: this entry and the later ones go unverified.
        if (!WaitWritten(job)) break;
        const int result = VerifyOne(pipe, job);
        std::lock_guard<std::mutex> guard(m_lock);
        if (result != 0 && !CheckStop()) {
            m_bFailed = true;
            m_failure = pipe.m_failure;
            break;
        }
        if (result != 0) break;
        --m_nLagEntries;
        m_nLagBytes -= job.entry.m_nUncompressedSize;
        m_nHeldBytes -= Held(job);
        m_changed.notify_all();
    }
    std::lock_guard<std::mutex> guard(m_lock);
    m_bEnded = true;
    m_jobs.clear();
    m_changed.notify_all();
}

} // namespace zk
