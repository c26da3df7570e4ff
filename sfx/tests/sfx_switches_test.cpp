#include <gtest/gtest.h>

#include "sfx/engine/command_line.h"
#include "sfx/engine/sfx_switches.h"

namespace zk {
namespace {

struct LineCase {
    const wchar_t* line;
    const wchar_t* archive;
    const wchar_t* bad;
    const wchar_t* dest; // null: none given
    bool yes, quiet, help;
    const wchar_t* password; // null: none given
};

TEST(SfxSwitches, CommandLineTable)
{
    const LineCase cases[] = {
        // Without switches the last argument is the archive, as before.
        {L"sfx.exe a.zka b.zka", L"b.zka", L"", nullptr, false, false, false, nullptr},
        {L"sfx.exe", L"", L"", nullptr, false, false, false, nullptr},
        {L"pack.exe --yes --quiet", L"", L"", nullptr, true, true, false, nullptr},
        {L"sfx.exe \"--dest=C:\\Program Files\\x\" a.zka --yes", L"a.zka", L"", L"C:\\Program Files\\x", true,
         false, false, nullptr},
        {L"sfx.exe --password=kagi \"my pack.zka\"", L"my pack.zka", L"", nullptr, false, false, false,
         L"kagi"},
        {L"sfx.exe --help", L"", L"", nullptr, false, false, true, nullptr},
        // The first bad switch is named; the rest is still read.
        {L"sfx.exe --dset=C:\\x --bogus a.zka --yes", L"a.zka", L"--dset=C:\\x", nullptr, true, false, false,
         nullptr},
        {L"sfx.exe --dest= a.zka", L"a.zka", L"--dest=", nullptr, false, false, false, nullptr},
        {L"sfx.exe --yes=no", L"", L"--yes=no", nullptr, false, false, false, nullptr},
        {L"sfx.exe --password-file=Z:\\no\\such\\file", L"", L"--password-file=Z:\\no\\such\\file", nullptr,
         false, false, false, nullptr},
        {L"sfx.exe -- a.zka", L"a.zka", L"--", nullptr, false, false, false, nullptr},
        // One dash is no switch: it names the archive as it always did.
        {L"sfx.exe -y", L"-y", L"", nullptr, false, false, false, nullptr},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.line, c.line + wcslen(c.line)));
        SfxCommandLine got = ParseSfxArguments(SplitSfxCommandLine(c.line));
        EXPECT_EQ(got.m_strArchivePath, c.archive);
        EXPECT_EQ(ArchivePathFromCommandLine(c.line), c.archive);
        EXPECT_EQ(got.m_strBadSwitch, c.bad);
        EXPECT_EQ(got.m_switches.m_bDest, c.dest != nullptr);
        EXPECT_EQ(got.m_switches.m_strDest, c.dest ? c.dest : L"");
        EXPECT_EQ(got.m_switches.m_bYes, c.yes);
        EXPECT_EQ(got.m_switches.m_bQuiet, c.quiet);
        EXPECT_EQ(got.m_switches.m_bHelp, c.help);
        EXPECT_EQ(got.m_switches.m_bPassword, c.password != nullptr);
        EXPECT_EQ(got.m_switches.m_strPassword, c.password ? c.password : L"");
    }
}

} // namespace
} // namespace zk
