// The main window run in this process on a thread of its own, with the
// extractor program's resources, driven through window messages while
// its workers extract real archives.

#include <gtest/gtest.h>

#include <ole2.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "sfx/ui/main_dialog.h"
#include "sfx/ui/resource.h"
#include "sfx/tests/sfx_test_support.h"

namespace zk::test {
namespace {

HMODULE ExtractorResources()
{
    static HMODULE module = LoadLibraryExW(ZK_SFX_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    return module;
}

// On the steady clock: two tick counts a moment apart may come out in the
// wrong order under Wine, which made their unsigned difference huge.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 20000)
{
    const auto start = std::chrono::steady_clock::now();
    while (!condition()) {
        if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(timeoutMs)) return false;
        Sleep(10);
    }
    return true;
}

std::wstring TextOf(HWND wnd)
{
    wchar_t buffer[512] = {};
    GetWindowTextW(wnd, buffer, 512);
    return buffer;
}

// Message boxes that wait for the test to answer them, handling the
// window's messages meanwhile as a box's own loop does.
class HeldBoxes {
public:
    CWorkerDialogue::BoxFunc Func()
    {
        return [this](HWND, const wchar_t* text, const wchar_t*, UINT) {
            {
                std::lock_guard<std::mutex> lock(m_lock);
                m_texts.push_back(text);
                m_changed.notify_all();
            }
            for (;;) {
                {
                    std::lock_guard<std::mutex> lock(m_lock);
                    if (m_nAnswer != 0) return std::exchange(m_nAnswer, 0);
                }
                MSG msg;
                while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                    TranslateMessage(&msg);
                    DispatchMessageW(&msg);
                }
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            }
        };
    }

    bool WaitAsked(size_t count)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(lock, std::chrono::seconds(20), [&] { return m_texts.size() >= count; });
    }
    void Answer(int answer)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_nAnswer = answer;
        m_changed.notify_all();
    }
    std::vector<std::wstring> Texts()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_texts;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<std::wstring> m_texts;
    int m_nAnswer = 0;
};

std::vector<std::wstring> g_openedLogs;
void RecordLog(const std::wstring& path)
{
    g_openedLogs.push_back(path);
}

// An opened archive and its main window on a thread of its own.
class WindowRun {
public:
    explicit WindowRun(const std::wstring& archive, CWorkerDialogue::BoxFunc box = {})
        : m_archive(archive, L"", false)
    {
        m_pDialog = std::make_unique<CMainDialog>(ExtractorResources(), m_archive.m_state);
        m_pDialog->SetLogViewer(&RecordLog);
        m_pDialog->SetBoxFunc(std::move(box));
        m_thread = std::thread([this] {
            OleInitialize(nullptr);
            m_nResult = m_pDialog->Run();
            m_nRunningAtEnd = m_pDialog->Session().m_ctx.m_nRunning.load();
            m_bEnded = true;
            OleUninitialize();
        });
    }
    ~WindowRun()
    {
        if (!m_bEnded && Dialog()) PostMessageW(Dialog(), WM_COMMAND, IDCANCEL, 0);
        m_thread.join();
    }

    bool Opened() const { return m_archive.m_bOpened; }
    HWND Dialog() const { return m_pDialog->Hwnd(); }
    HWND Item(int id) const { return GetDlgItem(Dialog(), id); }
    ExtractSession& Session() { return m_pDialog->Session(); }
    bool WaitShown()
    {
        return WaitUntil([&] { return Dialog() && IsWindowVisible(Dialog()); });
    }
    bool WaitIdle()
    {
        return WaitUntil([&] { return IsWindowEnabled(Item(IDOK)) && !Session().m_ctx.m_nRunning; });
    }
    void Command(int id) { PostMessageW(Dialog(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    // Returns once the window's thread has come back to its messages: what
    // the handler it was in decided (ending the window included) is done.
    void Settle() { SendMessageW(Dialog(), WM_NULL, 0, 0); }
    // Ending a dialog hides it at once; it is destroyed only later.
    bool StillShown() const { return !m_bEnded && IsWindowVisible(Dialog()); }
    // Returns once the command's handler is done (an extraction included).
    void CommandAndWait(int id) { SendMessageW(Dialog(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    bool WaitEnded()
    {
        return WaitUntil([&] { return m_bEnded.load(); });
    }

    OpenedArchive m_archive;
    std::unique_ptr<CMainDialog> m_pDialog;
    std::thread m_thread;
    std::atomic<bool> m_bEnded{false};
    std::atomic<INT_PTR> m_nResult{0};
    std::atomic<int> m_nRunningAtEnd{-1};
};

std::vector<TestEntry> SmallTree()
{
    return {TestEntry::Folder(u"dir", {TestEntry::File(u"a.txt", TextBytes(5000))}),
            TestEntry::File(u"b.bin", RandomBytes(3000, 7), METHOD_STORED)};
}

TEST(ExtractorResources, BandBitmapsRunFromEdgeToMiddleToEdge)
{
    ASSERT_TRUE(ExtractorResources());
    struct Band {
        int id;
        COLORREF top, middle, bottom;
    } bands[] = {
        {IDB_BAR_BLUE, RGB(75, 184, 239), RGB(58, 134, 197), RGB(146, 183, 214)},
        {IDB_BAR_GREEN, RGB(75, 239, 184), RGB(58, 197, 134), RGB(146, 214, 183)},
    };
    for (const Band& b : bands) {
        auto bmp = static_cast<HBITMAP>(LoadImageW(ExtractorResources(), MAKEINTRESOURCEW(b.id), IMAGE_BITMAP,
                                                   0, 0, LR_CREATEDIBSECTION));
        ASSERT_TRUE(bmp) << b.id;
        DIBSECTION dib = {};
        ASSERT_EQ(GetObjectW(bmp, sizeof dib, &dib), static_cast<int>(sizeof dib));
        EXPECT_EQ(dib.dsBm.bmWidth, 300);
        EXPECT_EQ(dib.dsBm.bmHeight, 27);
        EXPECT_EQ(dib.dsBm.bmBitsPixel, 24);
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, bmp);
        EXPECT_EQ(GetPixel(dc, 0, 0), b.top);
        EXPECT_EQ(GetPixel(dc, 299, 13), b.middle);
        EXPECT_EQ(GetPixel(dc, 150, 26), b.bottom);
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bmp);
    }
    wchar_t text[101] = {};
    EXPECT_GT(LoadStringW(ExtractorResources(), IDS_SFX_TITLE, text, 100), 0);
    EXPECT_STREQ(text, L"ZelkoraSfx");
    EXPECT_GT(LoadStringW(ExtractorResources(), IDS_SFX_CLASS, text, 100), 0);
    EXPECT_STREQ(text, L"ZELKORASFX");
    EXPECT_TRUE(FindResourceW(ExtractorResources(), MAKEINTRESOURCEW(IDI_SFX), RT_GROUP_ICON));
}

TEST(ExtractorWindowInProcess, AbortShowsTheWaitTextUntilTheWorkerStops)
{
    SfxScratch dir;
    std::wstring path = dir / L"run.zka";
    ASSERT_TRUE(WriteArchive(BuildTestArchive(SmallTree(), {}), path));
    std::wstring out = dir / L"out";
    ASSERT_TRUE(CreateDirectoryW(out.c_str(), nullptr));
    g_openedLogs.clear();

    HeldBoxes boxes;
    WindowRun run(path, boxes.Func());
    ASSERT_TRUE(run.Opened());
    ASSERT_TRUE(run.WaitShown());
    ASSERT_TRUE(run.WaitIdle());
    SetWindowTextW(run.Item(IDC_DEST), out.c_str());

    // The destination question holds the worker while the user aborts.
    run.Command(IDOK);
    ASSERT_TRUE(boxes.WaitAsked(1));
    ASSERT_TRUE(WaitUntil([&] { return TextOf(run.Item(IDOK)) == L"中止(&S)"; }));
    EXPECT_FALSE(IsWindowEnabled(run.Item(IDCANCEL)));
    EXPECT_FALSE(IsWindowEnabled(run.Item(IDC_DEST)));
    EXPECT_TRUE(IsWindowEnabled(run.Item(IDC_SUMMARY)));
    // Closing the window while it extracts would free what the worker uses.
    PostMessageW(run.Dialog(), WM_CLOSE, 0, 0);
    run.Command(IDCANCEL);
    run.Command(IDOK);
    // The abort was handled after both close requests.
    ASSERT_TRUE(WaitUntil([&] { return run.Session().m_status.Get() == TEXT_BUSY_WAIT; }));
    EXPECT_TRUE(run.StillShown());
    // The abort request takes the button away until the worker is gone.
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowEnabled(run.Item(IDOK)); }));
    run.Settle();
    EXPECT_EQ(run.Session().m_status.Get(), TEXT_BUSY_WAIT);
    EXPECT_TRUE(run.Session().m_ctx.m_nRunning);

    boxes.Answer(IDOK);
    ASSERT_TRUE(run.WaitIdle());
    run.Settle();
    EXPECT_EQ(run.Session().m_status.Get(), L"解凍中止");
    EXPECT_EQ(TextOf(run.Item(IDOK)), L"解凍(&S)");
    EXPECT_TRUE(IsWindowEnabled(run.Item(IDCANCEL)));
    EXPECT_TRUE(run.StillShown()) << "a close refused during the run ended the window after it";
    // An aborted run leaves no error log.
    EXPECT_TRUE(g_openedLogs.empty());
    EXPECT_EQ(GetFileAttributesW((dir / L"run.log").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(ExtractorWindowInProcess, FailedRunWritesAndOpensTheErrorLog)
{
    SfxScratch dir;
    std::wstring path = dir / L"broken.zka";
    std::vector<uint8_t> payload(4000, 0);
    const char marker[] = "PAYLOAD-TO-DAMAGE";
    std::copy(marker, marker + sizeof marker - 1, payload.begin() + 100);
    TestArchive a = BuildHashed({TestEntry::File(u"x.bin", payload, METHOD_STORED)}, {});
    ASSERT_TRUE(a.m_bOk);
    auto it = std::search(a.m_volumes[0].begin(), a.m_volumes[0].end(), marker, marker + sizeof marker - 1);
    ASSERT_NE(it, a.m_volumes[0].end());
    *it ^= 1;
    ASSERT_TRUE(WriteArchive(a, path));
    g_openedLogs.clear();

    std::vector<std::wstring> boxes;
    WindowRun run(path, [&boxes](HWND, const wchar_t* text, const wchar_t*, UINT) {
        boxes.push_back(text);
        return IDOK;
    });
    ASSERT_TRUE(run.WaitShown());
    ASSERT_TRUE(run.WaitIdle());
    std::wstring out = dir / L"out";
    SetWindowTextW(run.Item(IDC_DEST), out.c_str());
    run.CommandAndWait(IDOK);
    EXPECT_EQ(run.Session().m_status.Get(), L"解凍失敗");
    EXPECT_EQ(boxes, std::vector<std::wstring>{L"ハッシュ値が一致しません"});
    ASSERT_EQ(g_openedLogs.size(), 1u);
    EXPECT_EQ(g_openedLogs[0], dir / L"broken.log");
    std::vector<uint8_t> log = SfxScratch::ReadBytes(dir / L"broken.log");
    ASSERT_GE(log.size(), 2u);
    std::wstring text(reinterpret_cast<const wchar_t*>(log.data()), log.size() / 2);
    EXPECT_EQ(text.substr(0, 1), L"\xFEFF");
    EXPECT_NE(text.find(L"ファイルパス："), std::wstring::npos);
    EXPECT_NE(text.find(L"x.bin"), std::wstring::npos);
    EXPECT_NE(text.find(L"メッセージ　：ハッシュ値が一致しません\r\n"), std::wstring::npos);
}

TEST(ExtractorWindowInProcess, CloseDuringTheAnalysisWaitsForIt)
{
    SfxScratch dir;
    std::wstring path = dir / L"close.zka";
    TestArchiveOptions o;
    o.m_nSfxFlags = SF_SHOW_LIST;
    ASSERT_TRUE(WriteArchive(BuildTestArchive(SmallTree(), o), path));
    WindowRun run(path);
    ASSERT_TRUE(WaitUntil([&] { return run.Dialog() != nullptr; }));
    // The analysis pauses half a second after loading the tree; the close
    // arrives while it runs.
    run.Command(IDCANCEL);
    ASSERT_TRUE(run.WaitEnded());
    EXPECT_EQ(run.m_nResult.load(), IDCANCEL);
    EXPECT_EQ(run.m_nRunningAtEnd.load(), 0);
    // The tree was freed with the window.
    EXPECT_EQ(run.m_archive.m_state.m_root.m_pFirstChild, nullptr);
}

// A no-UI archive whose destination (its path without extension) exists, so
// that the extraction started after the analysis stops at its question.
std::wstring NoUiArchiveThatAsks(const SfxScratch& dir)
{
    std::wstring path = dir / L"quiet.zka";
    TestArchiveOptions o;
    o.m_nSfxFlags = SF_NO_UI;
    if (!WriteArchive(BuildTestArchive(SmallTree(), o), path)) return L"";
    if (!CreateDirectoryW((dir / L"quiet").c_str(), nullptr)) return L"";
    return path;
}

TEST(ExtractorWindowInProcess, NoUiCloseButtonAbortsAndEndsTheWindow)
{
    SfxScratch dir;
    std::wstring path = NoUiArchiveThatAsks(dir);
    ASSERT_FALSE(path.empty());
    HeldBoxes boxes;
    WindowRun run(path, boxes.Func());
    ASSERT_TRUE(boxes.WaitAsked(1));
    EXPECT_EQ(TextOf(run.Item(IDCANCEL)), L"中止(&C)");
    // Enter reaches the hidden extract button: it must not count as abort.
    run.CommandAndWait(IDOK);
    EXPECT_EQ(run.Session().m_ctx.m_nAbort.load(), 0);
    EXPECT_TRUE(run.Session().m_status.Get().empty());
    run.Command(IDCANCEL);
    ASSERT_TRUE(WaitUntil([&] { return run.Session().m_status.Get() == TEXT_BUSY_WAIT; }));
    // The close waits for the worker held by its question.
    run.Settle();
    EXPECT_TRUE(run.StillShown());
    EXPECT_TRUE(run.Session().m_ctx.m_nRunning);
    boxes.Answer(IDOK);
    ASSERT_TRUE(run.WaitEnded());
    EXPECT_EQ(run.m_nResult.load(), IDCANCEL);
    EXPECT_EQ(run.m_nRunningAtEnd.load(), 0);
    EXPECT_EQ(GetFileAttributesW((dir / L"quiet\\b.bin").c_str()), INVALID_FILE_ATTRIBUTES);
}

// The worker's box is shown by the window's own thread: the window's end,
// asked for while the box is up, waits until the box is answered instead
// of waiting for the worker inside it.
TEST(ExtractorWindowInProcess, NoUiWindowEndsAfterTheWorkersBox)
{
    SfxScratch dir;
    std::wstring path = NoUiArchiveThatAsks(dir);
    ASSERT_FALSE(path.empty());
    HeldBoxes boxes;
    WindowRun run(path, boxes.Func());
    ASSERT_TRUE(boxes.WaitAsked(1));
    DWORD_PTR ignored = 0;
    EXPECT_TRUE(SendMessageTimeoutW(run.Dialog(), WM_SFX_CLOSE_WHEN_DONE, 0, 0, SMTO_NORMAL, 5000, &ignored))
        << "the window waits for the worker inside the worker's box";
    EXPECT_TRUE(run.StillShown());
    boxes.Answer(IDCANCEL);
    ASSERT_TRUE(run.WaitEnded());
    EXPECT_EQ(run.m_nResult.load(), IDOK);
    EXPECT_EQ(run.m_nRunningAtEnd.load(), 0);
}

TEST(ExtractorWindowInProcess, SelectedEntriesOfTheShownFolderAreExtracted)
{
    SfxScratch dir;
    std::wstring path = dir / L"pick.zka";
    TestArchiveOptions o;
    o.m_nSfxFlags = SF_SHOW_LIST;
    std::vector<TestEntry> tree = {
        TestEntry::Folder(u"top", {TestEntry::Folder(u"inner", {TestEntry::File(u"deep.txt", Bytes("deep"))}),
                                   TestEntry::Folder(u"none"), TestEntry::File(u"keep.txt", Bytes("keep")),
                                   TestEntry::File(u"skip.txt", Bytes("skip"))}),
        TestEntry::File(u"root.txt", Bytes("root")),
    };
    ASSERT_TRUE(WriteArchive(BuildTestArchive(tree, o), path));
    WindowRun run(path, [](HWND, const wchar_t*, const wchar_t*, UINT) { return IDOK; });
    ASSERT_TRUE(run.WaitShown());
    ASSERT_TRUE(run.WaitIdle());
    HWND treeView = run.Item(IDC_TREE), list = run.Item(IDC_LIST);
    ASSERT_TRUE(treeView && list);
    EXPECT_EQ(ListView_GetItemCount(list), 2);

    // Into "top": "inner", "keep.txt", "skip.txt"; select the first two.
    auto root = TreeView_GetRoot(treeView);
    auto top = TreeView_GetChild(treeView, root);
    ASSERT_TRUE(top);
    SendMessageW(treeView, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(top));
    ASSERT_EQ(ListView_GetItemCount(list), 4);
    ListView_SetItemState(list, 0, LVIS_SELECTED, LVIS_SELECTED);
    ListView_SetItemState(list, 2, LVIS_SELECTED, LVIS_SELECTED);

    std::wstring out = dir / L"out";
    SetWindowTextW(run.Item(IDC_DEST), out.c_str());
    run.CommandAndWait(IDM_EXTRACT_SELECTED);
    EXPECT_EQ(run.Session().m_ctx.m_nRunning, 0);
    EXPECT_EQ(SfxScratch::ReadBytes(out + L"\\top\\inner\\deep.txt"), Bytes("deep"));
    EXPECT_EQ(SfxScratch::ReadBytes(out + L"\\top\\keep.txt"), Bytes("keep"));
    EXPECT_EQ(GetFileAttributesW((out + L"\\top\\skip.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW((out + L"\\root.txt").c_str()), INVALID_FILE_ATTRIBUTES);

    // An empty folder shows an empty list, so nothing is selected any more.
    auto none = TreeView_GetNextSibling(treeView, TreeView_GetChild(treeView, top));
    ASSERT_TRUE(none);
    SendMessageW(treeView, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(none));
    EXPECT_EQ(ListView_GetItemCount(list), 0);
    std::wstring again = dir / L"again";
    SetWindowTextW(run.Item(IDC_DEST), again.c_str());
    run.CommandAndWait(IDM_EXTRACT_SELECTED);
    EXPECT_EQ(GetFileAttributesW((again + L"\\top\\keep.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW((again + L"\\top\\inner").c_str()), INVALID_FILE_ATTRIBUTES);

    // "Select all" marks every entry of the list.
    SendMessageW(treeView, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(top));
    run.Command(IDM_SELECT_ALL);
    EXPECT_TRUE(WaitUntil([&] { return ListView_GetSelectedCount(list) == 4; }));
}

} // namespace
} // namespace zk::test
