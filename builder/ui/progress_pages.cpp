#include "builder/ui/progress_pages.h"

#include "builder/ui/resource.h"
#include "builder/ui/wizard_dlg.h"

namespace {

// How often the progress page puts the build's values on screen.
constexpr UINT REFRESH_MS = 100;
constexpr UINT BAR_CLOCK_MS = 1000;

} // namespace

// ---- CProgressPage ----

CProgressPage::CProgressPage(CWizardDlg* wizard) : CWizardPage(IDD_PAGE_PROGRESS, wizard) {}

BOOL CProgressPage::OnInitDialog()
{
    m_phase.Attach(Hwnd(), IDC_PHASE);
    m_bar.Attach(Hwnd(), IDC_BAR);
    m_bar.ResetClock();
    return TRUE;
}

void CProgressPage::OnDestroy()
{
    KillTimer(Hwnd(), IDT_PROGRESS_REFRESH);
}

void CProgressPage::StartProgressTimer()
{
    m_bar.ResetClock();
    m_nClockRequest.store(1);
    m_bBarChanged.store(true);
}

void CProgressPage::StopProgressTimer()
{
    m_nClockRequest.store(2);
}

void CProgressPage::SetProgressTotal(uint64_t done, uint64_t total)
{
    if (m_bar.SetTotal(done, total)) m_bBarChanged.store(true);
}

void CProgressPage::SetCompressProgress(uint64_t done)
{
    if (m_bar.SetCompressDone(done)) m_bBarChanged.store(true);
}

void CProgressPage::SetVerifyProgress(uint64_t done)
{
    if (m_bar.SetVerifyDone(done)) m_bBarChanged.store(true);
}

void CProgressPage::ShowCounters(const std::optional<zk::CounterValues>& counters)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_counters = counters;
    m_bCountersChanged = true;
}

void CProgressPage::ShowSettingsSummary()
{
    m_bSummaryChanged.store(true);
}

void CProgressPage::SetPhaseText(const std::wstring& text)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_strPhase = text;
    m_bPhaseChanged = true;
}

void CProgressPage::Refresh()
{
    std::wstring phase;
    std::optional<zk::CounterValues> counters;
    bool phaseChanged, countersChanged;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        phaseChanged = std::exchange(m_bPhaseChanged, false);
        countersChanged = std::exchange(m_bCountersChanged, false);
        phase = m_strPhase;
        counters = m_counters;
    }
    if (phaseChanged) SetItemText(IDC_PHASE, phase);
    if (countersChanged) SetItemText(IDC_COUNTERS, zk::FormatCountersText(counters));
    if (m_bSummaryChanged.exchange(false))
        SetItemText(IDC_SUMMARY, zk::FormatSettingsSummary(m_pWizard->CurrentSettingsValues()));
    switch (m_nClockRequest.exchange(0)) {
    case 1:
        SetTimer(m_bar.Hwnd(), IDT_BAR_CLOCK, BAR_CLOCK_MS, nullptr);
        break;
    case 2:
        KillTimer(m_bar.Hwnd(), IDT_BAR_CLOCK);
        break;
    default:
        break;
    }
    if (m_bBarChanged.exchange(false)) InvalidateRect(m_bar.Hwnd(), nullptr, FALSE);
}

void CProgressPage::ResetTexts()
{
    ShowCounters(std::nullopt);
    ShowSettingsSummary();
    Refresh();
}

void CProgressPage::OnSetActive()
{
    ResetTexts();
    SetTimer(Hwnd(), IDT_PROGRESS_REFRESH, REFRESH_MS, nullptr);
}

void CProgressPage::OnKillActive()
{
    KillTimer(Hwnd(), IDT_PROGRESS_REFRESH);
    KillTimer(m_bar.Hwnd(), IDT_BAR_CLOCK);
    ResetTexts();
}

void CProgressPage::OnTimer(UINT_PTR id)
{
    if (id == IDT_PROGRESS_REFRESH) Refresh();
}

// ---- CCompletionPage ----

CCompletionPage::CCompletionPage(CWizardDlg* wizard) : CWizardPage(IDD_PAGE_COMPLETION, wizard) {}

BOOL CCompletionPage::OnInitDialog()
{
    m_title.Attach(Hwnd(), IDC_DONE_TITLE);
    m_title.SetBackground(GetSysColor(COLOR_BTNFACE));
    SetChecked(IDC_OPEN_FOLDER, false);
    return TRUE;
}

void CCompletionPage::OnSetActive()
{
    zk::ResultValues result;
    result.nFileCount = m_stats.nFileCount;
    result.nFolderCount = m_stats.nFolderCount;
    result.nContentCount = m_stats.nContentCount;
    result.nTotalSize = m_stats.nTotalSize;
    result.nStreamBytes = m_stats.nStreamBytes;
    result.nElapsedSeconds = m_stats.nElapsedSeconds;
    SetItemText(IDC_RESULT, zk::FormatCompletionReport(result, m_pWizard->CurrentSettingsValues()));
}

// ---- CWelcomePage ----

CWelcomePage::CWelcomePage(CWizardDlg* wizard) : CWizardPage(IDD_PAGE_WELCOME, wizard) {}

BOOL CWelcomePage::OnInitDialog()
{
    m_title.Attach(Hwnd(), IDC_WELCOME_TITLE);
    SetItemText(IDC_WELCOME_NOTICE, m_pWizard->LegalNotice());
    return TRUE;
}

// A white page: the dialog and its texts are painted on white.
bool CWelcomePage::OnMessage(UINT msg, WPARAM wParam, LPARAM, LRESULT& result)
{
    if (msg != WM_CTLCOLORDLG && msg != WM_CTLCOLORSTATIC) return false;
    HDC dc = reinterpret_cast<HDC>(wParam);
    SetBkColor(dc, RGB(255, 255, 255));
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    result = reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
    return true;
}
