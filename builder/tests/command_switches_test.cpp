#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "builder/ui/command_switches.h"
#include "builder/settings/settings_records.h"
#include "builder/settings/startup.h"

namespace {

// Every switch with a value reaches its setting; the records' other fields
// keep what was saved.
TEST(BuilderSwitches, EachSwitchOverridesItsSetting)
{
    // clang-format off
    const std::vector<std::wstring> fields = {
        L"--output=D:\\out\\配布 用.EXE", L"--method=lz4", L"--level=high", L"--split=700", L"--hash=off",
        L"--verify=off", L"--hidden=off", L"--title=題名", L"--comment=a \"b\"", L"--dest=C:\\dest",
        L"--show-list=off", L"--no-ui=on", L"--password=first", L"--password=鍵"};
    // clang-format on
    BuilderOverrides o;
    std::wstring bad;
    ASSERT_TRUE(ParseBuilderSwitches(fields, o, &bad)) << std::string(bad.begin(), bad.end());
    EXPECT_FALSE(o.m_bQuiet);

    CVosmireEnv env;
    CVosmirePrm prm;
    env.m_bUseExclusions = 1;
    prm.m_strSfxRunAfter = L"kept";
    ApplyEnvOverrides(o, env);
    ApplyArchiveOverrides(o, prm);
    EXPECT_EQ(env.m_nCompressKind, 0);
    EXPECT_EQ(env.m_nCompressLevel, 1);
    EXPECT_EQ(env.m_bHash, 0);
    EXPECT_EQ(env.m_bVerify, 0);
    EXPECT_EQ(env.m_bIncludeHidden, 0);
    EXPECT_EQ(env.m_bUseExclusions, 1);
    EXPECT_EQ(prm.m_strArchivePath, L"D:\\out\\配布 用.EXE");
    EXPECT_EQ(prm.m_nSplitMB, 700);
    EXPECT_EQ(prm.m_strSfxTitle, L"題名");
    EXPECT_EQ(prm.m_strSfxComment, L"a \"b\"");
    EXPECT_EQ(prm.m_strSfxDestFolder, L"C:\\dest");
    EXPECT_EQ(prm.m_bSfxShowList, 0);
    EXPECT_EQ(prm.m_bSfxNoUI, 1);
    // The later switch wins; the password is its own confirmation.
    EXPECT_EQ(prm.m_strPassword, L"鍵");
    EXPECT_EQ(prm.m_strPasswordConfirm, L"鍵");
    EXPECT_EQ(prm.m_strSfxRunAfter, L"kept");

    EXPECT_FALSE(BuilderOverrides{}.Any());
    EXPECT_TRUE(o.Any());
}

TEST(BuilderSwitches, BadSwitchesAreNamed)
{
    const wchar_t* bad[] = {L"--outptu=a.exe",
                            L"--output=a.zip",
                            L"--output=",
                            L"--method=zip",
                            L"--method=LZ4",
                            L"--level=max",
                            L"--split=-1",
                            L"--split=32769",
                            L"--split=1.5",
                            L"--split=",
                            L"--hash=yes",
                            L"--verify",
                            L"--password=",
                            L"--password-file=Z:\\no\\such\\file.txt",
                            L"--quiet=on",
                            L"--",
                            L"-x"};
    for (const wchar_t* field : bad) {
        SCOPED_TRACE(std::string(field, field + wcslen(field)));
        BuilderOverrides o;
        std::wstring named;
        EXPECT_FALSE(ParseBuilderSwitches({L"--quiet", field, L"--help"}, o, &named));
        EXPECT_EQ(named, field);
        EXPECT_NE(BadBuilderSwitchText(named).find(field), std::wstring::npos);
    }
    BuilderOverrides o;
    std::wstring named;
    EXPECT_TRUE(ParseBuilderSwitches({L"--quiet", L"--help", L"--split=0", L"--output=a.zka"}, o, &named));
    EXPECT_TRUE(o.m_bQuiet);
    EXPECT_TRUE(o.m_bHelp);
    EXPECT_EQ(*o.m_nSplitMB, 0);
}

// Switches sit anywhere among the other fields, quoted like any field with
// blanks, and leave the paths and the one-dash options as they were.
TEST(BuilderSwitches, CommandLineKeepsSwitchesApart)
{
    StartupProbe probe;
    probe.pathExists = [](const std::wstring& path) { return path == L"C:\\base\\a.txt"; };
    probe.listRoot = [](const std::wstring&) { return std::vector<std::wstring>(); };
    probe.handoff = [](uint32_t, std::vector<std::wstring>&) { return 1; };
    StartupResult r;
    ReadCommandLine(L"zk.exe --split=1 -I C:\\base \"--title=配布 用\" a.txt -X --quiet", 2, probe, r);
    EXPECT_EQ(r.m_arrStartFiles, std::vector<std::wstring>{L"C:\\base\\a.txt"});
    EXPECT_EQ(r.m_strBaseFolder, L"C:\\base\\");
    EXPECT_EQ(r.m_arrSwitches, (std::vector<std::wstring>{L"--split=1", L"--title=配布 用", L"--quiet"}));
}

} // namespace
