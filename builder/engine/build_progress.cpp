#include "builder/engine/build_progress.h"

namespace zk {

void BuildProgress::StartProgressTimer()
{
    m_nClock.store(CLOCK_RUNNING);
    ++m_nClockSerial;
}

void BuildProgress::StopProgressTimer()
{
    m_nClock.store(CLOCK_STOPPED);
    ++m_nClockSerial;
}

void BuildProgress::SetProgressTotal(uint64_t nDone, uint64_t nTotal)
{
    m_nCompressDone.store(nDone);
    m_nTotal.store(nTotal);
}

void BuildProgress::SetCompressProgress(uint64_t nDone)
{
    m_nCompressDone.store(nDone);
}

void BuildProgress::SetVerifyProgress(uint64_t nDone)
{
    m_nVerifyDone.store(nDone);
}

void BuildProgress::ShowCounters(const BuildCounters& counters)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_counters = counters;
    m_bCounters = true;
    ++m_nCounterSerial;
}

void BuildProgress::ShowSettingsSummary(uint32_t nSplitMB)
{
    m_nSplitMB.store(nSplitMB);
    ++m_nSummarySerial;
}

void BuildProgress::SetPhaseText(const std::wstring& text)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_strPhase = text;
    ++m_nPhaseSerial;
}

void BuildProgress::ShowSkippedLink(const std::wstring&) {}

void BuildProgress::Reset()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_nTotal.store(0);
    m_nCompressDone.store(0);
    m_nVerifyDone.store(0);
    m_nSplitMB.store(0);
    m_nClock.store(CLOCK_IDLE);
    m_strPhase.clear();
    m_counters = BuildCounters{};
    m_bCounters = false;
    // Serials only grow: a page that painted before the reset repaints.
    ++m_nPhaseSerial;
    ++m_nCounterSerial;
    ++m_nSummarySerial;
    ++m_nClockSerial;
}

BuildProgressSnapshot BuildProgress::Snapshot() const
{
    BuildProgressSnapshot s;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        s.strPhase = m_strPhase;
        s.counters = m_counters;
        s.bCounters = m_bCounters;
        s.nPhaseSerial = m_nPhaseSerial.load();
        s.nCounterSerial = m_nCounterSerial.load();
    }
    s.nTotal = m_nTotal.load();
    s.nCompressDone = m_nCompressDone.load();
    s.nVerifyDone = m_nVerifyDone.load();
    s.nSplitMB = m_nSplitMB.load();
    s.nSummarySerial = m_nSummarySerial.load();
    s.nClockSerial = m_nClockSerial.load();
    s.nClock = m_nClock.load();
    return s;
}

} // namespace zk
