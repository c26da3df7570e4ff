#include "builder/ui/progress_pages.h"

#include "builder/ui/resource.h"

namespace {

// How often the progress page puts the build's values on screen.
constexpr UINT REFRESH_MS = 100;
constexpr UINT BAR_CLOCK_MS = 1000;

} // namespace

// ---- CProgressPage ----

CProgressPage::CProgressPage(IWizardHost* wizard) : CWizardPage(IDD_PAGE_PROGRESS, wizard) {}

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

void CProgressPage::Refresh()
{
    const zk::BuildProgressSnapshot s = m_pWizard->Progress().Snapshot();
    if (s.nPhaseSerial != m_nPhaseSerial) {
        m_nPhaseSerial = s.nPhaseSerial;
        SetItemText(IDC_PHASE, s.strPhase);
    }
    if (s.nCounterSerial != m_nCounterSerial) {
        m_nCounterSerial = s.nCounterSerial;
        std::optional<zk::CounterValues> counters;
        if (s.bCounters)
            counters = zk::CounterValues{s.counters.nFileCount, s.counters.nFolderCount,
                                         s.counters.nContentCount, s.counters.nTotalSize};
        SetItemText(IDC_COUNTERS, zk::FormatCountersText(counters));
    }
    if (s.nSummarySerial != m_nSummarySerial) {
        m_nSummarySerial = s.nSummarySerial;
        ShowSummary(s.nSplitMB);
    }
    if (s.nClockSerial != m_nClockSerial) {
        m_nClockSerial = s.nClockSerial;
        if (s.nClock == zk::CLOCK_RUNNING) {
            m_bar.ResetClock();
            SetTimer(m_bar.Hwnd(), IDT_BAR_CLOCK, BAR_CLOCK_MS, nullptr);
        } else {
            KillTimer(m_bar.Hwnd(), IDT_BAR_CLOCK);
        }
    }
    bool barChanged = m_bar.SetTotal(s.nCompressDone, s.nTotal);
    barChanged = m_bar.SetVerifyDone(s.nVerifyDone) || barChanged;
    if (barChanged) InvalidateRect(m_bar.Hwnd(), nullptr, FALSE);
}

// The settings as the summary shows them; a volume size the build raised
// shows before the wizard takes it into its records.
void CProgressPage::ShowSummary(uint32_t raisedSplitMB)
{
    zk::SettingsValues values = m_pWizard->CurrentSettingsValues();
    if (raisedSplitMB != 0) values.nSplitMB = static_cast<int>(raisedSplitMB);
    SetItemText(IDC_SUMMARY, zk::FormatSettingsSummary(values));
}

void CProgressPage::ResetTexts()
{
    const zk::BuildProgressSnapshot s = m_pWizard->Progress().Snapshot();
    m_nCounterSerial = s.nCounterSerial;
    m_nSummarySerial = s.nSummarySerial;
    SetItemText(IDC_COUNTERS, zk::FormatCountersText(std::nullopt));
    ShowSummary(0);
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

CCompletionPage::CCompletionPage(IWizardHost* wizard) : CWizardPage(IDD_PAGE_COMPLETION, wizard) {}

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

CWelcomePage::CWelcomePage(IWizardHost* wizard) : CWizardPage(IDD_PAGE_WELCOME, wizard) {}

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
