#pragma once
// The progress page (phase, bar, counters, settings summary) and the
// completion page (the report of a finished build).
//
// The build thread never touches these windows: it writes the build's
// progress, and the progress page puts a snapshot of it on screen from a
// timer of its own.

#include "builder/engine/build_job.h"
#include "builder/ui/controls.h"
#include "builder/ui/progress_texts.h"
#include "builder/ui/resource.h"
#include "builder/ui/wizard_page.h"

#include <optional>
#include <string>

class CProgressPage : public CWizardPage {
public:
    explicit CProgressPage(IWizardHost* wizard);

    // Puts what changed in the build's progress on screen now.
    void Refresh();
    const zk::CProgressBar& Bar() const { return m_bar; }

    void OnSetActive() override;
    void OnKillActive() override;

protected:
    BOOL OnInitDialog() override;
    void OnTimer(UINT_PTR id) override;
    void OnDestroy() override;

private:
    // Counters "0" and the settings as they stand, until the build says more.
    void ResetTexts();
    void ShowSummary(uint32_t raisedSplitMB);

    zk::CPhaseStatic m_phase;
    zk::CProgressBar m_bar;
    // The serials of the snapshot last put on screen.
    uint32_t m_nPhaseSerial = 0;
    uint32_t m_nCounterSerial = 0;
    uint32_t m_nSummarySerial = 0;
    uint32_t m_nClockSerial = 0;
};

class CCompletionPage : public CWizardPage {
public:
    explicit CCompletionPage(IWizardHost* wizard);

    // Given by the wizard once a build succeeded.
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
    explicit CWelcomePage(IWizardHost* wizard);

protected:
    BOOL OnInitDialog() override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    zk::CTitleStatic m_title;
};
