#include "builder/ui/wizard_dlg.h"

#include "builder/engine/build_engine.h"
#include "ui/layout.h"
#include "builder/ui/file_list_page.h"
#include "builder/ui/options_page.h"
#include "builder/ui/progress_pages.h"
#include "builder/ui/resource.h"
#include "builder/ui/settings_dlg.h"
#include "builder/settings/settings_store.h"
#include "core/file_io.h"
#include "core/long_path.h"
#include "ui/message_box.h"
#include "core/version_info.h"

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>

namespace {

constexpr UINT BUILD_TIMER_MS = 500;
// After an aborted build the archive may still be held for a moment (a
// virus scanner, the shell); deleting is tried this often, 500 ms apart.
constexpr int DELETE_ATTEMPTS = 9;
constexpr DWORD DELETE_RETRY_MS = 500;

// Where the pages sit in the wizard's client area, in pixels at 96 DPI.
constexpr int PAGE_LEFT = 14;
constexpr int PAGE_TOP = 70;

const wchar_t* const APP_CAPTION = BUILDER_MESSAGE_STYLE.strProgramCaption;
const wchar_t* const QUESTION_CAPTION = BUILDER_MESSAGE_STYLE.strQuestionCaption;

class CAboutDlg : public zk::CDialog {
public:
    CAboutDlg(std::wstring version, std::wstring notice)
        : zk::CDialog(IDD_ABOUT), m_strVersion(std::move(version)), m_strNotice(std::move(notice))
    {
    }

protected:
    BOOL OnInitDialog() override
    {
        SetItemText(IDC_ABOUT_VERSION, m_strVersion);
        SetItemText(IDC_ABOUT_NOTICE, m_strNotice);
        return TRUE;
    }

private:
    std::wstring m_strVersion;
    std::wstring m_strNotice;
};

} // namespace

CWizardDlg::CWizardDlg() : zk::CDialog(IDD_WIZARD) {}

CWizardDlg::~CWizardDlg()
{
    // The build thread uses this object until it ends; it is asked to stop
    // and waited for before anything goes away.
    if (m_buildThread.joinable()) {
        m_build.RequestAbort();
        m_buildThread.join();
    }
}

CFileListPage* CWizardDlg::FilePage() const
{
    return static_cast<CFileListPage*>(m_pages[zk::PAGE_FILES].get());
}

COptionsPage* CWizardDlg::OptionsPage() const
{
    return static_cast<COptionsPage*>(m_pages[zk::PAGE_OPTIONS].get());
}

CProgressPage* CWizardDlg::ProgressPage() const
{
    return static_cast<CProgressPage*>(m_pages[zk::PAGE_PROGRESS].get());
}

CCompletionPage* CWizardDlg::CompletionPage() const
{
    return static_cast<CCompletionPage*>(m_pages[zk::PAGE_COMPLETION].get());
}

std::wstring CWizardDlg::VersionLabel() const
{
    return std::wstring(zk::VersionInternalName()) + L" Ver " + zk::VersionProductVersion();
}

std::wstring CWizardDlg::LegalNotice() const
{
    return zk::VersionLegalCopyright();
}

zk::SettingsValues CWizardDlg::CurrentSettingsValues() const
{
    zk::SettingsValues s;
    s.strArchivePath = m_prm.m_strArchivePath;
    s.bPassword = !m_prm.m_strPassword.empty();
    s.nSplitMB = m_prm.m_nSplitMB;
    s.nCompressKind = m_env.m_nCompressKind;
    s.nCompressLevel = m_env.m_nCompressLevel;
    s.bVerify = m_env.m_bVerify != 0;
    s.bHash = m_env.m_bHash != 0;
    s.bIncludeHidden = m_env.m_bIncludeHidden != 0;
    s.bUseWorkFolder = m_env.m_bUseWorkFolder != 0;
    s.strWorkFolder = m_env.m_strWorkFolder;
    s.bUseExclusions = m_env.m_bUseExclusions != 0;
    s.exclusions.assign(m_env.m_setExclusions.begin(), m_env.m_setExclusions.end());
    return s;
}

BOOL CWizardDlg::OnInitDialog()
{
    wchar_t aboutText[128] = {};
    if (LoadStringW(GetModuleHandleW(nullptr), IDS_ABOUTBOX, aboutText, 128) > 0) {
        if (HMENU menu = GetSystemMenu(Hwnd(), FALSE)) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, aboutText);
        }
    }

    HINSTANCE instance = GetModuleHandleW(nullptr);
    m_hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_ZELKORA));
    HICON smallIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_ZELKORA), IMAGE_ICON,
                                                    GetSystemMetrics(SM_CXSMICON),
                                                    GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    SendMessageW(Hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageW(Hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon ? smallIcon : m_hIcon));

    if (m_prm.m_shellDesktop.Failed()) {
        zk::ShowMessageBox(Hwnd(), L"SHGetDesktopFolderが失敗しました", APP_CAPTION, MB_OK | MB_ICONERROR);
        // Without the shell nothing can be chosen; the wizard closes.
        PostMessageW(Hwnd(), WM_COMMAND, IDC_CLOSE, 0);
        return TRUE;
    }

    SetItemText(IDC_VERSION, VersionLabel());

    SHFILEINFOW info{};
    m_hSysImageList = reinterpret_cast<HIMAGELIST>(
        SHGetFileInfoW(L"C:\\", 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON));

    LoadEnv(m_strProgramFolder, m_env);
    ApplyEnvOverrides(m_overrides, m_env);
    ApplyArchiveOverrides(m_overrides, m_prm);

    m_headerBand.Attach(Hwnd(), IDC_HEADER_BAND);
    m_headerTitle.Attach(Hwnd(), IDC_HEADER_TITLE);
    m_headerDesc.Attach(Hwnd(), IDC_HEADER_DESC);
    CreatePages();
    LayOut();
    m_bPagesReady = true;

    if (!m_arrStartFiles.empty()) {
        GoToPage(+1);
        for (const std::wstring& path : m_arrStartFiles) {
            if (zk::ListsStartupPath(path, m_env.m_bIncludeHidden != 0)) {
                FilePage()->AddSource(path, false);
                m_bMayAdvance = 1;
            }
        }
        // The build starts by itself only with something to store under a
        // usable name; otherwise the wizard waits where the user can add
        // files or name the archive.
        if (m_nStayOnFilePage == 0 && !m_prm.m_listSources.empty()) {
            GoToPage(+1);
            if (m_bMayAdvance) GoToPage(+1);
        }
    } else {
        GoToPage(0);
    }
    UpdateButtons();
    return FALSE; // the page has placed the focus
}

void CWizardDlg::CreatePages()
{
    m_pages[zk::PAGE_WELCOME] = std::make_unique<CWelcomePage>(this);
    m_pages[zk::PAGE_FILES] = std::make_unique<CFileListPage>(this);
    m_pages[zk::PAGE_OPTIONS] = std::make_unique<COptionsPage>(this);
    m_pages[zk::PAGE_PROGRESS] = std::make_unique<CProgressPage>(this);
    m_pages[zk::PAGE_COMPLETION] = std::make_unique<CCompletionPage>(this);
    for (auto& page : m_pages)
        page->Create(Hwnd());
}

// The template is laid out in dialog units, the pages' place in pixels: the
// header, the guidance line and the buttons are fitted around the pages so
// that nothing overlaps whatever the font.
void CWizardDlg::LayOut()
{
    HWND hwnd = Hwnd();
    int pageLeft = zk::ScaleForDpi(hwnd, PAGE_LEFT);
    int pageTop = zk::ScaleForDpi(hwnd, PAGE_TOP);
    int gap = zk::ScaleForDpi(hwnd, 8);

    int pageWidth = 0, pageHeight = 0;
    for (auto& page : m_pages) {
        RECT rc{};
        GetWindowRect(page->Hwnd(), &rc);
        pageWidth = std::max<int>(pageWidth, rc.right - rc.left);
        pageHeight = std::max<int>(pageHeight, rc.bottom - rc.top);
    }

    RECT client{};
    GetClientRect(hwnd, &client);
    int oldWidth = client.right;
    int width = std::max<int>(oldWidth, pageLeft * 2 + pageWidth);

    TEXTMETRICW tm{};
    HDC dc = GetDC(hwnd);
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
    HGDIOBJ old = SelectObject(dc, font);
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(hwnd, dc);
    int line = tm.tmHeight + tm.tmExternalLeading;

    int bandHeight = pageTop - gap;
    MoveWindow(Item(IDC_HEADER_BAND), 0, 0, width, bandHeight, FALSE);
    int titleTop = gap;
    MoveWindow(Item(IDC_HEADER_TITLE), gap * 3 / 2, titleTop, width - gap * 3, line + 2, FALSE);
    int descTop = titleTop + line + gap / 2;
    MoveWindow(Item(IDC_HEADER_DESC), gap * 3, descTop, width - gap * 4, bandHeight - descTop - 2, FALSE);
    MoveWindow(Item(IDC_HEADER_LINE), 0, bandHeight, width, 2, FALSE);

    int guideTop = pageTop + pageHeight + gap;
    MoveWindow(Item(IDC_GUIDE), pageLeft, guideTop, width - pageLeft * 2, line + 2, FALSE);
    int lineTop = guideTop + line + gap;
    MoveWindow(Item(IDC_BUTTON_LINE), 0, lineTop, width, 2, FALSE);

    int buttonTop = lineTop + gap;
    RECT next = zk::ChildRect(hwnd, Item(IDC_NEXT));
    int buttonHeight = next.bottom - next.top;
    int shift = width - oldWidth;
    for (int id : {IDC_SETTINGS, IDC_RELOAD_SAVE, IDC_BACK, IDC_NEXT, IDC_CLOSE}) {
        RECT rc = zk::ChildRect(hwnd, Item(id));
        MoveWindow(Item(id), rc.left + shift, buttonTop, rc.right - rc.left, buttonHeight, FALSE);
    }
    RECT version = zk::ChildRect(hwnd, Item(IDC_VERSION));
    MoveWindow(Item(IDC_VERSION), version.left, buttonTop + (buttonHeight - line) / 2,
               version.right - version.left, line + 2, FALSE);

    RECT frame{0, 0, width, buttonTop + buttonHeight + gap + gap / 2};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE)));
    int frameWidth = frame.right - frame.left;
    int frameHeight = frame.bottom - frame.top;
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    int x = area.left + std::max<int>(0, (area.right - area.left - frameWidth) / 2);
    int y = area.top + std::max<int>(0, (area.bottom - area.top - frameHeight) / 2);
    SetWindowPos(hwnd, nullptr, x, y, frameWidth, frameHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(hwnd, nullptr, TRUE);
}

void CWizardDlg::SetHeaderTexts()
{
    const zk::PageTexts& texts = zk::PAGE_TEXTS[m_nPage];
    SetItemText(IDC_HEADER_TITLE, texts.title);
    SetItemText(IDC_HEADER_DESC, texts.description);
    SetItemText(IDC_GUIDE, texts.guide);
    for (int id : {IDC_HEADER_TITLE, IDC_HEADER_DESC, IDC_GUIDE})
        RedrawWindow(Item(id), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void CWizardDlg::GoToPage(int step)
{
    if (!m_bPagesReady) return;
    if (m_nPage == zk::PAGE_OPTIONS && step != 0) OptionsPage()->CommitEdits();

    int oldPage = m_nPage;
    m_nPage += step;
    if (m_nPage >= zk::PAGE_COUNT) {
        if (CompletionPage()->OpenFolderChecked()) OpenOutputFolder();
        EndDialog(IDOK);
        return;
    }
    if (m_nPage < 0) m_nPage = 0;

    if (m_nPage == zk::PAGE_COMPLETION) {
        if (m_env.m_bAutoSave) SavePrm(m_strProgramFolder, m_prm);
        if (m_env.m_bNoCompletionPage) {
            EndDialog(IDOK);
            return;
        }
    }
    if (m_nPage == zk::PAGE_PROGRESS && zk::PathExists(m_prm.m_strArchivePath.c_str())) {
        int answer =
            zk::ShowMessageBox(Hwnd(), L"指定の書庫ファイルは既に存在します。上書きしてもよろしいですか？",
                               QUESTION_CAPTION, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
        if (answer != IDYES) {
            m_nPage -= step;
            return;
        }
    }
    if (m_nPage == zk::PAGE_OPTIONS && step == -1 && m_build.m_nResult.load() == zk::BUILD_RESULT_FAILED)
        OpenErrorLog();

    SetHeaderTexts();
    CWizardPage* old = m_pages[oldPage].get();
    if (oldPage != m_nPage && old && old->Hwnd()) {
        old->OnKillActive();
        ShowWindow(old->Hwnd(), SW_HIDE);
    }
    CWizardPage* page = m_pages[m_nPage].get();
    if (!page->Hwnd()) page->Create(Hwnd());
    SetWindowPos(page->Hwnd(), HWND_TOP, zk::ScaleForDpi(Hwnd(), PAGE_LEFT),
                 zk::ScaleForDpi(Hwnd(), PAGE_TOP), 0, 0, SWP_NOSIZE);
    ShowWindow(page->Hwnd(), SW_SHOW);
    page->OnSetActive();
    // The page's boxes are what its edits are taken from: they show what
    // the command line's switches set.
    if (m_nPage == zk::PAGE_OPTIONS && m_overrides.Any()) OptionsPage()->FillOptionsPage();
}

void CWizardDlg::UpdateButtons()
{
    if (!m_bPagesReady) return;
    zk::WizardButtons buttons = zk::ButtonsForPage(m_nPage, m_bMayAdvance != 0);
    auto apply = [this](int id, const zk::ButtonState& state) {
        if (!state.strText.empty() && ItemText(id) != state.strText) SetItemText(id, state.strText);
        ShowItem(id, state.bShown);
        EnableItem(id, state.bEnabled);
    };
    apply(IDC_SETTINGS, buttons.settings);
    apply(IDC_RELOAD_SAVE, buttons.reloadSave);
    apply(IDC_BACK, buttons.back);
    apply(IDC_NEXT, buttons.next);
    apply(IDC_CLOSE, buttons.close);

    if (m_nPage == zk::PAGE_PROGRESS) StartBuild();
}

bool CWizardDlg::BuildRunning() const
{
    return m_buildThread.joinable();
}

void CWizardDlg::StartBuild()
{
    // One build at a time: buttons may be refreshed again while it runs.
    if (BuildRunning()) return;
    m_build.m_nState.store(zk::BUILD_STATE_NONE);
    m_build.m_nResult.store(zk::BUILD_RESULT_OK);
    m_bAbortRequested = false;
    m_progress.Reset();
    m_job = zk::BuildJob{};
    m_job.settings = ToBuildSettings(m_env, m_prm, m_strProgramFolder);
    m_job.pDialogue = &m_dialogue;
    m_job.pProgress = &m_progress;
    m_job.pFlags = &m_build;
    SetTimer(Hwnd(), IDT_BUILD, BUILD_TIMER_MS, nullptr);
    try {
        m_buildThread = std::thread([this] { zk::BuildWorker(m_job); });
    } catch (...) {
        // No thread: the timer reports a failed build.
        m_job.settings.WipePassword();
        m_build.Finish(true);
    }
}

void CWizardDlg::OnBuildTimer()
{
    if (m_build.m_nState.load() != zk::BUILD_STATE_FINISHED) {
        // The build thread clears the result when it starts; a stop asked
        // for before that moment would be lost, so it is asked again until
        // the thread ends.
        if (m_bAbortRequested) m_build.RequestAbort();
        return;
    }
    KillTimer(Hwnd(), IDT_BUILD);
    // The state is the thread's last word; joining returns at once and
    // guarantees that the thread no longer touches this object.
    if (m_buildThread.joinable()) m_buildThread.join();
    // What the build left for this thread: a volume size the user agreed
    // to raise, the figures of a success.
    if (m_job.nRaisedSplitMB != 0) m_prm.m_nSplitMB = static_cast<int32_t>(m_job.nRaisedSplitMB);
    if (m_job.bStatistics) CompletionPage()->SetStatistics(m_job.stats);
    ProgressPage()->Refresh();

    uint8_t result = m_build.m_nResult.load();
    if (!m_arrStartFiles.empty() || m_bCloseAfterBuild) {
        if (result == zk::BUILD_RESULT_ABORTED) DeleteUnfinishedArchive();
        EndDialog(m_bCloseAfterBuild ? IDCANCEL : IDOK);
        return;
    }
    GoToPage(result == zk::BUILD_RESULT_OK ? +1 : -1);
    UpdateButtons();
}

void CWizardDlg::OnAbortPressed()
{
    m_bAbortRequested = true;
    // A build that has finished, or finishes meanwhile, keeps its result.
    m_build.RequestAbort();
    EnableItem(IDC_NEXT, false);
}

void CWizardDlg::DeleteUnfinishedArchive()
{
    const wchar_t* path = m_prm.m_strArchivePath.c_str();
    for (int attempt = 0; attempt < DELETE_ATTEMPTS; ++attempt) {
        zk::DeleteFileOrDefer(path, false);
        if (!zk::PathExists(path)) return;
        Sleep(DELETE_RETRY_MS);
    }
}

void CWizardDlg::OnTimer(UINT_PTR id)
{
    if (id == IDT_BUILD) OnBuildTimer();
}

bool CWizardDlg::OnCommand(int id, int code, HWND ctl)
{
    if (code != BN_CLICKED) return zk::CDialog::OnCommand(id, code, ctl);
    switch (id) {
    case IDC_BACK:
        if (m_nPage == zk::PAGE_FILES || m_nPage == zk::PAGE_OPTIONS) {
            GoToPage(-1);
            UpdateButtons();
        }
        return true;
    case IDC_NEXT:
        if (!IsWindowEnabled(Item(IDC_NEXT))) return true;
        if (m_nPage == zk::PAGE_PROGRESS) {
            OnAbortPressed();
        } else {
            GoToPage(+1);
            UpdateButtons();
        }
        return true;
    case IDC_CLOSE:
        OnCancel();
        return true;
    case IDC_RELOAD_SAVE:
        OnReloadOrSave();
        return true;
    case IDC_SETTINGS:
        if (m_nPage <= zk::PAGE_OPTIONS) OnSettings();
        return true;
    default:
        return zk::CDialog::OnCommand(id, code, ctl);
    }
}

// Enter moves on to the next control; it never closes the wizard nor
// presses "次へ >" behind the user's back.
void CWizardDlg::OnOK()
{
    SendMessageW(Hwnd(), WM_NEXTDLGCTL, 0, FALSE);
}

// Escape, the close box and "閉じる". During a build the build thread still
// uses this window: the build is asked to stop and the wizard closes when
// the thread has ended (OnBuildTimer).
void CWizardDlg::OnCancel()
{
    if (BuildRunning()) {
        m_bCloseAfterBuild = true;
        OnAbortPressed();
        return;
    }
    EndDialog(IDCANCEL);
}

void CWizardDlg::OnDestroy()
{
    KillTimer(Hwnd(), IDT_BUILD);
    for (auto& page : m_pages) {
        if (page && page->Hwnd()) DestroyWindow(page->Hwnd());
        page.reset();
    }
    m_bPagesReady = false;
}

bool CWizardDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM, LRESULT& result)
{
    switch (msg) {
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
            ShowAbout();
            result = 0;
            return true;
        }
        return false;
    case WM_PAINT:
        if (!IsIconic(Hwnd())) return false;
        {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(Hwnd(), &ps);
            RECT rc;
            GetClientRect(Hwnd(), &rc);
            int x = (rc.right - GetSystemMetrics(SM_CXICON) + 1) / 2;
            int y = (rc.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2;
            DrawIcon(dc, x, y, m_hIcon);
            EndPaint(Hwnd(), &ps);
        }
        result = 0;
        return true;
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<LRESULT>(m_hIcon);
        return true;
    default:
        return false;
    }
}

void CWizardDlg::OnReloadOrSave()
{
    switch (m_nPage) {
    case zk::PAGE_FILES:
        FilePage()->RemoveAllSources();
        LoadPrm(m_strProgramFolder, m_prm);
        FilePage()->ReAddAllSources();
        OptionsPage()->FillOptionsPage();
        FilePage()->RefreshFileListPage();
        break;
    case zk::PAGE_OPTIONS:
        OptionsPage()->CommitEdits();
        SavePrm(m_strProgramFolder, m_prm);
        break;
    case zk::PAGE_COMPLETION:
        SavePrm(m_strProgramFolder, m_prm);
        break;
    default:
        break;
    }
}

void CWizardDlg::OnSettings()
{
    CSettingsDlg dialog;
    dialog.m_env.CopyFrom(m_env);
    if (dialog.DoModal(Hwnd()) != IDOK) return;
    m_env.CopyFrom(dialog.m_env);
    SaveEnv(m_strProgramFolder, m_env);
}

void CWizardDlg::OpenErrorLog()
{
    // The log belongs to the build that just failed only when this build
    // was asked to keep one; an older log would mislead.
    if (!m_env.m_bShowLogOnError) return;
    std::wstring log = m_strProgramFolder + L"Zelkora.log";
    if (!zk::PathExists(log.c_str())) return;
    wchar_t program[MAX_PATH] = {};
    auto found = reinterpret_cast<INT_PTR>(FindExecutableW(log.c_str(), nullptr, program));
    if (found > 32 && program[0]) {
        ShellExecuteW(Hwnd(), L"open", log.c_str(), nullptr, L"", SW_SHOWNORMAL);
    } else {
        std::wstring quoted = L"\"" + log + L"\"";
        ShellExecuteW(Hwnd(), L"open", L"notepad.exe", quoted.c_str(), L"", SW_SHOWNORMAL);
    }
}

void CWizardDlg::OpenOutputFolder()
{
    std::wstring folder = zk::ParentFolder(m_prm.m_strArchivePath);
    if (!folder.empty()) ShellExecuteW(Hwnd(), L"open", folder.c_str(), nullptr, L"", SW_SHOWNORMAL);
}

void CWizardDlg::ShowAbout()
{
    CAboutDlg about(VersionLabel(), LegalNotice());
    about.DoModal(Hwnd());
}
