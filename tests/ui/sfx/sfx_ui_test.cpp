// Drives ZelkoraSfx.exe under a display: self-extracting archives are made
// by putting the real extractor in front of archives written by the test
// archive writer, then run like a user runs them.

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/pipeline_platform.h"
#include "core/tests/test_archive.h"
#include "sfx_ui_archives.h"
#include "ui_driver.h"

namespace {

using zk::test::TestArchiveOptions;
using zk::test::TestEntry;
using namespace zkui;

constexpr int IDC_DEST_CAPTION = 1000, IDC_DEST = 1001, IDC_SUMMARY = 1005, IDC_PROGRESS = 1006,
              IDC_COMMENT = 1003, IDC_TREE = 1010, IDC_LIST = 1011, IDC_PASSWORD = 1007;
const std::wstring DIALOG = L"#32770";

std::vector<uint8_t> Text(const std::string& s)
{
    return std::vector<uint8_t>(s.begin(), s.end());
}

// Two folders (one nested) and two files at the top.
std::vector<TestEntry> SampleTree()
{
    return {
        TestEntry::File(u"メモ.txt", Text("memo\r\n")),
        TestEntry::Folder(u"写真", {TestEntry::File(u"b10.txt", Text(std::string(3000, 'x'))),
                                    TestEntry::File(u"b2.txt", Text("two")),
                                    TestEntry::Folder(u"旅行", {TestEntry::File(u"map.dat", Text("map"))})}),
        TestEntry::Folder(u"Docs", {TestEntry::File(u"readme.txt", Text("read me"), zk::METHOD_DEFLATE)}),
        TestEntry::File(u"data.bin", std::vector<uint8_t>(1536, 7), zk::METHOD_STORED),
    };
}

HWND Child(HWND dialog, int id)
{
    return GetDlgItem(dialog, id);
}

RECT WindowRect(HWND wnd)
{
    RECT r = {};
    GetWindowRect(wnd, &r);
    return r;
}

// Waits until the analysis is over (the extract button is enabled).
bool WaitReady(HWND dialog)
{
    return WaitFor([&] { return Enabled(Child(dialog, IDOK)); });
}

TEST(ExtractorWindow, ShowsTitleSummaryCommentTreeAndList)
{
    Scratch dir;
    TestArchiveOptions o;
    o.m_nSfxFlags = zk::SF_SHOW_LIST;
    o.m_strTitle = u"写真の書庫";
    o.m_strComment = u"一行目\n二行目";
    o.m_bHash = true;
    ASSERT_TRUE(WriteSfx(dir, L"photos.exe", SampleTree(), o));

    Program p(dir / L"photos.exe", L"");
    ASSERT_TRUE(p.Started());
    HWND dialog = p.WaitWindow(DIALOG, L" 写真の書庫");
    ASSERT_TRUE(dialog) << "main window not shown";
    ASSERT_TRUE(WaitReady(dialog));

    EXPECT_EQ(zkui::Text(Child(dialog, IDC_DEST)), dir / L"photos");
    EXPECT_EQ(zkui::Text(Child(dialog, IDC_COMMENT)), L"一行目\r\n二行目");
    std::wstring summary = zkui::Text(Child(dialog, IDC_SUMMARY));
    EXPECT_NE(summary.find(L"格納ファイル数\t： 6        \t格納フォルダ数\t： 3\n"), std::wstring::npos)
        << summary;
    EXPECT_NE(summary.find(L"誤り検出\t： あり"), std::wstring::npos) << summary;
    EXPECT_NE(summary.find(L"分割ファイル数\t： なし"), std::wstring::npos) << summary;

    HWND tree = Child(dialog, IDC_TREE), list = Child(dialog, IDC_LIST);
    ASSERT_TRUE(tree && list);
    RemoteViews views(p.Process());
    auto root = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    EXPECT_EQ(views.TreeItemText(tree, root), L"書庫");
    EXPECT_TRUE(views.TreeItemExpanded(tree, root));
    // Folders only, in logical order.
    EXPECT_EQ(views.TreeChildTexts(tree, root), (std::vector<std::wstring>{L"Docs", L"写真"}));

    EXPECT_EQ(views.ListHeader(list, 0), L"名前");
    EXPECT_EQ(views.ListHeader(list, 1), L"圧縮サイズ");
    EXPECT_EQ(views.ListHeader(list, 2), L"元サイズ");
    EXPECT_EQ(views.ListHeader(list, 3), L"更新日時");
    // The root's entries: folders first, then files, each by name.
    EXPECT_EQ(views.ListColumn(list, 0),
              (std::vector<std::wstring>{L"Docs", L"写真", L"data.bin", L"メモ.txt"}));
    EXPECT_EQ(views.ListItemText(list, 2, 1), L"2 KB");
    EXPECT_EQ(views.ListItemText(list, 2, 2), L"2 KB");
    EXPECT_EQ(views.ListItemText(list, 3, 2), L"6 B");

    // A folder chosen in the tree shows its entries, "b2" before "b10".
    HTREEITEM photos = views.TreeChildByText(tree, root, L"写真");
    ASSERT_TRUE(photos);
    SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(photos));
    EXPECT_TRUE(WaitFor([&] { return views.ListColumn(list, 0).size() == 3; }));
    EXPECT_EQ(views.ListColumn(list, 0), (std::vector<std::wstring>{L"旅行", L"b2.txt", L"b10.txt"}));
    EXPECT_EQ(views.TreeChildTexts(tree, photos), (std::vector<std::wstring>{L"旅行"}));

    // A double-click on a folder of the list opens it.
    RECT item = views.ListItemRect(list, 0);
    DoubleClick(list, POINT{item.left + 5, (item.top + item.bottom) / 2});
    EXPECT_TRUE(WaitFor([&] { return views.ListColumn(list, 0) == std::vector<std::wstring>{L"map.dat"}; }));

    // A right click on the list opens its menu; the second command selects
    // every entry of the list.
    SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(root));
    ASSERT_TRUE(WaitFor([&] { return views.ListColumn(list, 0).size() == 4; }));
    item = views.ListItemRect(list, 0);
    LPARAM at = MAKELPARAM(item.left + 5, (item.top + item.bottom) / 2);
    PostMessageW(list, WM_RBUTTONDOWN, MK_RBUTTON, at);
    PostMessageW(list, WM_RBUTTONUP, 0, at);
    HWND menu = p.WaitWindow(L"#32768", L"");
    ASSERT_TRUE(menu);
    for (WPARAM key : {VK_DOWN, VK_DOWN, VK_RETURN})
        PostMessageW(menu, WM_KEYDOWN, key, 0);
    EXPECT_TRUE(WaitFor([&] { return SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0) == 4; }, 5000));

    Click(Child(dialog, IDCANCEL));
    EXPECT_TRUE(p.WaitExit(10000));
}

TEST(ExtractorWindow, ExtractsAllThenAsksBeforeOverwriting)
{
    Scratch dir;
    TestArchiveOptions o;
    o.m_nSfxFlags = zk::SF_SHOW_LIST;
    ASSERT_TRUE(WriteSfx(dir, L"pack.exe", SampleTree(), o));

    Program p(dir / L"pack.exe", L"");
    HWND dialog = p.WaitWindow(DIALOG, L"");
    ASSERT_TRUE(dialog);
    EXPECT_EQ(zkui::Text(dialog), L" ゼルコラ 解凍ツール - Version 1.0.0");
    ASSERT_TRUE(WaitReady(dialog));

    std::wstring out = dir / L"out";
    SetText(Child(dialog, IDC_DEST), out);
    Click(Child(dialog, IDOK));
    ASSERT_TRUE(WaitFor([&] { return FileExists(out + L"\\Docs\\readme.txt"); }));
    ASSERT_TRUE(WaitFor([&] { return Enabled(Child(dialog, IDCANCEL)); }));
    EXPECT_EQ(zkui::Text(Child(dialog, IDOK)), L"解凍(&S)");
    EXPECT_EQ(ReadWholeFile(out + L"\\メモ.txt"), "memo\r\n");
    EXPECT_EQ(ReadWholeFile(out + L"\\写真\\旅行\\map.dat"), "map");
    EXPECT_EQ(ReadWholeFile(out + L"\\Docs\\readme.txt"), "read me");
    EXPECT_EQ(ReadWholeFile(out + L"\\data.bin"), std::string(1536, '\7'));

    // Again into the same folder: the folder question, then the first
    // overwrite question; meanwhile the run can only be aborted.
    {
        FILE* f = _wfopen((out + L"\\メモ.txt").c_str(), L"wb");
        ASSERT_TRUE(f);
        fputs("changed", f);
        fclose(f);
    }
    Click(Child(dialog, IDOK));
    HWND box = p.WaitBox(L"確認");
    ASSERT_TRUE(box);
    EXPECT_EQ(MessageBoxText(box), L"解凍先フォルダが既に存在します。上書きしてもよろしいですか？");
    EXPECT_EQ(zkui::Text(Child(dialog, IDOK)), L"中止(&S)");
    EXPECT_FALSE(Enabled(Child(dialog, IDCANCEL)));
    EXPECT_FALSE(Enabled(Child(dialog, IDC_DEST)));
    Answer(box, IDOK);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(box); }));
    box = p.WaitBox(L"確認");
    ASSERT_TRUE(box);
    EXPECT_NE(MessageBoxText(box).find(L"同名のファイルが既に存在します。上書きしてもよろしいですか？"),
              std::wstring::npos);
    Answer(box, IDYES);
    ASSERT_TRUE(WaitFor([&] { return Enabled(Child(dialog, IDCANCEL)); }));
    // Yes applies to every further file of the run: no more questions.
    EXPECT_FALSE(p.FindWindowOf(DIALOG, L"確認"));
    EXPECT_EQ(ReadWholeFile(out + L"\\メモ.txt"), "memo\r\n");
    EXPECT_TRUE(Enabled(Child(dialog, IDC_DEST)));

    Click(Child(dialog, IDCANCEL));
    EXPECT_TRUE(p.WaitExit(10000));
}

TEST(ExtractorWindow, WithoutTheListTheWindowIsShorter)
{
    Scratch dir;
    TestArchiveOptions withList, without;
    withList.m_nSfxFlags = zk::SF_SHOW_LIST;
    withList.m_strTitle = without.m_strTitle = u"短い";
    ASSERT_TRUE(WriteSfx(dir, L"a.exe", SampleTree(), withList));
    ASSERT_TRUE(WriteSfx(dir, L"b.exe", SampleTree(), without));

    int heights[2] = {};
    RECT bars[2] = {};
    const wchar_t* names[2] = {L"a.exe", L"b.exe"};
    for (int i = 0; i < 2; ++i) {
        Program p(dir / names[i], L"");
        HWND dialog = p.WaitWindow(DIALOG, L" 短い");
        ASSERT_TRUE(dialog);
        ASSERT_TRUE(WaitReady(dialog));
        RECT r = WindowRect(dialog);
        heights[i] = r.bottom - r.top;
        bars[i] = WindowRect(Child(dialog, IDC_PROGRESS));
        bars[i].top -= r.top;
        EXPECT_EQ(Child(dialog, IDC_TREE) != nullptr, i == 0);
        EXPECT_EQ(Child(dialog, IDC_LIST) != nullptr, i == 0);
        Click(Child(dialog, IDCANCEL));
        EXPECT_TRUE(p.WaitExit(10000));
    }
    EXPECT_EQ(heights[0] - heights[1], 204);
    EXPECT_EQ(bars[0].top - bars[1].top, 204);
}

TEST(ExtractorWindow, AsksForThePasswordFirst)
{
    Scratch dir;
    TestArchiveOptions o;
    o.m_strPassword = "secret";
    o.m_strTitle = u"鍵付き";
    ASSERT_TRUE(WriteSfx(dir, L"locked.exe", SampleTree(), o));

    Program p(dir / L"locked.exe", L"");
    HWND ask = p.WaitWindow(DIALOG, L" ゼルコラ　パスワード入力");
    ASSERT_TRUE(ask);
    SetText(Child(ask, IDC_PASSWORD), L"secret");
    // The password is taken when the box loses the focus, which closing does.
    Click(Child(ask, IDOK));
    HWND dialog = p.WaitWindow(DIALOG, L" 鍵付き");
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(WaitReady(dialog));
    std::wstring out = dir / L"out";
    SetText(Child(dialog, IDC_DEST), out);
    Click(Child(dialog, IDOK));
    ASSERT_TRUE(WaitFor([&] { return FileExists(out + L"\\data.bin") && Enabled(Child(dialog, IDCANCEL)); }));
    EXPECT_EQ(ReadWholeFile(out + L"\\写真\\b2.txt"), "two");
    Click(Child(dialog, IDCANCEL));
    EXPECT_TRUE(p.WaitExit(10000));
}

// The folder tree is filled as the analysis ends: with tens of thousands of
// folders the window must still be ready in seconds, listing them all.
TEST(ExtractorWindow, ManyFoldersAreReadyWithinSeconds)
{
    Scratch dir;
    TestArchiveOptions o;
    o.m_nSfxFlags = zk::SF_SHOW_LIST;
    o.m_strTitle = u"多数";
    ASSERT_TRUE(WriteSfx(dir, L"many.exe", ManyFolders(20000), o));

    Program p(dir / L"many.exe", L"");
    HWND dialog = p.WaitWindow(DIALOG, L" 多数");
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(WaitReady(dialog)) << "not ready after 20 s";
    HWND tree = Child(dialog, IDC_TREE), list = Child(dialog, IDC_LIST);
    EXPECT_EQ(SendMessageW(tree, TVM_GETCOUNT, 0, 0), 20001); // with the archive's own item
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 20000);
    RemoteViews views(p.Process());
    auto root = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    EXPECT_TRUE(views.TreeItemExpanded(tree, root));
    // In logical order: f2 before f10.
    auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, (LPARAM)root));
    for (int i = 0; i < 2 && item; ++i)
        item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, (LPARAM)item));
    EXPECT_EQ(views.TreeItemText(tree, item), L"f2");
    EXPECT_EQ(views.ListItemText(list, 10, 0), L"f10");
    Click(Child(dialog, IDCANCEL));
    EXPECT_TRUE(p.WaitExit(10000));
}

TEST(ExtractorWindow, NoUiModeExtractsBesideTheArchiveAndCloses)
{
    Scratch dir;
    TestArchiveOptions o;
    o.m_nSfxFlags = zk::SF_NO_UI | zk::SF_SHOW_LIST;
    o.m_strTitle = u"無視される題";
    o.m_strDestFolder = u"C:\\should-not-be-used";
    ASSERT_TRUE(WriteSfx(dir, L"quiet.exe", SampleTree(), o));

    Program p(dir / L"quiet.exe", L"");
    HWND dialog = p.WaitWindow(DIALOG, L"");
    ASSERT_TRUE(dialog);
    EXPECT_EQ(zkui::Text(dialog), L" ゼルコラ 解凍ツール - Version 1.0.0");
    RECT r = WindowRect(dialog);
    EXPECT_EQ(r.right - r.left, 520);
    EXPECT_GE(r.bottom - r.top, 98);
    EXPECT_EQ(zkui::Text(Child(dialog, IDCANCEL)), L"中止(&C)");
    EXPECT_FALSE(Visible(Child(dialog, IDOK)));
    EXPECT_FALSE(Visible(Child(dialog, IDC_DEST)));
    EXPECT_TRUE(Visible(Child(dialog, IDC_DEST_CAPTION)));
    EXPECT_TRUE(Visible(Child(dialog, IDC_PROGRESS)));
    EXPECT_FALSE(Child(dialog, IDC_TREE));

    ASSERT_TRUE(p.WaitExit(20000)) << "the window did not close itself";
    std::wstring out = dir / L"quiet";
    EXPECT_EQ(ReadWholeFile(out + L"\\写真\\旅行\\map.dat"), "map");
    EXPECT_EQ(ReadWholeFile(out + L"\\メモ.txt"), "memo\r\n");
    EXPECT_FALSE(FileExists(L"C:\\should-not-be-used"));
}

// Writes the archives the documentation's screenshots show, when asked to
// through ZK_SFX_SAMPLES (a folder).
TEST(SampleArchives, WrittenWhenAsked)
{
    wchar_t folder[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"ZK_SFX_SAMPLES", folder, MAX_PATH))
        GTEST_SKIP() << "ZK_SFX_SAMPLES not set";
    std::wstring base = folder;
    if (base.back() != L'\\') base += L'\\';
    TestArchiveOptions list, plain, quiet;
    list.m_nSfxFlags = zk::SF_SHOW_LIST;
    list.m_strComment = plain.m_strComment = u"旅行の写真です。\nどうぞご覧ください。";
    list.m_bHash = true;
    quiet.m_nSfxFlags = zk::SF_NO_UI;
    std::vector<TestEntry> big = SampleTree();
    big.push_back(TestEntry::File(u"large.bin", std::vector<uint8_t>(64u << 20, 1), zk::METHOD_STORED));
    struct Sample {
        const wchar_t* name;
        const TestArchiveOptions* o;
        const std::vector<TestEntry>* tree;
    };
    std::vector<TestEntry> tree = SampleTree();
    for (const Sample& s : {Sample{L"with_list.exe", &list, &tree},
                            Sample{L"without_list.exe", &plain, &tree}, Sample{L"no_ui.exe", &quiet, &big}}) {
        TestArchiveOptions o = *s.o;
        o.m_prefix = ExtractorImage();
        std::unique_ptr<zk::IFileHash> hash;
        if (o.m_bHash) {
            hash = zk::MakeSystemSha256();
            o.m_pHash = hash.get();
        }
        zk::test::TestArchive a = zk::test::BuildTestArchive(*s.tree, o);
        ASSERT_TRUE(a.m_bOk);
        FILE* f = _wfopen((base + s.name).c_str(), L"wb");
        ASSERT_TRUE(f);
        fwrite(a.m_volumes[0].data(), 1, a.m_volumes[0].size(), f);
        fclose(f);
    }
}

} // namespace
