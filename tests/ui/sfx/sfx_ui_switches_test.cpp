// The extractor driven from a script: its switches, its exit codes, and the
// Mark-of-the-Web it carries over, through the real program.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "core/tests/test_archive.h"
#include "sfx_ui_archives.h"
#include "ui_driver.h"

namespace {

using zk::test::TestArchiveOptions;
using zk::test::TestEntry;
using namespace zkui;

const std::string MARK = "[ZoneTransfer]\r\nZoneId=3\r\nReferrerUrl=https://example.org/\r\n";

DWORD ExitCodeOf(const Program& p)
{
    DWORD code = 0xFFFF;
    GetExitCodeProcess(p.Process(), &code);
    return code;
}

std::vector<TestEntry> SmallTree()
{
    return {TestEntry::File(u"a.txt", Bytes("new a"), zk::METHOD_DEFLATE),
            TestEntry::Folder(u"docs", {TestEntry::File(u"b.txt", Prose(40000), zk::METHOD_LZ4)})};
}

// "--dest" and "--yes" into a folder that exists with a file of the same
// name (read-only, even): no question, the file replaced, exit code 0, and
// every file marked exactly when the archive is.
TEST(ExtractorSwitches, DestAndYesReplaceWithoutAskingAndKeepTheMark)
{
    for (bool marked : {true, false}) {
        SCOPED_TRACE(marked ? "marked archive" : "unmarked archive");
        Scratch dir;
        TestArchiveOptions o;
        o.m_bHash = true;
        o.m_nSfxFlags = zk::SF_NO_UI;
        ASSERT_TRUE(WriteSfx(dir, L"pack.exe", SmallTree(), o));
        if (marked) {
            ASSERT_TRUE(dir.Write(L"pack.exe:Zone.Identifier", Bytes(MARK)));
        }
        CreateDirectoryW((dir / L"there").c_str(), nullptr);
        ASSERT_TRUE(dir.Write(L"there\\a.txt", Bytes("old a")));
        SetFileAttributesW((dir / L"there\\a.txt").c_str(), FILE_ATTRIBUTE_READONLY);

        Program p(dir / L"pack.exe", L"--yes \"--dest=" + dir / L"there" + L"\"");
        ASSERT_TRUE(p.WaitExit(30000)) << "a question or an error is waiting";
        EXPECT_EQ(ExitCodeOf(p), 0u);
        EXPECT_EQ(Content(dir / L"there\\a.txt"), "new a");
        const std::vector<uint8_t> prose = Prose(40000);
        EXPECT_EQ(Content(dir / L"there\\docs\\b.txt"), std::string(prose.begin(), prose.end()));
        const std::string expected = marked ? MARK : "<missing>";
        EXPECT_EQ(Content(dir / L"there\\a.txt:Zone.Identifier"), expected);
        EXPECT_EQ(Content(dir / L"there\\docs\\b.txt:Zone.Identifier"), expected);
        EXPECT_FALSE(FileExists(dir / L"there\\docs:Zone.Identifier"));
        EXPECT_FALSE(FileExists(dir / L"pack")); // not beside the archive
    }
}

// Runs that end with a box and their exit codes: a switch that was not
// understood (nothing opened), and a password from the command line that
// is wrong (tried once, never asked for). The right one extracts.
TEST(ExtractorSwitches, BadSwitchAndPasswordEndWithTheirExitCodes)
{
    struct Case {
        const char* m_pWhat;
        std::wstring m_strArguments;
        const wchar_t* m_pBox; // the text of the "エラー" box, or null
        DWORD m_nExitCode;
    } cases[] = {
        {"misspelt switch", L"--yes --dset=C:\\x",
         L"不正なスイッチです：--dset=C:\\x\n--help で一覧を表示します。", 2},
        {"wrong password", L"--password=wrong", L"パスワードの入力に失敗しました", 1},
        {"right password", L"--password=kagi", nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_pWhat);
        Scratch dir;
        TestArchiveOptions o;
        o.m_strPassword = "kagi";
        o.m_nSfxFlags = zk::SF_NO_UI;
        ASSERT_TRUE(WriteSfx(dir, L"locked.exe", SmallTree(), o));
        Program p(dir / L"locked.exe", c.m_strArguments);
        if (c.m_pBox) {
            HWND box = p.WaitBox(L"エラー");
            ASSERT_TRUE(box);
            EXPECT_EQ(MessageBoxText(box), c.m_pBox);
            Answer(box, IDOK);
        }
        ASSERT_TRUE(p.WaitExit(30000));
        EXPECT_EQ(ExitCodeOf(p), c.m_nExitCode);
        EXPECT_EQ(Content(dir / L"locked\\a.txt"), c.m_nExitCode == 0 ? "new a" : "<missing>");
    }
}

} // namespace
