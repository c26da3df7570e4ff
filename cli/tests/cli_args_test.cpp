#include <gtest/gtest.h>

#include "cli/cli_args.h"
#include "core/exit_codes.h"

namespace zk {
namespace {

int Parse(std::vector<std::wstring> args, CliOptions* o, std::string* error = nullptr)
{
    std::string ignored;
    return ParseCliArgs(args, o, error ? error : &ignored);
}

TEST(CliArgs, UsageErrorsExitWithTwo)
{
    struct Case {
        std::vector<std::wstring> m_listArgs;
        const char* m_pNamed; // a part of the message
    };
    const Case cases[] = {
        {{}, "no command"},
        {{L"unpack", L"a.zka"}, "unknown command unpack"},
        {{L"list"}, "no ARCHIVE"},
        {{L"list", L"a.zka", L"b.zka"}, "unexpected operand b.zka"},
        {{L"list", L"a.zka", L"--bogus"}, "unknown option --bogus"},
        {{L"list", L"a.zka", L"-y"}, "-y is not an option of list"},
        {{L"test", L"a.zka", L"--json"}, "--json is not an option of test"},
        {{L"extract", L"a.zka", L"-y", L"-n"}, "exclude each other"},
        {{L"extract", L"a.zka", L"-d"}, "-d needs a value"},
        {{L"extract", L"a.zka", L"--yes=1"}, "takes no value"},
        {{L"extract", L"a.zka", L"-p", L"x", L"--password-file", L"f"}, "exclude each other"},
        {{L"list", L"a.zka", L"--codepage", L"abc"}, "code page"},
        {{L"list", L"a.zka", L"--codepage=0"}, "code page"},
        {{L"list", L"a.zka", L"--threads=0"}, "thread count"},
        {{L"pack", L"a", L"-o", L"a.zka", L"--threads", L"65"}, "thread count"},
        {{L"pack", L"-o", L"out.exe"}, "no SOURCE"},
        {{L"pack", L"src"}, "-o OUT.exe"},
        {{L"pack", L"src", L"-o", L"out.zip"}, "must end in .exe"},
        {{L"pack", L"src", L"-o", L"out.zka", L"--stub", L"s.exe"}, "--stub is only"},
        {{L"pack", L"src", L"-o", L"out.exe", L"--method", L"zstd"}, "lz4 or deflate"},
        {{L"pack", L"src", L"-o", L"out.exe", L"--level=max"}, "standard or high"},
        {{L"pack", L"src", L"-o", L"out.exe", L"--split", L"32769"}, "0 to 32768"},
        {{L"pack", L"src", L"-o", L"out.exe", L"--split", L"-1"}, "0 to 32768"},
        {{L"pack", L"src", L"-o", L"out.exe", L"--split", L"1x"}, "0 to 32768"},
        {{L"pack", L"src", L"-o", L"out.exe", L"-yes"}, "unknown option -yes"},
    };
    for (const Case& c : cases) {
        CliOptions o;
        std::string error;
        EXPECT_EQ(Parse(c.m_listArgs, &o, &error), EXIT_CODE_BAD_SWITCH) << c.m_pNamed;
        EXPECT_NE(error.find(c.m_pNamed), std::string::npos) << error;
    }
}

TEST(CliArgs, HelpAndVersionWinOverMistakes)
{
    CliOptions o;
    EXPECT_EQ(Parse({L"--help"}, &o), 0);
    EXPECT_TRUE(o.m_bHelp);
    EXPECT_EQ(o.m_nCommand, CliCommand::NONE);
    EXPECT_EQ(Parse({L"pack", L"--bogus", L"-h"}, &o), 0);
    EXPECT_TRUE(o.m_bHelp);
    EXPECT_EQ(o.m_nCommand, CliCommand::PACK);
    EXPECT_EQ(Parse({L"--version"}, &o), 0);
    EXPECT_TRUE(o.m_bVersion);
    for (CliCommand c :
         {CliCommand::NONE, CliCommand::LIST, CliCommand::TEST, CliCommand::EXTRACT, CliCommand::PACK})
        EXPECT_NE(CliHelpText(c).find("Usage: zelkora"), std::string::npos);
}

TEST(CliArgs, ExtractTakesDestinationAnswersAndPaths)
{
    CliOptions o;
    ASSERT_EQ(Parse({L"extract", L"a.exe", L"-d", L"out", L"-n", L"docs/readme.txt", L"--", L"-odd"}, &o), 0);
    EXPECT_EQ(o.m_nCommand, CliCommand::EXTRACT);
    EXPECT_EQ(o.m_strArchive, L"a.exe");
    EXPECT_EQ(o.m_strDestination, L"out");
    EXPECT_EQ(o.m_nOverwrite, OVERWRITE_NONE);
    EXPECT_EQ(o.m_listPaths, (std::vector<std::wstring>{L"docs/readme.txt", L"-odd"}));

    ASSERT_EQ(Parse({L"-q", L"extract", L"--dest=x", L"a.zka", L"-y", L"--password=\u65E5\u672C"}, &o), 0);
    EXPECT_TRUE(o.m_bQuiet);
    EXPECT_EQ(o.m_strDestination, L"x");
    EXPECT_EQ(o.m_nOverwrite, OVERWRITE_ALL);
    EXPECT_TRUE(o.m_bPassword);
    EXPECT_EQ(o.m_strPassword, L"\u65E5\u672C");
    // An empty password is still a password given.
    ASSERT_EQ(Parse({L"list", L"a.zka", L"-p", L""}, &o), 0);
    EXPECT_TRUE(o.m_bPassword);
}

TEST(CliArgs, PackTakesEveryOption)
{
    CliOptions o;
    ASSERT_EQ(Parse({L"pack",       L"a",       L"b",           L"-o",        L"OUT.EXE",     L"--method",
                     L"lz4",        L"--level", L"high",        L"--no-hash", L"--no-verify", L"--split",
                     L"32768",      L"--title", L"T",           L"--comment", L"C",           L"--dest",
                     L"D",          L"--no-ui", L"--show-list", L"--hidden",  L"--stub",      L"s.exe",
                     L"--codepage", L"1252",        L"--threads", L"3"},
                    &o),
              0);
    EXPECT_EQ(o.m_listPaths, (std::vector<std::wstring>{L"a", L"b"}));
    EXPECT_EQ(o.m_strOutput, L"OUT.EXE");
    EXPECT_EQ(o.m_nCompressKind, 0);
    EXPECT_EQ(o.m_nCompressLevel, 1);
    EXPECT_TRUE(o.m_bNoHash && o.m_bNoVerify && o.m_bNoUi && o.m_bShowList && o.m_bHidden);
    EXPECT_EQ(o.m_nSplitMB, 32768u);
    EXPECT_EQ(o.m_strTitle, L"T");
    EXPECT_EQ(o.m_strComment, L"C");
    EXPECT_EQ(o.m_strSfxDest, L"D");
    EXPECT_TRUE(o.m_strDestination.empty());
    EXPECT_EQ(o.m_strStub, L"s.exe");
    EXPECT_TRUE(o.m_bCodePage);
    EXPECT_EQ(o.m_nCodePage, 1252u);
    EXPECT_EQ(o.m_nThreads, 3u);

    // The defaults are the Windows builder's: Deflate standard, hash and verify.
    ASSERT_EQ(Parse({L"pack", L"a", L"-o", L"a.zka"}, &o), 0);
    EXPECT_EQ(o.m_nCompressKind, 1);
    EXPECT_EQ(o.m_nCompressLevel, 0);
    EXPECT_FALSE(o.m_bNoHash || o.m_bNoVerify || o.m_bHidden);
    EXPECT_FALSE(o.m_bCodePage);
}

} // namespace
} // namespace zk
