#pragma once
// The progress of one build: written by the build thread, read by the
// progress page from its timer through Snapshot(). Numbers are atomics, the
// phase text and the counters sit under a lock, and every change of a text
// bumps a serial so that the page repaints only what changed. The
// operations are virtual so that tests can record them and act at a given
// moment.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace zk {

// Counters shown on the progress page once the sources are collected.
struct BuildCounters {
    uint32_t nFileCount = 0;
    uint32_t nFolderCount = 0;
    uint32_t nContentCount = 0;
    uint64_t nTotalSize = 0;
};

// The bar's clock: not started, running, stopped.
enum : uint8_t { CLOCK_IDLE, CLOCK_RUNNING, CLOCK_STOPPED };

struct BuildProgressSnapshot {
    uint64_t nTotal = 0;
    uint64_t nCompressDone = 0;
    uint64_t nVerifyDone = 0;
    BuildCounters counters;
    bool bCounters = false; // counters hold the collection's figures
    uint32_t nSplitMB = 0;  // 0 until the build raised the volume size
    std::wstring strPhase;
    uint32_t nPhaseSerial = 0;
    uint32_t nCounterSerial = 0;
    uint32_t nSummarySerial = 0;
    uint32_t nClockSerial = 0;
    uint8_t nClock = CLOCK_IDLE;
};

class BuildProgress {
public:
    virtual ~BuildProgress() = default;

    // Build thread.
    virtual void StartProgressTimer();
    virtual void StopProgressTimer();
    virtual void SetProgressTotal(uint64_t nDone, uint64_t nTotal);
    virtual void SetCompressProgress(uint64_t nDone);
    virtual void SetVerifyProgress(uint64_t nDone);
    virtual void ShowCounters(const BuildCounters& counters);
    // The volume size was raised to nSplitMB.
    virtual void ShowSettingsSummary(uint32_t nSplitMB);
    // The phase line: a phase name, or during the data phase the path of
    // the file being stored (the display shortens it to fit).
    virtual void SetPhaseText(const std::wstring& text);
    // A symbolic link among the sources was left out (links are reported
    // as such only outside Windows). Nothing by default.
    virtual void ShowSkippedLink(const std::wstring& path);

    // Window thread: back to nothing shown, before a build starts.
    void Reset();
    BuildProgressSnapshot Snapshot() const;

private:
    std::atomic<uint64_t> m_nTotal{0};
    std::atomic<uint64_t> m_nCompressDone{0};
    std::atomic<uint64_t> m_nVerifyDone{0};
    std::atomic<uint32_t> m_nSplitMB{0};
    std::atomic<uint32_t> m_nPhaseSerial{0};
    std::atomic<uint32_t> m_nCounterSerial{0};
    std::atomic<uint32_t> m_nSummarySerial{0};
    std::atomic<uint32_t> m_nClockSerial{0};
    std::atomic<uint8_t> m_nClock{CLOCK_IDLE};
    mutable std::mutex m_lock; // m_strPhase, m_counters, m_bCounters
    std::wstring m_strPhase;
    BuildCounters m_counters;
    bool m_bCounters = false;
};

} // namespace zk
