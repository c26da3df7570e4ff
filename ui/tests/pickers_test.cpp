#include "ui/pickers.h"

#include "core/long_path.h"
#include "core/tests/win/scratch_folder.h"

#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zk {
namespace {

struct SentMessage {
    UINT message;
    WPARAM wParam;
    std::wstring text;
};
std::vector<SentMessage> g_sent;

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == BFFM_SETSELECTIONW || message == BFFM_SETSTATUSTEXTW) {
        g_sent.push_back({message, wParam, reinterpret_cast<const wchar_t*>(lParam)});
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

TEST(BrowseNotify, SelectsTheInitialFolderAndShowsEverySelection)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = RecordingProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ZkBrowseNotifyTest";
    RegisterClassW(&wc);
    HWND dialog =
        CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(dialog, nullptr);
    g_sent.clear();

    test::ScratchFolder dir;
    BrowseNotify(dialog, BFFM_INITIALIZED, 0, reinterpret_cast<LPARAM>(dir.Path().c_str()));
    PIDLIST_ABSOLUTE pidl = nullptr;
    ASSERT_TRUE(SUCCEEDED(SHParseDisplayName(dir.Path().c_str(), nullptr, &pidl, 0, nullptr)));
    BrowseNotify(dialog, BFFM_SELCHANGED, reinterpret_cast<LPARAM>(pidl), 0);
    CoTaskMemFree(pidl);
    DestroyWindow(dialog);

    ASSERT_EQ(g_sent.size(), 2u);
    EXPECT_EQ(g_sent[0].message, static_cast<UINT>(BFFM_SETSELECTIONW));
    EXPECT_EQ(g_sent[0].wParam, static_cast<WPARAM>(TRUE)) << "the data is a path, not an item list";
    EXPECT_EQ(g_sent[0].text, dir.Path());
    EXPECT_EQ(g_sent[1].message, static_cast<UINT>(BFFM_SETSTATUSTEXTW));
    std::wstring shown = g_sent[1].text;
    AddTrailingSlash(shown);
    EXPECT_EQ(shown, dir.Path());
}

TEST(SpecialFolderPath, DocumentsFolderWithTrailingSlash)
{
    std::wstring docs;
    ASSERT_TRUE(SpecialFolderPath(CSIDL_PERSONAL, docs));
    EXPECT_EQ(docs.back(), L'\\');
    EXPECT_TRUE(PathIsFolder(docs.c_str()));
}

} // namespace
} // namespace zk
