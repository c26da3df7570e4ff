// The extractor driven from a script: "--quiet" with its exit codes and log,
// "--dest", "--yes", "--password", and the Mark-of-the-Web it carries over,
// through the real program.

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

// The error log beside the archive as text, or "" when there is none.
std::wstring LogText(const std::wstring& path)
{
    const std::string bytes = Content(path);
    if (bytes == "<missing>" || bytes.size() < 2) return L"";
    std::wstring text((bytes.size() - 2) / 2, L'\0');
    memcpy(text.data(), bytes.data() + 2, text.size() * 2);
    return text;
}

// No window at all, whatever the archive asks for (a windowed one with its
// contents list here): each run ends by itself, since a window or a box
// would keep it alive, with its exit code; a failure is told in the log
// beside the archive. Every extracted file carries the archive's mark
// exactly when the archive has one.
TEST(ExtractorSwitches, QuietRunsShowNothingAndLogTheirFailures)
{
    struct Case {
        const char* m_pWhat;
        std::wstring m_strArguments; // after "--quiet --dest=<the existing folder>"
        bool m_bMarked;
        bool m_bDamaged; // a.txt's recorded hash no longer matches
        bool m_bPassword;
        DWORD m_nExitCode;
        const wchar_t* m_pInLog; // null: no log
        const char* m_pA;        // what the existing a.txt holds afterwards
        bool m_bLogBlocked = false; // a folder stands where the log would go
    } cases[] = {
        {"marked, into an existing folder with yes", L"--yes", true, false, false, 0, nullptr, "new a"},
        {"existing folder without yes", L"", false, false, false, 1, L"解凍先フォルダが既に存在します",
         "old a"},
        {"damaged archive", L"--yes", false, true, false, 1, L"ハッシュ値が一致しません", "new a"},
        // Nobody could answer a box about the log: the exit code alone tells.
        {"damaged archive, no room for the log", L"--yes", false, true, false, 1, nullptr, "new a", true},
        {"password not given", L"--yes", false, false, true, 1, L"パスワードの入力に失敗しました", "old a"},
        {"unmarked, password given", L"--yes --password=kagi", false, false, true, 0, nullptr, "new a"},
        {"bad switch", L"--yes --bogus", false, false, false, 2, L"不正なスイッチです：--bogus", "old a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_pWhat);
        Scratch dir;
        TestArchiveOptions o;
        o.m_bHash = true;
        o.m_nSfxFlags = zk::SF_SHOW_LIST;
        if (c.m_bPassword) o.m_strPassword = "kagi";
        zk::test::TestArchive a =
            BuildSfx({TestEntry::File(u"a.txt", Bytes("new a"), zk::METHOD_DEFLATE),
                      TestEntry::Folder(u"docs", {TestEntry::File(u"b.txt", Prose(40000), zk::METHOD_LZ4)})},
                     o);
        ASSERT_TRUE(a.m_bOk);
        if (c.m_bDamaged)
            a.m_volumes[0][a.m_infoPos[0] + 47 +
                           zk::RoundUp16(static_cast<uint32_t>(a.m_info[0].m_name.size()))] ^= 1;
        ASSERT_TRUE(dir.Write(L"pack.exe", a));
        if (c.m_bMarked) {
            ASSERT_TRUE(dir.Write(L"pack.exe:Zone.Identifier", Bytes(MARK)));
        }
        CreateDirectoryW((dir / L"there").c_str(), nullptr);
        if (c.m_bLogBlocked) CreateDirectoryW((dir / L"pack.log").c_str(), nullptr);
        ASSERT_TRUE(dir.Write(L"there\\a.txt", Bytes("old a")));

        // A field with blanks is quoted whole, switch name included.
        Program p(dir / L"pack.exe", L"--quiet \"--dest=" + dir / L"there" + L"\" " + c.m_strArguments);
        ASSERT_TRUE(p.WaitExit(30000)) << "a window or a box is waiting";
        DWORD code = 0xFFFF;
        GetExitCodeProcess(p.Process(), &code);
        EXPECT_EQ(code, c.m_nExitCode);
        EXPECT_EQ(Content(dir / L"there\\a.txt"), c.m_pA);
        const std::wstring log = LogText(dir / L"pack.log");
        if (c.m_pInLog)
            EXPECT_NE(log.find(c.m_pInLog), std::wstring::npos) << testing::PrintToString(log);
        else
            EXPECT_EQ(log, L"");
        if (c.m_nExitCode != 0) continue;
        const std::string mark = c.m_bMarked ? MARK : "<missing>";
        EXPECT_EQ(Content(dir / L"there\\a.txt:Zone.Identifier"), mark);
        EXPECT_EQ(Content(dir / L"there\\docs\\b.txt:Zone.Identifier"), mark);
        EXPECT_FALSE(FileExists(dir / L"there\\docs:Zone.Identifier"));
    }
}

} // namespace
