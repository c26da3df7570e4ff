#pragma once
// The progress page (phase, bar, counters, settings summary) and the
// completion page (the report of a finished build).
//
// The build thread never touches these windows: it stores values here and
// the progress page puts them on screen from a timer of its own.

#include "builder/engine/build_owner.h"
#include "builder/ui/controls.h"
#include "builder/ui/progress_texts.h"
#include "builder/ui/resource.h"
#include "builder/ui/wizard_page.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <string>

class CProgressPage : public CWizardPage {
public:
    explicit CProgressPage(CWizardDlg* wizard);

    // Called by the build thread.
    void StartProgressTimer();
    void StopProgressTimer();
    void SetProgressTotal(uint64_t done, uint64_t total);
    void SetCompressProgress(uint64_t done);
    void SetVerifyProgress(uint64_t done);
    // The engine's counters, or none (every value "0").
    void ShowCounters(const std::optional<zk::CounterValues>& counters);
    void ShowSettingsSummary();
    void SetPhaseText(const std::wstring& text);

    // Puts every stored value on screen now (window thread).
    void Refresh();
    const zk::CProgressBar& Bar() const { return m_bar; }

    void OnSetActive() override;
    void OnKillActive() override;

protected:
    BOOL OnInitDialog() override;
    void OnTimer(UINT_PTR id) override;
    void OnDestroy() override;

private:
    void ResetTexts();

    zk::CPhaseStatic m_phase;
    zk::CProgressBar m_bar;

    std::mutex m_lock;
    std::wstring m_strPhase;
    std::optional<zk::CounterValues> m_counters;
    bool m_bPhaseChanged = false;
    bool m_bCountersChanged = false;
    std::atomic<bool> m_bSummaryChanged{false};
    std::atomic<bool> m_bBarChanged{false};
    // 0 nothing asked, 1 start the bar's clock, 2 stop it.
    std::atomic<int> m_nClockRequest{0};
};

class CCompletionPage : public CWizardPage {
public:
    explicit CCompletionPage(CWizardDlg* wizard);

    // Written by the build thread before it reports its end.
    void SetStatistics(const zk::BuildStatistics& stats) { m_stats = stats; }
    const zk::BuildStatistics& Statistics() const { return m_stats; }
    bool OpenFolderChecked() const { return IsChecked(IDC_OPEN_FOLDER); }

    void OnSetActive() override;

protected:
    BOOL OnInitDialog() override;

private:
    zk::CTitleStatic m_title;
    zk::BuildStatistics m_stats;
};

class CWelcomePage : public CWizardPage {
public:
    explicit CWelcomePage(CWizardDlg* wizard);

protected:
    BOOL OnInitDialog() override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    zk::CTitleStatic m_title;
};
