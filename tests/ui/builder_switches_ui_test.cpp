// The builder driven from a script: its switches build what they say, the
// archives extract exactly, and the exit codes tell a script what happened.

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "extractor_driver.h"
#include "ui_driver.h"

namespace {

using namespace zkui;

class BuilderSwitchesTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(CopyFileW(ZK_BUILDER_EXE, (m_folder / L"Zelkora.exe").c_str(), FALSE));
        ASSERT_TRUE(CopyFileW(ZK_SFX_EXE, (m_folder / L"ZelkoraSfx.exe").c_str(), FALSE));
        for (const wchar_t* folder : {L"src", L"src\\写真 2026", L"src\\empty"})
            ASSERT_TRUE(CreateDirectoryW((m_folder / folder).c_str(), nullptr));
        // More than two volumes of 1 MiB, whatever the method.
        std::string noise(2300000, '\0');
        uint32_t x = 19;
        for (char& c : noise) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            c = static_cast<char>(x);
        }
        ASSERT_TRUE(m_folder.WriteFile(L"src\\noise.bin", noise));
        ASSERT_TRUE(m_folder.WriteFile(L"src\\写真 2026\\メモ.txt", std::string(5000, 'm')));
    }

    // Runs a program to its end: its exit code, or -1 when it did not end.
    static int RunToEnd(const std::wstring& exe, const std::wstring& arguments, const std::wstring& folder)
    {
        Program p(exe, arguments, folder);
        if (!p.WaitExit(120000)) return -1;
        DWORD code = 0;
        GetExitCodeProcess(p.Process(), &code);
        return static_cast<int>(code);
    }

    int Build(const std::wstring& switches)
    {
        return RunToEnd(m_folder / L"Zelkora.exe", switches + L" \"" + m_folder / L"src" + L"\"",
                        m_folder.Path());
    }

    ScratchFolder m_folder;
};

TEST_F(BuilderSwitchesTest, SwitchMatrixBuildsArchivesThatExtractExactly)
{
    ASSERT_TRUE(m_folder.WriteFile(L"password.txt", "\xEF\xBB\xBF\xE9\x8D\xB5 2\r\n"));
    const std::wstring passwordFile = L"\"--password-file=" + m_folder / L"password.txt" + L"\"";
    struct Case {
        const char* m_pWhat;
        std::wstring m_strSwitches;
        const wchar_t* m_pArchive;
        std::wstring m_strExtractorSwitches;
        bool m_bSplit;
    } cases[] = {
        {"lz4 standard without hash or verify", L"--method=lz4 --level=standard --hash=off --verify=off",
         L"a.exe", L"", false},
        {"deflate high, split", L"--method=deflate --level=high --split=1 --hash=on", L"b.exe", L"", true},
        {"password with a blank", L"\"--password=kagi 2\" --method=lz4", L"c.exe", L"\"--password=kagi 2\"",
         false},
        {"password file, plain archive", passwordFile + L" --level=high", L"d.zka", passwordFile, false},
        {"texts and options", L"\"--title=配布 用\" --comment=一行 --show-list=off --hidden=off", L"e.exe",
         L"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_pWhat);
        const std::wstring archive = m_folder / c.m_pArchive;
        ASSERT_EQ(Build(c.m_strSwitches + L" --no-ui=on \"--output=" + archive + L"\""), 0);
        ASSERT_TRUE(FileExists(archive));
        EXPECT_EQ(FileExists(archive + L".2"), c.m_bSplit);

        const std::wstring out = m_folder / (std::wstring(L"out-") + c.m_pArchive);
        const std::wstring extract = L"\"--dest=" + out + L"\" " + c.m_strExtractorSwitches;
        const bool plain = archive.back() == L'a';
        EXPECT_EQ(plain ? RunToEnd(m_folder / L"ZelkoraSfx.exe", L"\"" + archive + L"\" " + extract,
                                   m_folder.Path())
                        : RunToEnd(archive, extract, m_folder.Path()),
                  0);
        EXPECT_TRUE(SameTree({m_folder / L"src"}, out));
    }
    // Every switch held for its run only.
    EXPECT_FALSE(FileExists(m_folder / L"Zelkora.env"));
    EXPECT_FALSE(FileExists(m_folder / L"Zelkora.sav"));
}

// The log beside the program as text (UTF-16 after its byte-order mark).
std::wstring LogText(const std::wstring& path)
{
    const std::string bytes = ReadWholeFile(path);
    if (bytes.size() < 2) return L"";
    std::wstring text((bytes.size() - 2) / 2, L'\0');
    memcpy(text.data(), bytes.data() + 2, text.size() * 2);
    return text;
}

// "--quiet": no window at all. The runs end by themselves (a wizard or a box
// would keep the process alive), with the exit code and, on a failure, the
// log saying why.
TEST_F(BuilderSwitchesTest, QuietBuildShowsNothingAndReportsThroughTheLog)
{
    struct Case {
        const char* m_pWhat;
        std::wstring m_strArguments;
        int m_nExitCode;
        std::wstring m_strInLog; // empty: no log
    } cases[] = {
        {"missing source", L"--quiet \"" + m_folder / L"gone" + L"\"", 1, L"保管するファイルがありません"},
        {"output folder missing",
         L"--quiet \"--output=" + m_folder / L"no such\\x.exe" + L"\" \"" + m_folder / L"src" + L"\"", 1,
         m_folder / L"no such\\x.exe"},
        {"builds", L"--quiet --no-ui=on --method=lz4 \"" + m_folder / L"src" + L"\"", 0, L""},
        {"bad switch", L"--bogus --quiet \"" + m_folder / L"src" + L"\"", 2, L"不正なスイッチです：--bogus"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_pWhat);
        DeleteFileW((m_folder / L"Zelkora.log").c_str());
        EXPECT_EQ(RunToEnd(m_folder / L"Zelkora.exe", c.m_strArguments, m_folder.Path()), c.m_nExitCode);
        const std::wstring log = LogText(m_folder / L"Zelkora.log");
        if (c.m_strInLog.empty())
            EXPECT_EQ(log, L"");
        else
            EXPECT_NE(log.find(c.m_strInLog), std::wstring::npos) << testing::PrintToString(log);
    }
    // The one that built gave its archive the usual name beside the source.
    const std::wstring out = m_folder / L"out";
    EXPECT_EQ(RunToEnd(m_folder / L"src.exe", L"\"--dest=" + out + L"\"", m_folder.Path()), 0);
    EXPECT_TRUE(SameTree({m_folder / L"src"}, out));
}

} // namespace
