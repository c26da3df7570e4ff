#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "builder/ui/builder_app.h"
#include "builder/settings/startup.h"
#include "ui/message_box.h"
#include "core/tests/fake_dialogue.h"
#include "core/os_info.h"

namespace {

using Paths = std::vector<std::wstring>;

// A file system of a few paths and drive roots, and a recorded hand-off.
struct FakeSystem {
    std::set<std::wstring> existing;
    std::map<std::wstring, Paths> roots;
    std::vector<uint32_t> handoffSizes;
    int handoffResult = 1;
    Paths block;

    StartupProbe Probe()
    {
        StartupProbe p;
        p.pathExists = [this](const std::wstring& path) {
            return existing.count(path) != 0 || roots.count(path) != 0;
        };
        p.listRoot = [this](const std::wstring& root) {
            // Listing a root the test did not set up would walk a real drive.
            EXPECT_EQ(roots.count(root), 1u) << "listed " << std::string(root.begin(), root.end());
            return roots[root];
        };
        p.handoff = [this](uint32_t size, Paths& fields) {
            handoffSizes.push_back(size);
            if (handoffResult == 0) fields = block;
            return handoffResult;
        };
        return p;
    }
};

StartupResult Read(FakeSystem& fs, const std::wstring& commandLine, int argc = 2)
{
    StartupResult r;
    ReadCommandLine(commandLine, argc, fs.Probe(), r);
    return r;
}

TEST(StartupFields, CommandLineTable)
{
    FakeSystem fs;
    fs.existing = {L"C:\\base\\sub\\a.txt", L"C:\\a b\\c.txt", L"C:\\x.txt", L"sub\\a.txt", L"d:\\"};
    fs.existing.insert({L"C:\\data", L"C:\\base\\sub"});
    fs.roots[L"D:\\"] = {L".", L"..", L"one", L"two.txt"};
    fs.roots[L"E:\\"] = {L"e1"};
    struct Case {
        const wchar_t* commandLine;
        Paths files;
        const wchar_t* base;
        const wchar_t* output;
    };
    const Case cases[] = {
        {L"zk.exe C:\\x.txt", {L"C:\\x.txt"}, L"", L""},
        {L"zk.exe -I C:\\base sub\\a.txt", {L"C:\\base\\sub\\a.txt"}, L"C:\\base\\", L""},
        // Only the option letter counts; the rest of the field is ignored.
        {L"zk.exe -Ifoo \"  C:\\base\\ \" sub\\a.txt", {L"C:\\base\\sub\\a.txt"}, L"C:\\base\\", L""},
        {L"zk.exe -O", {}, L"", L""},
        {L"zk.exe -O C:\\out C:\\x.txt -O", {L"C:\\x.txt"}, L"", L""},
        {L"zk.exe -Oxyz C:\\out C:\\x.txt", {L"C:\\x.txt"}, L"", L"C:\\out\\"},
        {L"zk.exe \"C:\\a b\\c.txt\" C:\\gone.txt  C:\\x.txt", {L"C:\\a b\\c.txt", L"C:\\x.txt"}, L"", L""},
        // Option letters are upper case: "-i" is an unknown option like "-Z" and "-".
        {L"zk.exe -i sub\\a.txt -Z -", {L"sub\\a.txt"}, L"", L""},
        {L"zk.exe D:\\", {L"D:\\one", L"D:\\two.txt"}, L"", L""},
        {L"zk.exe d:\\", {L"d:\\"}, L"", L""},
        // A root as base folder with no path stands for its entries.
        {L"zk.exe -I E:", {L"E:\\e1"}, L"E:\\", L""},
        {L"zk.exe -I E:\\ C:\\x.txt", {L"E:\\e1"}, L"E:\\", L""}, // E:\C:\x.txt does not exist
        {L"zk.exe -I e:\\", {}, L"e:\\", L""},
        {L"zk.exe \"C:\\x.txt", {}, L"", L""}, // unterminated quote: nothing read
        // Paths are normalised as dropped ones are: a folder named with its
        // trailing "\" is the folder, and "D:" is the drive root.
        {L"zk.exe \"C:\\data\\\" C:\\data\\", {L"C:\\data", L"C:\\data"}, L"", L""},
        {L"zk.exe -I C:\\base sub\\", {L"C:\\base\\sub"}, L"C:\\base\\", L""},
        {L"zk.exe D:", {L"D:\\one", L"D:\\two.txt"}, L"", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.commandLine, c.commandLine + wcslen(c.commandLine)));
        StartupResult r = Read(fs, c.commandLine);
        EXPECT_EQ(r.m_arrStartFiles, c.files);
        EXPECT_EQ(r.m_strBaseFolder, c.base);
        EXPECT_EQ(r.m_strCmdOutputFolder, c.output);
        EXPECT_EQ(r.m_nStayOnFilePage, 0);
    }
    EXPECT_TRUE(fs.handoffSizes.empty());
}

TEST(StartupFields, NothingIsReadWithoutArguments)
{
    FakeSystem fs;
    fs.existing = {L"C:\\x.txt"};
    EXPECT_TRUE(Read(fs, L"zk.exe C:\\x.txt", 1).m_arrStartFiles.empty());
}

TEST(StartupFields, ManyFieldsAreAllRead)
{
    FakeSystem fs;
    std::wstring commandLine = L"zk.exe";
    Paths expected;
    for (int i = 0; i < 100; ++i) {
        std::wstring path = L"C:\\f" + std::to_wstring(i) + L" x.txt";
        fs.existing.insert(path);
        expected.push_back(path);
        commandLine += L" \"" + path + L"\"";
    }
    EXPECT_EQ(Read(fs, commandLine).m_arrStartFiles, expected);
}

TEST(StartupFields, HandoffReplacesTheRemainingFieldsOnce)
{
    FakeSystem fs;
    // A base folder is put in front of every later path, absolute or not.
    fs.existing = {L"C:\\x.txt", L"C:\\base\\C:\\after.txt", L"C:\\base\\rel.txt"};
    fs.handoffResult = 0;
    fs.block = {L"-I", L"C:\\base", L"rel.txt", L"-M64", L"C:\\after.txt"};
    StartupResult r = Read(fs, L"zk.exe C:\\x.txt -M4096C1 C:\\never.txt");
    // The block's own "-M" would name the same block again: not followed.
    EXPECT_EQ(fs.handoffSizes, std::vector<uint32_t>{4096});
    EXPECT_EQ(r.m_arrStartFiles, (Paths{L"C:\\x.txt", L"C:\\base\\rel.txt", L"C:\\base\\C:\\after.txt"}));
    EXPECT_EQ(r.m_nStayOnFilePage, 1);
}

TEST(StartupFields, FailedHandoffGoesOnWithTheNextField)
{
    struct Case {
        const wchar_t* field;
        uint32_t size;
        int stay;
    };
    const Case cases[] = {
        {L"-M4096", 4096, 0},
        {L"-M4096C1", 4096, 1},
        {L"-M100C25", 100, 25},
        {L"-MC", 0, 0},
        {L"-M99999999999999C7", 0xFFFFFFFF, 7}, // saturates instead of wrapping
    };
    for (const Case& c : cases) {
        FakeSystem fs;
        fs.existing = {L"C:\\x.txt"};
        StartupResult r = Read(fs, std::wstring(L"zk.exe ") + c.field + L" C:\\x.txt");
        EXPECT_EQ(fs.handoffSizes, std::vector<uint32_t>{c.size});
        EXPECT_EQ(r.m_nStayOnFilePage, c.stay);
        EXPECT_EQ(r.m_arrStartFiles, Paths{L"C:\\x.txt"});
    }
}

// The shell extension's side: a named block holding a UTF-16 text.
class SharedBlock {
public:
    SharedBlock(const std::wstring& text, DWORD size, bool terminate = true)
    {
        m_h = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size,
                                 CShellHandoff::MAPPING_NAME);
        EXPECT_NE(m_h, nullptr);
        EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
        auto* view = static_cast<wchar_t*>(MapViewOfFile(m_h, FILE_MAP_ALL_ACCESS, 0, 0, size));
        EXPECT_NE(view, nullptr);
        if (!view) return;
        size_t chars = size / 2;
        for (size_t i = 0; i < chars; ++i)
            view[i] = terminate ? L'\0' : L'x';
        std::copy_n(text.begin(), std::min(text.size(), chars), view);
        UnmapViewOfFile(view);
    }
    ~SharedBlock()
    {
        if (m_h) CloseHandle(m_h);
    }

private:
    HANDLE m_h = nullptr;
};

struct HandoffRun {
    StartupResult result;
    size_t boxes = 0;
};

HandoffRun RunWithBlock(const std::wstring& commandLine, const std::set<std::wstring>& existing)
{
    HandoffRun run;
    zk::test::FakeDialogue user;
    CShellHandoff handoff(user);
    StartupProbe probe = SystemStartupProbe(handoff);
    probe.pathExists = [&](const std::wstring& p) { return existing.count(p) != 0; };
    ReadCommandLine(commandLine, 2, probe, run.result);
    run.boxes = user.Count();
    for (const zk::UserMessage& m : user.Messages()) {
        EXPECT_EQ(m.m_nSource, zk::SOURCE_SYSTEM);
        EXPECT_EQ(m.m_strText.rfind(L"[Error:", 0), 0u)
            << std::string(m.m_strText.begin(), m.m_strText.end());
    }
    EXPECT_EQ(handoff.m_hMapping, nullptr) << "the mapping stays open only while it is read";
    EXPECT_EQ(handoff.m_pView, nullptr);
    return run;
}

TEST(ShellHandoff, ReadsQuotedPathsAcrossLineBreaks)
{
    const std::set<std::wstring> existing = {L"C:\\My Files\\a.txt", L"C:\\say \"hi\".txt", L"C:\\plain.txt"};
    // Line breaks are dropped, not taken as separators.
    SharedBlock block(
        L"\"C:\\My Files\\a.txt\"\r\n \"C:\\say \"\"hi\"\".txt\" \r\nC:\\pla\r\nin.txt -O C:\\out", 4096);
    HandoffRun run = RunWithBlock(L"zk.exe -M4096C1", existing);
    EXPECT_EQ(run.boxes, 0u);
    EXPECT_EQ(run.result.m_arrStartFiles,
              (Paths{L"C:\\My Files\\a.txt", L"C:\\say \"hi\".txt", L"C:\\plain.txt"}));
    EXPECT_EQ(run.result.m_strCmdOutputFolder, L"C:\\out\\");
    EXPECT_EQ(run.result.m_nStayOnFilePage, 1);
}

TEST(ShellHandoff, ReadsMoreThan32Fields)
{
    std::set<std::wstring> existing;
    std::wstring text;
    Paths expected;
    for (int i = 0; i < 60; ++i) {
        std::wstring path = L"C:\\dir " + std::to_wstring(i) + L"\\file.txt";
        existing.insert(path);
        expected.push_back(path);
        text += L"\"" + path + L"\" ";
    }
    SharedBlock block(text, 8192);
    HandoffRun run = RunWithBlock(L"zk.exe -M8192", existing);
    EXPECT_EQ(run.result.m_arrStartFiles, expected);
    EXPECT_EQ(run.result.m_nStayOnFilePage, 0);
}

TEST(ShellHandoff, MissingBlockShowsOneErrorAndReadsTheRemainingFields)
{
    HandoffRun run = RunWithBlock(L"zk.exe -M4096C1 C:\\x.txt", {L"C:\\x.txt"});
    EXPECT_EQ(run.boxes, 1u);
    EXPECT_EQ(run.result.m_arrStartFiles, Paths{L"C:\\x.txt"});
}

TEST(ShellHandoff, ViewLargerThanTheBlockFailsCleanly)
{
    SharedBlock block(L"C:\\in.txt", 4096);
    HandoffRun run = RunWithBlock(L"zk.exe -M1048576 C:\\x.txt", {L"C:\\x.txt", L"C:\\in.txt"});
    EXPECT_EQ(run.boxes, 1u);
    EXPECT_EQ(run.result.m_arrStartFiles, Paths{L"C:\\x.txt"});
}

TEST(ShellHandoff, TextWithoutTerminatorInTheViewYieldsNothing)
{
    const std::set<std::wstring> existing = {L"C:\\in.txt", L"C:\\x.txt"};
    {
        // The view is shorter than the text: it would end mid-path.
        SharedBlock block(L"C:\\in.txt C:\\x.txt", 4096);
        HandoffRun run = RunWithBlock(L"zk.exe -M12", existing);
        EXPECT_EQ(run.boxes, 0u);
        EXPECT_TRUE(run.result.m_arrStartFiles.empty());
    }
    {
        // A block filled to its last byte, the view being the whole block.
        SharedBlock block(L"C:\\in.txt ", 4096, false);
        HandoffRun run = RunWithBlock(L"zk.exe -M", existing);
        EXPECT_TRUE(run.result.m_arrStartFiles.empty());
    }
    {
        SharedBlock block(L"C:\\in.txt \"C:\\x.txt", 4096);
        HandoffRun run = RunWithBlock(L"zk.exe -M4096 C:\\x.txt", existing);
        EXPECT_TRUE(run.result.m_arrStartFiles.empty()) << "unterminated quote: no field of the block";
    }
}

TEST(ShellHandoff, ZeroSizeReadsTheWholeBlock)
{
    SharedBlock block(L"C:\\in.txt", 4096);
    HandoffRun run = RunWithBlock(L"zk.exe -MC3", {L"C:\\in.txt"});
    EXPECT_EQ(run.result.m_arrStartFiles, Paths{L"C:\\in.txt"});
    EXPECT_EQ(run.result.m_nStayOnFilePage, 3);
}

TEST(BuilderApp, ProgramFolderIsTheFolderOfTheRunningExecutable)
{
    zk::MessageBoxRecorder boxes; // a failed system query must not block the run
    CBuilderApp app;
    ASSERT_EQ(app.LoadProgramInfo(), 0);
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    EXPECT_EQ(app.m_strExePath, exe);
    std::wstring folder = exe;
    folder.resize(folder.rfind(L'\\') + 1);
    EXPECT_EQ(app.m_strProgramFolder, folder);
    EXPECT_EQ(app.m_hUxTheme != nullptr, zk::OsVersionCode() >= 10);
}

} // namespace
