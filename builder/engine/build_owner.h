#pragma once
// What the build engine needs from the window that starts it. The wizard
// window implements this; tests implement it with recorders. The engine runs
// on its own thread and calls every operation from there: implementations
// that touch windows must only store values or post to their window.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "builder/settings/settings_records.h"

namespace zk {

// Values the completion page shows after a successful build.
struct BuildStatistics {
    uint32_t nFileCount = 0;
    uint32_t nFolderCount = 0;
    uint32_t nContentCount = 0; // files whose size is not 0
    uint64_t nTotalSize = 0;    // uncompressed bytes of all files
    uint64_t nStreamBytes = 0;  // bytes of the data stream only
    uint32_t nElapsedSeconds = 0;
};

// Counters shown on the progress page once the sources are collected.
struct BuildCounters {
    uint32_t nFileCount = 0;
    uint32_t nFolderCount = 0;
    uint32_t nContentCount = 0;
    uint64_t nTotalSize = 0;
};

// Build state and result: one byte each, shared with the window thread.
enum : uint8_t { BUILD_STATE_NONE = 0, BUILD_STATE_RUNNING = 1, BUILD_STATE_FINISHED = 2 };
enum : uint8_t { BUILD_RESULT_OK = 0, BUILD_RESULT_FAILED = 1, BUILD_RESULT_ABORTED = 2 };

class CBuildOwner {
public:
    virtual ~CBuildOwner() = default;

    // Settings of this build; the window thread leaves them alone while a
    // build runs, except that the engine may raise m_prm.m_nSplitMB.
    ::CVosmireEnv m_env;
    ::CVosmirePrm m_prm;

    // 0 none, 1 running, 2 finished; written by the engine only.
    std::atomic<uint8_t> m_nBuildState{BUILD_STATE_NONE};
    // 0 at start; the abort button stores 2; any non-zero value read while
    // the engine runs means stop. At the end: 0 success, 1 failure, 2
    // aborted or nothing to store.
    std::atomic<uint8_t> m_nBuildResult{BUILD_RESULT_OK};

    // The abort button: asks a build that has not finished to stop. The
    // engine may already be past its last test of the flag; it then keeps
    // its success. Once the state is finished the result never changes.
    void RequestAbort()
    {
        std::lock_guard<std::mutex> guard(m_finishLock);
        if (m_nBuildState.load() != BUILD_STATE_FINISHED) m_nBuildResult.store(BUILD_RESULT_ABORTED);
    }

    // The engine's last step: the final result and the finished state
    // together, so that no abort request falls between the two. A failure
    // keeps an abort or "nothing to store" (2) already recorded; a success
    // is a success whatever was asked after the last test of the flag.
    void FinishBuild(bool failed)
    {
        std::lock_guard<std::mutex> guard(m_finishLock);
        if (!failed)
            m_nBuildResult.store(BUILD_RESULT_OK);
        else if (m_nBuildResult.load() == BUILD_RESULT_OK)
            m_nBuildResult.store(BUILD_RESULT_FAILED);
        m_nBuildState.store(BUILD_STATE_FINISHED);
    }

    // Folder of the builder program with a trailing "\": the log and the
    // extractor program live there.
    virtual std::wstring ProgramFolder() const = 0;

    // Progress display.
    virtual void StartProgressTimer() = 0;
    virtual void StopProgressTimer() = 0;
    virtual void SetProgressTotal(uint64_t nDone, uint64_t nTotal) = 0;
    virtual void SetCompressProgress(uint64_t nDone) = 0;
    virtual void SetVerifyProgress(uint64_t nDone) = 0;
    virtual void ShowCounters(const BuildCounters& counters) = 0;
    virtual void ShowSettingsSummary() = 0;
    // The phase line: a phase name, or during the data phase the path of
    // the file being stored (the display shortens it to fit).
    virtual void SetPhaseText(const std::wstring& text) = 0;

    // Written once, after a successful build, before the state becomes 2.
    virtual void SetBuildStatistics(const BuildStatistics& stats) = 0;

private:
    std::mutex m_finishLock;
};

} // namespace zk
