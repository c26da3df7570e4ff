#pragma once
// The extractor's main window (dialog 129): destination, comment, summary,
// the optional folder tree and contents list, and the progress bar. It
// starts the workers, turns its extract button into an abort button while
// they run and shows the error log after a failed run. Without a window
// (no-UI mode) it shrinks to a progress line that extracts everything at
// once and closes itself.

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "sfx/ui/destination_edit.h"
#include "sfx/ui/drop_target.h"
#include "sfx/engine/extract_engine.h"
#include "sfx/ui/file_icons.h"
#include "sfx/ui/progress_bar.h"
#include "ui/dialog.h"
#include "ui/worker_dialogue.h"

namespace zk {

// Private messages the workers post or send to the dialog: the window's
// controls and timers are only touched on its own thread.
enum : UINT {
    WM_SFX_TIMER = WM_APP + 1, // wParam: elapse (0 = stop), lParam: 1 on the dialog (the analysis)
    WM_SFX_FILL_TREE = WM_APP + 2,
    WM_SFX_SUMMARY = WM_APP + 3,
    WM_SFX_ENABLE_EXTRACT = WM_APP + 4,
    WM_SFX_CLOSE_WHEN_DONE = WM_APP + 5,
    WM_SFX_SHOW_PATH = WM_APP + 6,
};

// The no-UI path line follows the worker at most this often.
constexpr UINT_PTR PATH_TIMER_ID = 32869;
constexpr UINT PATH_REFRESH_MS = 100;

// Texts of the window's states.
constexpr wchar_t TEXT_BUSY_WAIT[] = L"処理中！！ しばらくお待ちください";
constexpr wchar_t TEXT_EXTRACT[] = L"解凍(&S)";
constexpr wchar_t TEXT_ABORT_EXTRACT[] = L"中止(&S)";
constexpr wchar_t TEXT_ABORT_CLOSE[] = L"中止(&C)";
constexpr wchar_t TEXT_ANALYSING_LINE[] = L"ファイル構成を解析しています．．．";
constexpr wchar_t TEXT_ARCHIVE_ROOT[] = L"書庫";
constexpr wchar_t TEXT_MISSING_INFO[] = L"Error";
constexpr wchar_t TEXT_MENU_EXTRACT_SELECTED[] = L"選択ファイルを解凍";
constexpr wchar_t TEXT_MENU_SELECT_ALL[] = L"全て選択";

// Sizes of the layout in pixels.
constexpr int LIST_AREA_HEIGHT = 204;
constexpr int NO_UI_WIDTH = 520;
constexpr int NO_UI_HEIGHT = 98;

// The list's column texts for an entry (info may be null: its record could
// not be read).
std::wstring EntryColumnText(const EntryNode& node, int column);

class CMainDialog : public CDialog, public IExtractCallback {
public:
    CMainDialog(HINSTANCE instance, ArchiveState& state);
    ~CMainDialog() override;

    INT_PTR Run(HWND owner = nullptr) { return DoModal(owner, m_hInstance); }

    ExtractSession& Session() { return m_session; }

    // IExtractCallback: called from the worker threads (Ask also from the
    // window's own).
    Answer Ask(const UserMessage& message) override;
    void ProgressStarted(uint32_t nRefreshMs, bool bAnalysis) override;
    void ProgressStopped() override;
    void RepaintProgress() override;
    void FillTree() override;
    void RefreshSummary() override;
    void EnableExtractButton() override;
    void CloseWhenDone() override;
    void ShowCurrentPath(const std::wstring& path) override;

    // Shows a written error log; Notepad unless a test records the path.
    using LogViewer = std::function<void(const std::wstring& logPath)>;
    void SetLogViewer(LogViewer viewer) { m_showLog = std::move(viewer); }
    // Replaces the message box (tests answer here); set before the window runs.
    void SetBoxFunc(CWorkerDialogue::BoxFunc box) { m_box = std::move(box); }

    // Rebuilds the summary text from the archive's parameters.
    void UpdateSummary();

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(int id, int code, HWND ctl) override;
    LRESULT OnNotify(int id, NMHDR* header) override;
    void OnTimer(UINT_PTR id) override;
    void OnDestroy() override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

private:
    bool NoUi() const { return (m_state.m_nSfxFlags & SF_NO_UI) != 0; }
    bool ShowsList() const { return !NoUi() && (m_state.m_nSfxFlags & SF_SHOW_LIST) != 0; }

    void LayoutNoUi();
    void LayoutWithoutList();
    void CreateTreeAndList();
    void SetDestination(const std::wstring& text);

    void RunExtraction(WorkerProc worker);
    void RequestAbort();
    void CloseRequested();
    // Dispatches this thread's messages every 20 ms while running is set
    // (and, when stopEarly, only until abort or failed is set too).
    void PumpWhileRunning(bool stopEarly);
    // Handles the messages waiting for this thread (sent ones included).
    void DispatchPending();
    void EndAfterWorker();
    // The box of a worker's message, on this thread; what waits for the
    // worker is put off until it is answered.
    int ShowWorkerBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags);

    void FillTreeNow();
    void InsertFolders(EntryNode& parent, HTREEITEM parentItem);
    void OnTreeSelChanged(NMTREEVIEWW* nm);
    void OnListDisplayInfo(NMLVDISPINFOW* info);
    void SyncSelection();
    void OnListRightClick();
    void OnListDoubleClick(NMITEMACTIVATE* nm);
    void BrowseDestination();
    void ShowPathNow();
    std::vector<EntryNode*> CurrentFolderChain() const;
    ExtractRequest RequestNow() const;

    HINSTANCE m_hInstance;
    ArchiveState& m_state;
    ExtractSession m_session;
    CExtractProgressBar m_progressBar;
    CDestinationEdit m_destEdit;
    CFileIcons m_icons;
    DropTargetObject* m_pDropTarget = nullptr;
    bool m_bDropRegistered = false;
    HBITMAP m_hBarBlue = nullptr;
    HBITMAP m_hBarGreen = nullptr;
    HFONT m_hSummaryFont = nullptr; // a smaller font the summary needed, or null
    HWND m_hTree = nullptr;
    HWND m_hList = nullptr;
    HTREEITEM m_hRootItem = nullptr;
    std::unordered_map<const EntryNode*, HTREEITEM> m_treeItems;

    // The folder whose children the list shows, and those children by index.
    EntryNode* m_pCurrentFolder = nullptr;
    std::vector<EntryNode*> m_listChildren;

    std::wstring m_strDestination;
    LogViewer m_showLog;
    CWorkerDialogue::BoxFunc m_box;
    CWorkerDialogue m_dialogue;
    // Boxes of the workers' messages open on this thread, and what was put
    // off until they are answered.
    int m_nBoxesShown = 0;
    bool m_bEndAfterBox = false;
    bool m_bCloseAfterBox = false;
    // The no-UI path line, written by the worker.
    mutable std::mutex m_lock;
    std::wstring m_strShownPath;
    bool m_bShownPathChanged = false;
    bool m_bPathTimerOn = false;

    bool m_bExtracting = false;
    bool m_bClosing = false;
};

// Runs the main dialog for an opened archive (the start-up's hand-over).
void RunMainDialog(HINSTANCE instance, ArchiveState& state);

} // namespace zk
