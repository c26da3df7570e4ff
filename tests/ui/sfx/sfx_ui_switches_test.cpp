// The extractor driven from a script: its switches, its exit codes, and the
// Mark-of-the-Web it carries over, through the real program.

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/archive_key.h"
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

// The error log beside the archive as text, or "" when there is none.
std::wstring LogText(const std::wstring& path)
{
    const std::string bytes = Content(path);
    if (bytes == "<missing>" || bytes.size() < 2) return L"";
    std::wstring text((bytes.size() - 2) / 2, L'\0');
    memcpy(text.data(), bytes.data() + 2, text.size() * 2);
    return text;
}

// "--quiet": no window at all, whatever the archive asks for. Each run ends
// by itself (a window or a box would keep it alive) with its exit code, and
// a failure is told in the log beside the archive.
TEST(ExtractorSwitches, QuietRunsShowNothingAndLogTheirFailures)
{
    struct Case {
        const char* m_pWhat;
        std::wstring m_strArguments; // after "--quiet"; "--dest=<dest>" names the existing folder
        bool m_bDamaged;             // a.txt's recorded hash no longer matches
        bool m_bPassword;
        DWORD m_nExitCode;
        const wchar_t* m_pInLog; // null: no log
        const char* m_pA;        // what there\a.txt holds afterwards
    } cases[] = {
        {"into an existing folder with yes", L"--yes --dest=<dest>", false, false, 0, nullptr, "new a"},
        {"existing folder without yes", L"--dest=<dest>", false, false, 1, L"解凍先フォルダが既に存在します",
         "old a"},
        {"damaged archive", L"--yes --dest=<dest>", true, false, 1, L"ハッシュ値が一致しません", "new a"},
        {"password not given", L"--yes --dest=<dest>", false, true, 1, L"パスワードの入力に失敗しました",
         "old a"},
        {"password given", L"--yes --password=kagi --dest=<dest>", false, true, 0, nullptr, "new a"},
        {"bad switch", L"--yes --bogus --dest=<dest>", false, false, 2, L"不正なスイッチです：--bogus",
         "old a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_pWhat);
        Scratch dir;
        TestArchiveOptions o;
        o.m_bHash = true; // a windowed archive with its contents list
        o.m_nSfxFlags = zk::SF_SHOW_LIST;
        if (c.m_bPassword) o.m_strPassword = "kagi";
        zk::test::TestArchive a = BuildSfx(SmallTree(), o);
        ASSERT_TRUE(a.m_bOk);
        if (c.m_bDamaged)
            a.m_volumes[0][a.m_infoPos[0] + 47 +
                           zk::RoundUp16(static_cast<uint32_t>(a.m_info[0].m_name.size()))] ^= 1;
        ASSERT_TRUE(dir.Write(L"pack.exe", a));
        CreateDirectoryW((dir / L"there").c_str(), nullptr);
        ASSERT_TRUE(dir.Write(L"there\\a.txt", Bytes("old a")));

        std::wstring arguments = L"--quiet " + c.m_strArguments;
        // A field with blanks is quoted whole, switch name included.
        arguments.replace(arguments.find(L"--dest=<dest>"), 13, L"\"--dest=" + dir / L"there" + L"\"");
        Program p(dir / L"pack.exe", arguments);
        ASSERT_TRUE(p.WaitExit(30000)) << "a window or a box is waiting";
        EXPECT_EQ(ExitCodeOf(p), c.m_nExitCode);
        EXPECT_EQ(Content(dir / L"there\\a.txt"), c.m_pA);
        const std::wstring log = LogText(dir / L"pack.log");
        if (c.m_pInLog)
            EXPECT_NE(log.find(c.m_pInLog), std::wstring::npos) << testing::PrintToString(log);
        else
            EXPECT_EQ(log, L"");
    }
}

} // namespace
