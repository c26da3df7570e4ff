#include "sfx/ui/main_dialog.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <algorithm>

#include "core/error_log.h"
#include "core/file_time_win.h"
#include "core/long_path.h"
#include "ui/pickers.h"
#include "core/text_format.h"
#include "core/version_info.h"
#include "ui/message_box.h"
#include "sfx/engine/entry_loader.h"
#include "sfx/engine/error_message.h"
#include "sfx/ui/main_window_texts.h"
#include "sfx/ui/resource.h"
#include "sfx/ui/text_fit.h"
#include "ui/layout.h"

namespace zk {

namespace {

constexpr DWORD TREE_STYLE = WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES |
                             TVS_SHOWSELALWAYS | TVS_DISABLEDRAGDROP | TVS_FULLROWSELECT;
constexpr DWORD LIST_STYLE = WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA |
                             LVS_SHOWSELALWAYS | LVS_NOSORTHEADER | LVS_NOLABELWRAP | LVS_ALIGNLEFT |
                             LVS_SHAREIMAGELISTS;

struct ColumnSpec {
    const wchar_t* header;
    int format;
    int width;
};
constexpr ColumnSpec COLUMNS[COLUMN_COUNT] = {
    {L"名前", LVCFMT_LEFT, 200},
    {L"圧縮サイズ", LVCFMT_RIGHT, 66},
    {L"元サイズ", LVCFMT_RIGHT, 66},
    {L"更新日時", LVCFMT_LEFT, 104},
};

// Multi-line edit controls break lines only at CR LF.
std::wstring WithCrLf(const std::wstring& text)
{
    std::wstring out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r')) out.push_back(L'\r');
        out.push_back(text[i]);
    }
    return out;
}

// The column's width, widened where the dialog font is larger than the one
// the widths were chosen for, so that the header and a full date fit.
int ColumnWidth(HWND list, HFONT font, int column)
{
    static const wchar_t* const WIDEST[COLUMN_COUNT] = {L"", L"1,023 KB", L"1,023 KB", L"2026/12/31 23:59"};
    HDC dc = GetDC(list);
    HGDIOBJ old = SelectObject(dc, font);
    int needed = 0;
    for (const wchar_t* text : {COLUMNS[column].header, WIDEST[column]}) {
        SIZE size = {};
        GetTextExtentPoint32W(dc, text, lstrlenW(text), &size);
        // Both sides' margins of a list cell.
        needed = std::max<int>(needed, size.cx + 16);
    }
    SelectObject(dc, old);
    ReleaseDC(list, dc);
    return std::max(ScaleForDpi(list, COLUMNS[column].width), needed);
}

constexpr CWorkerDialogue::Style EXTRACTOR_STYLE = {ERROR_CAPTION, QUESTION_CAPTION, 0};

void OpenLogInNotepad(const std::wstring& logPath)
{
    ShellExecuteW(nullptr, L"open", L"notepad.exe", logPath.c_str(), L"", SW_SHOWNORMAL);
}

} // namespace

std::wstring EntryColumnText(const EntryNode& node, int column)
{
    const EntryInfo* info = node.m_pInfo.get();
    if (column == COLUMN_NAME) return info ? info->m_strName : std::wstring(TEXT_MISSING_INFO);
    if (!info) return std::wstring();
    switch (column) {
    case COLUMN_STORED_SIZE:
        return FormatSizeText(info->m_nStoredSize, SIZE_AUTO);
    case COLUMN_SIZE:
        return FormatSizeText(info->m_nSize, SIZE_AUTO);
    case COLUMN_MODIFIED:
        return ListDateText(ToFileTime(info->m_nWriteTime));
    }
    return std::wstring();
}

CMainDialog::CMainDialog(HINSTANCE instance, ArchiveState& state)
    : CDialog(IDD_MAIN), m_hInstance(instance), m_state(state), m_session(state, this),
      m_progressBar(m_session.m_progress, m_session.m_status), m_showLog(&OpenLogInNotepad),
      m_dialogue(*this, EXTRACTOR_STYLE)
{
    m_dialogue.SetBoxFunc([this](HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags) {
        return ShowWorkerBox(owner, text, caption, flags);
    });
}

CMainDialog::~CMainDialog()
{
    if (m_hBarBlue) DeleteObject(m_hBarBlue);
    if (m_hBarGreen) DeleteObject(m_hBarGreen);
    if (m_hSummaryFont) DeleteObject(m_hSummaryFont);
}

BOOL CMainDialog::OnInitDialog()
{
    m_hBarBlue = static_cast<HBITMAP>(
        LoadImageW(m_hInstance, MAKEINTRESOURCEW(IDB_BAR_BLUE), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    m_hBarGreen = static_cast<HBITMAP>(
        LoadImageW(m_hInstance, MAKEINTRESOURCEW(IDB_BAR_GREEN), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));

    const wchar_t* version = VersionProductVersion();
    if (NoUi()) {
        LayoutNoUi();
        SetDestination(m_state.m_strDestOverride.empty()
                           ? InitialDestination(L"", m_state.m_strArchivePath, true)
                           : m_state.m_strDestOverride);
        SetWindowTextW(Hwnd(), WindowTitle(L"", version ? version : L"").c_str());
    } else {
        if (ShowsList())
            CreateTreeAndList();
        else
            LayoutWithoutList();
        SetDestination(InitialDestination(m_state.m_strDestOverride.empty() ? m_state.m_strDestFolder
                                                                            : m_state.m_strDestOverride,
                                          m_state.m_strArchivePath, false));
        SetItemText(IDC_COMMENT, WithCrLf(m_state.m_strComment));
        UpdateSummary();
        EnableItem(IDOK, false);
        SetWindowTextW(Hwnd(), WindowTitle(m_state.m_strTitle, version ? version : L"").c_str());
    }

    m_destEdit.Attach(Item(IDC_DEST), [this](const std::wstring& text) { SetDestination(text); });
    m_progressBar.Attach(Item(IDC_PROGRESS), m_hBarBlue);
    m_pDropTarget = DropTargetObject::Create(Item(IDC_DEST));
    m_bDropRegistered = SUCCEEDED(RegisterDragDrop(Item(IDC_DEST), m_pDropTarget));
    DragAcceptFiles(Item(IDC_DEST), TRUE);

    // Without a window the analysis goes on to extract everything.
    if (!StartWorker(m_session, &AnalysisWorker, RequestNow()) && !NoUi()) EnableItem(IDOK, true);
    return TRUE;
}

void CMainDialog::LayoutNoUi()
{
    HWND dialog = Hwnd();
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        ShowWindow(child, SW_HIDE);
    HWND line = Item(IDC_DEST_CAPTION), bar = Item(IDC_PROGRESS), close = Item(IDCANCEL);
    SetWindowTextW(line, TEXT_ANALYSING_LINE);
    SetWindowTextW(close, TEXT_ABORT_CLOSE);

    SetWindowPos(dialog, nullptr, 0, 0, ScaleForDpi(dialog, NO_UI_WIDTH), ScaleForDpi(dialog, NO_UI_HEIGHT),
                 SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    RECT client;
    GetClientRect(dialog, &client);

    RECT rl = ChildRect(dialog, line), rb = ChildRect(dialog, close), rp = ChildRect(dialog, bar);
    int lineRight = rl.right - ScaleForDpi(dialog, 80);
    // The window is narrower than the full dialog: keep the line's margin on
    // the right too.
    lineRight = std::min<int>(lineRight, client.right - rl.left);
    int lineHeight = rl.bottom - rl.top;
    MoveChild(line, rl.left, rl.top, lineRight - rl.left, lineHeight);

    int buttonW = rb.right - rb.left, buttonH = rb.bottom - rb.top;
    int barH = rp.bottom - rp.top;
    int buttonTop = rl.bottom + ScaleForDpi(dialog, 4);
    // The window keeps its size unless the button would not fit below the line.
    int needed = std::max<int>(buttonTop + buttonH, rl.bottom + ScaleForDpi(dialog, 5) + barH) + rl.top;
    if (needed > client.bottom) {
        RECT w;
        GetWindowRect(dialog, &w);
        SetWindowPos(dialog, nullptr, 0, 0, w.right - w.left, (w.bottom - w.top) + needed - client.bottom,
                     SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    }
    MoveChild(close, lineRight - buttonW, buttonTop, buttonW, buttonH);
    MoveChild(bar, rl.left, rl.bottom + ScaleForDpi(dialog, 5),
              (lineRight - buttonW - ScaleForDpi(dialog, 12)) - rl.left, barH);

    ShowWindow(line, SW_SHOW);
    ShowWindow(bar, SW_SHOW);
    ShowWindow(close, SW_SHOW);

    // Centre the smaller window where the full one was centred.
    RECT w, work;
    GetWindowRect(dialog, &w);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    SetWindowPos(dialog, nullptr, work.left + ((work.right - work.left) - (w.right - w.left)) / 2,
                 work.top + ((work.bottom - work.top) - (w.bottom - w.top)) / 2, 0, 0,
                 SWP_NOZORDER | SWP_NOSIZE | SWP_NOACTIVATE);
}

void CMainDialog::LayoutWithoutList()
{
    HWND dialog = Hwnd();
    int shorter = ScaleForDpi(dialog, LIST_AREA_HEIGHT);
    OffsetChild(dialog, Item(IDOK), -shorter);
    OffsetChild(dialog, Item(IDCANCEL), -shorter);
    OffsetChild(dialog, Item(IDC_PROGRESS), -shorter);
    RECT w;
    GetWindowRect(dialog, &w);
    SetWindowPos(dialog, nullptr, w.left, w.top + shorter / 2, w.right - w.left, (w.bottom - w.top) - shorter,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void CMainDialog::CreateTreeAndList()
{
    HWND dialog = Hwnd();
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
    // With a taller dialog font the summary's frame reaches further down:
    // the views then start below it instead of under it.
    int top = std::max<int>(ScaleForDpi(dialog, 158),
                            ChildRect(dialog, Item(IDC_SUMMARY_GROUP)).bottom + ScaleForDpi(dialog, 4));
    m_hTree = CreateWindowExW(WS_EX_STATICEDGE, WC_TREEVIEWW, L"", TREE_STYLE, ScaleForDpi(dialog, 13), top,
                              ScaleForDpi(dialog, 196), ScaleForDpi(dialog, 204), dialog,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_TREE)), m_hInstance, nullptr);
    m_hList = CreateWindowExW(WS_EX_STATICEDGE, WC_LISTVIEWW, L"", LIST_STYLE, ScaleForDpi(dialog, 218), top,
                              ScaleForDpi(dialog, 460), ScaleForDpi(dialog, 204), dialog,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_LIST)), m_hInstance, nullptr);
    if (m_hTree) SendMessageW(m_hTree, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (m_hList) {
        SendMessageW(m_hList, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        ListView_SetExtendedListViewStyle(m_hList, LVS_EX_DOUBLEBUFFER | LVS_EX_INFOTIP);
    }
    // Keep the tab order: destination, tree, list, then the buttons.
    SetWindowPos(m_hList, Item(IDC_SUMMARY), 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetWindowPos(m_hTree, Item(IDC_SUMMARY), 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    m_icons.Load();
    if (m_icons.List()) {
        TreeView_SetImageList(m_hTree, m_icons.List(), TVSIL_NORMAL);
        ListView_SetImageList(m_hList, m_icons.List(), LVSIL_SMALL);
    }
    int widths[COLUMN_COUNT] = {};
    int others = 0;
    for (int i = 1; i < COLUMN_COUNT; ++i)
        others += (widths[i] = ColumnWidth(m_hList, font, i));
    // Wider size and date columns come out of the name column, so that the
    // list needs no horizontal scroll bar.
    RECT client;
    GetClientRect(m_hList, &client);
    int rest = client.right - GetSystemMetrics(SM_CXVSCROLL) - others;
    widths[COLUMN_NAME] =
        std::clamp(rest, ScaleForDpi(dialog, 120), ScaleForDpi(dialog, COLUMNS[COLUMN_NAME].width));
    for (int i = 0; i < COLUMN_COUNT; ++i) {
        LVCOLUMNW col = {};
        col.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH | LVCF_SUBITEM;
        col.fmt = COLUMNS[i].format;
        col.cx = widths[i];
        col.pszText = const_cast<wchar_t*>(COLUMNS[i].header);
        col.iSubItem = i;
        ListView_InsertColumn(m_hList, i, &col);
    }
}

void CMainDialog::SetDestination(const std::wstring& text)
{
    m_strDestination = text;
    if (ItemText(IDC_DEST) != text) SetItemText(IDC_DEST, text);
}

void CMainDialog::UpdateSummary()
{
    SummaryFacts f;
    f.m_nTotalSize = m_state.m_nTotalSize;
    f.m_nSizeEstimate = m_state.m_nSizeEstimate;
    f.m_nVolumeSize = m_state.m_nVolumeSize;
    f.m_nFileCount = m_state.m_nFileCount;
    f.m_nFolderCount = m_state.m_nFolderCount;
    f.m_nContentCount = m_state.m_nContentCount;
    f.m_nArchiveFlags = m_state.m_header.m_nFlags;
    HWND summary = Item(IDC_SUMMARY);
    // The text may use the whole inside of its group box, with the margin it
    // has on the left on the right too; only what does not fit there makes
    // the font smaller.
    RECT group = ChildRect(Hwnd(), Item(IDC_SUMMARY_GROUP));
    RECT room = ChildRect(Hwnd(), summary);
    const int margin = room.left - group.left;
    if (margin > 0 && group.right - margin > room.left && group.bottom - margin / 2 > room.top)
        SetWindowPos(summary, nullptr, 0, 0, group.right - margin - room.left,
                     group.bottom - margin / 2 - room.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (m_hSummaryFont) {
        // Back to the dialog's font before the new text is measured.
        SendMessageW(summary, WM_SETFONT, SendMessageW(Hwnd(), WM_GETFONT, 0, 0), FALSE);
        DeleteObject(m_hSummaryFont);
        m_hSummaryFont = nullptr;
    }
    SetItemText(IDC_SUMMARY, SummaryText(f));
    m_hSummaryFont = FitStaticTextFont(summary);
}

// Worker side of the view: everything that touches a control goes through
// the dialog's own thread.

Answer CMainDialog::Ask(const UserMessage& message)
{
    // A system error keeps its ownerless box on the calling thread: the
    // window stays usable beneath it, its abort button included, while the
    // worker waits there.
    if (message.m_nSource == SOURCE_SYSTEM)
        return AnswerFromButton(ShowUserMessage(nullptr, message, EXTRACTOR_STYLE, m_box));
    return m_dialogue.Ask(message);
}

int CMainDialog::ShowWorkerBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags)
{
    ++m_nBoxesShown;
    int id = m_box ? m_box(owner, text, caption, flags) : ShowMessageBox(owner, text, caption, flags);
    --m_nBoxesShown;
    // Waiting for the worker inside the box would wait for ever: the worker
    // waits for this box.
    if (m_nBoxesShown == 0 && m_bEndAfterBox) {
        m_bEndAfterBox = false;
        PostMessageW(Hwnd(), WM_SFX_CLOSE_WHEN_DONE, 0, 0);
    }
    if (m_nBoxesShown == 0 && m_bCloseAfterBox) {
        m_bCloseAfterBox = false;
        PostMessageW(Hwnd(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
    return id;
}

void CMainDialog::ProgressStarted(uint32_t nRefreshMs, bool bAnalysis)
{
    PostMessageW(Hwnd(), WM_SFX_TIMER, nRefreshMs, bAnalysis ? 1 : 0);
}

void CMainDialog::ProgressStopped()
{
    PostMessageW(Hwnd(), WM_SFX_TIMER, 0, 0);
}

void CMainDialog::RepaintProgress()
{
    m_progressBar.Repaint();
}

void CMainDialog::FillTree()
{
    SendMessageW(Hwnd(), WM_SFX_FILL_TREE, 0, 0);
}

void CMainDialog::RefreshSummary()
{
    PostMessageW(Hwnd(), WM_SFX_SUMMARY, 0, 0);
}

void CMainDialog::EnableExtractButton()
{
    PostMessageW(Hwnd(), WM_SFX_ENABLE_EXTRACT, 0, 0);
}

void CMainDialog::CloseWhenDone()
{
    PostMessageW(Hwnd(), WM_SFX_CLOSE_WHEN_DONE, 0, 0);
}

void CMainDialog::ShowCurrentPath(const std::wstring& path)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_strShownPath = path;
        m_bShownPathChanged = true;
        // While the line is being refreshed on a timer, the timer picks the
        // newest path up; a post per small file would cost more than the
        // file itself.
        if (m_bPathTimerOn) return;
        m_bPathTimerOn = true;
    }
    PostMessageW(Hwnd(), WM_SFX_SHOW_PATH, 0, 0);
}

bool CMainDialog::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result)
{
    result = 0;
    switch (msg) {
    case WM_SFX_TIMER:
        KillTimer(Hwnd(), PROGRESS_TIMER_ID);
        KillTimer(Item(IDC_PROGRESS), PROGRESS_TIMER_ID);
        if (wp) SetTimer(lp ? Hwnd() : Item(IDC_PROGRESS), PROGRESS_TIMER_ID, static_cast<UINT>(wp), nullptr);
        if (!wp) m_progressBar.Repaint();
        return true;
    case WM_SFX_FILL_TREE:
        FillTreeNow();
        return true;
    case WM_SFX_SUMMARY:
        UpdateSummary();
        return true;
    case WM_SFX_ENABLE_EXTRACT:
        EnableItem(IDOK, true);
        return true;
    case WM_SFX_CLOSE_WHEN_DONE:
        EndAfterWorker();
        return true;
    case WM_SFX_SHOW_PATH:
        ShowPathNow();
        SetTimer(Hwnd(), PATH_TIMER_ID, PATH_REFRESH_MS, nullptr);
        return true;
    case WM_CLOSE:
        // The caption's close box and Alt+F4 ask like the close button.
        OnCommand(IDCANCEL, BN_CLICKED, nullptr);
        return true;
    }
    return false;
}

void CMainDialog::OnTimer(UINT_PTR id)
{
    if (id == PROGRESS_TIMER_ID) m_progressBar.Repaint();
    if (id == PATH_TIMER_ID) {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            if (!m_bShownPathChanged) {
                // Nothing new since the last tick: the next path posts again.
                m_bPathTimerOn = false;
                KillTimer(Hwnd(), PATH_TIMER_ID);
                return;
            }
        }
        ShowPathNow();
    }
}

void CMainDialog::ShowPathNow()
{
    std::wstring path;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        path = m_strShownPath;
        m_bShownPathChanged = false;
    }
    HWND line = Item(IDC_DEST_CAPTION);
    RECT r;
    GetClientRect(line, &r);
    std::vector<wchar_t> buffer(path.begin(), path.end());
    buffer.resize(std::max<size_t>(buffer.size() + 1, MAX_PATH), L'\0');
    HDC dc = GetDC(line);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(line, WM_GETFONT, 0, 0)));
    PathCompactPathW(dc, buffer.data(), static_cast<UINT>(r.right - r.left));
    SelectObject(dc, old);
    ReleaseDC(line, dc);
    SetWindowTextW(line, buffer.data());
}

// Commands.

// Every command is the window's own: none reaches the default handling,
// which would end the dialog on IDOK and IDCANCEL.
bool CMainDialog::OnCommand(int id, int code, HWND)
{
    switch (id) {
    case IDOK:
        // Without a window the hidden extract button is out of reach, also
        // for the Enter key: only the close button aborts.
        if (NoUi()) break;
        if (m_session.m_ctx.m_nRunning)
            RequestAbort();
        else
            RunExtraction(&ExtractAllWorker);
        break;
    case IDM_EXTRACT_SELECTED:
        if (m_session.m_ctx.m_nRunning)
            RequestAbort();
        else if (ShowsList())
            RunExtraction(&ExtractSelectedWorker);
        break;
    case IDCANCEL:
        CloseRequested();
        break;
    case IDC_BROWSE:
        if (code == BN_CLICKED) BrowseDestination();
        break;
    case IDM_SELECT_ALL:
        if (m_hList) ListView_SetItemState(m_hList, -1, LVIS_SELECTED, LVIS_SELECTED);
        break;
    }
    return true;
}

void CMainDialog::RequestAbort()
{
    m_session.m_ctx.m_nAbort = 1;
    m_session.m_status.Set(TEXT_BUSY_WAIT);
    m_progressBar.Repaint();
    // Taken away at once: the request may come from inside a worker's box,
    // before the run's own loop sees the abort.
    if (m_bExtracting) EnableItem(IDOK, false);
}

void CMainDialog::CloseRequested()
{
    if (m_bClosing) return;
    if (m_nBoxesShown > 0) {
        if (NoUi()) RequestAbort();
        if (NoUi() || !m_bExtracting) m_bCloseAfterBox = true;
        return;
    }
    if (NoUi()) {
        if (m_session.m_ctx.m_nRunning) {
            RequestAbort();
            // The analysis may hand over to the extraction just now; the
            // abort is repeated until nothing runs any more.
            m_bClosing = true;
            // The workers send to this window and show boxes it owns: it
            // keeps handling its messages while it waits for them.
            while (m_session.m_ctx.m_nRunning) {
                m_session.m_ctx.m_nAbort = 1;
                DispatchPending();
                if (m_session.m_ctx.m_nRunning) MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            }
        }
        EndDialog(IDCANCEL);
        return;
    }
    // The tree and the session must outlive the worker: a close during the
    // analysis waits for it; during an extraction the close button is
    // disabled and other ways to close are ignored.
    if (m_bExtracting) return;
    m_bClosing = true;
    PumpWhileRunning(false);
    EndDialog(IDCANCEL);
}

void CMainDialog::EndAfterWorker()
{
    if (m_bClosing) return;
    if (m_nBoxesShown > 0) {
        m_bEndAfterBox = true;
        return;
    }
    m_bClosing = true;
    PumpWhileRunning(false);
    EndDialog(IDOK);
}

void CMainDialog::DispatchPending()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Keep the quit for the outer loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (!IsDialogMessageW(Hwnd(), &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

void CMainDialog::PumpWhileRunning(bool stopEarly)
{
    WorkerContext& ctx = m_session.m_ctx;
    while (ctx.m_nRunning) {
        if (stopEarly && (ctx.m_nAbort || ctx.m_nFailed)) return;
        DispatchPending();
        if (!ctx.m_nRunning) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

void CMainDialog::RunExtraction(WorkerProc worker)
{
    // The box may still have the focus (Enter pressed in it): take what it
    // shows now.
    SetDestination(ItemText(IDC_DEST));
    ExtractRequest request = RequestNow();

    HWND dialog = Hwnd();
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        EnableWindow(child, FALSE);
    EnableItem(IDC_SUMMARY_GROUP, true);
    EnableItem(IDC_SUMMARY, true);
    EnableItem(IDOK, true);
    EnableItem(IDCANCEL, false);
    SetItemText(IDOK, TEXT_ABORT_EXTRACT);
    SetFocus(Item(IDOK));
    m_bExtracting = true;

    if (StartWorker(m_session, worker, std::move(request))) {
        PumpWhileRunning(true);
        EnableItem(IDOK, false);
        PumpWhileRunning(false);
    }

    m_bExtracting = false;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        EnableWindow(child, TRUE);
    SetItemText(IDOK, TEXT_EXTRACT);
    m_progressBar.Repaint();
    if (!NoUi() && ErrorLogWanted(m_session) && WriteErrorLog(m_session, m_dialogue) == 0 && m_showLog)
        m_showLog(ExtractorLogPath(m_state.m_strArchivePath.c_str()));
    m_session.m_ctx.Clear();
    SetFocus(Item(IDOK));
}

void CMainDialog::BrowseDestination()
{
    const wchar_t* chosen = BrowseForFolder(Hwnd(), nullptr, m_strDestination.c_str());
    if (!chosen) return;
    std::wstring folder = chosen;
    AddTrailingSlash(folder);
    SetDestination(folder);
}

// The tree and the list.

void CMainDialog::FillTreeNow()
{
    if (!m_hTree) return;
    TreeView_DeleteAllItems(m_hTree);
    TVINSERTSTRUCTW ins = {};
    ins.hParent = TVI_ROOT;
    ins.hInsertAfter = TVI_LAST;
    ins.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_STATE;
    ins.item.pszText = const_cast<wchar_t*>(TEXT_ARCHIVE_ROOT);
    ins.item.iImage = ins.item.iSelectedImage = m_icons.Drive();
    // Inserted collapsed and expanded once filled: under an expanded item
    // every insertion lays out all items again, which takes minutes for tens
    // of thousands of folders.
    ins.item.state = ins.item.stateMask = TVIS_BOLD;
    ins.item.lParam = reinterpret_cast<LPARAM>(&m_state.m_root);
    SendMessageW(m_hTree, WM_SETREDRAW, FALSE, 0);
    m_hRootItem = TreeView_InsertItem(m_hTree, &ins);
    m_treeItems.clear();
    m_treeItems[&m_state.m_root] = m_hRootItem;
    InsertFolders(m_state.m_root, m_hRootItem);
    TreeView_Expand(m_hTree, m_hRootItem, TVE_EXPAND);
    SendMessageW(m_hTree, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(m_hTree, nullptr, TRUE);
    TreeView_SelectItem(m_hTree, m_hRootItem);
}

void CMainDialog::InsertFolders(EntryNode& parent, HTREEITEM parentItem)
{
    std::vector<EntryNode*> folders;
    for (EntryNode* c = parent.m_pFirstChild; c; c = c->m_pNextSibling)
        if (c->IsFolder()) folders.push_back(c);
    // Inserted in the order the tree shows them.
    std::stable_sort(folders.begin(), folders.end(), [](const EntryNode* a, const EntryNode* b) {
        return StrCmpLogicalW(a->m_strName.c_str(), b->m_strName.c_str()) < 0;
    });
    for (EntryNode* folder : folders) {
        TVINSERTSTRUCTW ins = {};
        ins.hParent = parentItem;
        ins.hInsertAfter = TVI_LAST;
        ins.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
        ins.item.pszText = const_cast<wchar_t*>(folder->m_strName.c_str());
        ins.item.iImage = ins.item.iSelectedImage = m_icons.Folder();
        ins.item.lParam = reinterpret_cast<LPARAM>(folder);
        HTREEITEM item = TreeView_InsertItem(m_hTree, &ins);
        m_treeItems[folder] = item;
        // The tree holds the name from now on.
        std::wstring().swap(folder->m_strName);
        if (item) InsertFolders(*folder, item);
    }
}

ExtractRequest CMainDialog::RequestNow() const
{
    ExtractRequest request;
    request.m_strDestination = m_strDestination;
    request.m_pFolder = m_pCurrentFolder;
    request.m_listFolderChain = CurrentFolderChain();
    return request;
}

std::vector<EntryNode*> CMainDialog::CurrentFolderChain() const
{
    std::vector<EntryNode*> chain;
    if (!m_hTree) return chain;
    for (HTREEITEM item = TreeView_GetSelection(m_hTree); item && item != m_hRootItem;
         item = TreeView_GetParent(m_hTree, item)) {
        TVITEMW tv = {};
        tv.mask = TVIF_PARAM;
        tv.hItem = item;
        if (!TreeView_GetItem(m_hTree, &tv)) break;
        chain.insert(chain.begin(), reinterpret_cast<EntryNode*>(tv.lParam));
    }
    return chain;
}

void CMainDialog::OnTreeSelChanged(NMTREEVIEWW* nm)
{
    ListView_SetItemCountEx(m_hList, 0, 0);
    // The flags mirror the list's selection, and the list is empty now: a
    // later "extract selected" must not take entries nobody sees.
    for (EntryNode* c : m_listChildren)
        c->m_bSelected = 0;
    m_listChildren.clear();
    auto* node = reinterpret_cast<EntryNode*>(nm->itemNew.lParam);
    if (!node || !node->m_pFirstChild) return;
    m_pCurrentFolder = node;
    LoadChildrenInfo(m_session, *node);
    SortChildren(*node);
    for (EntryNode* c = node->m_pFirstChild; c; c = c->m_pNextSibling)
        m_listChildren.push_back(c);
    ListView_SetItemCountEx(m_hList, static_cast<int>(m_listChildren.size()), 0);
    TreeView_Expand(m_hTree, nm->itemNew.hItem, TVE_EXPAND);
}

void CMainDialog::OnListDisplayInfo(NMLVDISPINFOW* info)
{
    LVITEMW& item = info->item;
    if (item.iItem < 0 || static_cast<size_t>(item.iItem) >= m_listChildren.size()) return;
    const EntryNode& node = *m_listChildren[static_cast<size_t>(item.iItem)];
    if (item.mask & LVIF_IMAGE) {
        if (node.IsFolder())
            item.iImage = m_icons.Folder();
        else
            item.iImage = node.m_pInfo ? m_icons.ForFile(node.m_pInfo->m_strName) : m_icons.GenericFile();
    }
    if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
        std::wstring text = EntryColumnText(node, item.iSubItem);
        lstrcpynW(item.pszText, text.c_str(), item.cchTextMax);
    }
}

void CMainDialog::SyncSelection()
{
    for (size_t i = 0; i < m_listChildren.size(); ++i) {
        UINT state = ListView_GetItemState(m_hList, static_cast<int>(i), LVIS_SELECTED);
        m_listChildren[i]->m_bSelected = (state & LVIS_SELECTED) ? 1 : 0;
    }
}

void CMainDialog::OnListRightClick()
{
    HMENU menu = CreatePopupMenu();
    if (!menu) return;
    AppendMenuW(menu, MF_STRING, IDM_EXTRACT_SELECTED, TEXT_MENU_EXTRACT_SELECTED);
    AppendMenuW(menu, MF_STRING, IDM_SELECT_ALL, TEXT_MENU_SELECT_ALL);
    POINT pt;
    GetCursorPos(&pt);
    TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, pt.x, pt.y, 0, Hwnd(), nullptr);
    DestroyMenu(menu);
}

void CMainDialog::OnListDoubleClick(NMITEMACTIVATE* nm)
{
    if (nm->iItem < 0 || static_cast<size_t>(nm->iItem) >= m_listChildren.size()) return;
    EntryNode* node = m_listChildren[static_cast<size_t>(nm->iItem)];
    if (!node->IsFolder() || !node->m_pFirstChild) return;
    auto item = m_treeItems.find(node);
    if (item != m_treeItems.end() && item->second) TreeView_SelectItem(m_hTree, item->second);
}

LRESULT CMainDialog::OnNotify(int id, NMHDR* header)
{
    if (id == IDC_TREE && m_hTree) {
        switch (header->code) {
        case TVN_SELCHANGEDW:
            OnTreeSelChanged(reinterpret_cast<NMTREEVIEWW*>(header));
            return 0;
        case NM_DBLCLK:
            if (TreeView_GetSelection(m_hTree) == m_hRootItem && m_hRootItem) {
                TreeView_Expand(m_hTree, m_hRootItem, TVE_TOGGLE);
                return 1;
            }
            return 0;
        }
        return 0;
    }
    if (id == IDC_LIST && m_hList) {
        switch (header->code) {
        case LVN_GETDISPINFOW:
            OnListDisplayInfo(reinterpret_cast<NMLVDISPINFOW*>(header));
            return 0;
        case LVN_ITEMCHANGED:
        case LVN_ODSTATECHANGED:
            SyncSelection();
            return 0;
        case NM_RCLICK:
            OnListRightClick();
            return 0;
        case NM_DBLCLK:
            OnListDoubleClick(reinterpret_cast<NMITEMACTIVATE*>(header));
            return 0;
        }
    }
    return 0;
}

void CMainDialog::OnDestroy()
{
    KillTimer(Hwnd(), PROGRESS_TIMER_ID);
    KillTimer(Item(IDC_PROGRESS), PROGRESS_TIMER_ID);
    if (m_bDropRegistered) RevokeDragDrop(Item(IDC_DEST));
    m_bDropRegistered = false;
    if (m_pDropTarget) m_pDropTarget->Release();
    m_pDropTarget = nullptr;
    m_destEdit.Detach();
    m_progressBar.Detach();
    // The system's image list is shared with every other user: the views
    // only borrow it.
    if (m_hList) ListView_SetItemCountEx(m_hList, 0, 0);
    m_listChildren.clear();
    m_pCurrentFolder = nullptr;
    m_treeItems.clear();
    FreeTree(m_state);
}

void RunMainDialog(HINSTANCE instance, ArchiveState& state)
{
    CMainDialog dialog(instance, state);
    dialog.Run(nullptr);
}

} // namespace zk
