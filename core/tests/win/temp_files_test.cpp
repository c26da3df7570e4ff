#include "core/temp_files.h"

#include "core/file_time.h"
#include "core/long_path.h"
#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zk {
namespace {

// A clock that stands still for the first two readings, then moves on.
std::vector<uint64_t> g_times;
size_t g_reads = 0;
std::vector<uint32_t> g_pauses;

uint64_t FakeClock()
{
    return g_times[std::min(g_reads++, g_times.size() - 1)];
}
void FakePause(uint32_t ms)
{
    g_pauses.push_back(ms);
}

TEST(CreateTempFileName, SameTickRetriesWithFreshTime)
{
    test::ScratchFolder dir;
    g_times = {0x01DB1234ABCDEF01ull, 0x01DB1234ABCDEF01ull, 0x01DB1234ABCDEF02ull};
    g_reads = 0;
    g_pauses.clear();

    std::wstring first, second;
    ASSERT_TRUE(detail::CreateTempFileNameWith(dir.Path().c_str(), first, nullptr, FakeClock, FakePause));
    EXPECT_EQ(first, L"\\\\?\\" + dir.Path() + L"ZKR01DB1234ABCDEF01.TMP");
    EXPECT_TRUE(PathExists(first.c_str())) << "the name is reserved on disk";
    EXPECT_TRUE(g_pauses.empty());

    // Asked again within the same tick: the name is taken, so it waits
    // 100 ms and takes a fresh time.
    ASSERT_TRUE(detail::CreateTempFileNameWith(dir.Path().c_str(), second, nullptr, FakeClock, FakePause));
    EXPECT_EQ(second, L"\\\\?\\" + dir.Path() + L"ZKR01DB1234ABCDEF02.TMP");
    EXPECT_EQ(g_pauses, (std::vector<uint32_t>{100}));

    // The work file's prefix.
    g_times = {0x01DB1234ABCDEF01ull};
    g_reads = 0;
    std::wstring work;
    ASSERT_TRUE(detail::CreateTempFileNameWith(dir.Path().c_str(), work, L"~ZK", FakeClock, FakePause));
    EXPECT_EQ(LastComponent(work), L"~ZK01DB1234ABCDEF01.TMP");
}

TEST(CreateTempFileName, GivesUpAfterSeventeenAttempts)
{
    test::ScratchFolder dir;
    g_times = {0x0000000100000002ull};
    g_reads = 0;
    g_pauses.clear();
    std::wstring name;
    ASSERT_TRUE(detail::CreateTempFileNameWith(dir.Path().c_str(), name, nullptr, FakeClock, FakePause));
    EXPECT_EQ(LastComponent(name), L"ZKR0000000100000002.TMP");
    g_reads = 0;
    name = L"stale";
    EXPECT_FALSE(detail::CreateTempFileNameWith(dir.Path().c_str(), name, nullptr, FakeClock, FakePause));
    EXPECT_EQ(name, L"");
    EXPECT_EQ(g_reads, 17u);
    EXPECT_EQ(g_pauses.size(), 16u);
}

TEST(CreateTempFileName, RealClockTwiceInARow)
{
    test::ScratchFolder dir;
    std::wstring a, b;
    ASSERT_TRUE(CreateTempFileName(dir.Path().c_str(), a));
    ASSERT_TRUE(CreateTempFileName(dir.Path().c_str(), b));
    EXPECT_NE(a, b);
    EXPECT_TRUE(PathExists(a.c_str()));
    EXPECT_TRUE(PathExists(b.c_str()));
}

TEST(GetTempFolder, ExistingFolderWithTrailingSlash)
{
    std::wstring folder;
    ASSERT_TRUE(GetTempFolder(folder));
    EXPECT_EQ(folder.back(), L'\\');
    EXPECT_TRUE(PathIsFolder(folder.c_str()));
    EXPECT_EQ(folder.find(L'~'), std::wstring::npos) << "long names, not 8.3";
}

TEST(GetTempFolder, FallsBackToWindowsTempWhenNothingIsAFolder)
{
    wchar_t savedTmp[MAX_PATH] = {}, savedTemp[MAX_PATH] = {};
    GetEnvironmentVariableW(L"TMP", savedTmp, MAX_PATH);
    GetEnvironmentVariableW(L"TEMP", savedTemp, MAX_PATH);
    SetEnvironmentVariableW(L"TMP", L"Z:\\no\\such\\folder");
    SetEnvironmentVariableW(L"TEMP", L"Z:\\no\\such\\folder2");
    std::wstring folder;
    const bool ok = GetTempFolder(folder);
    SetEnvironmentVariableW(L"TMP", savedTmp);
    SetEnvironmentVariableW(L"TEMP", savedTemp);

    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    ASSERT_TRUE(ok);
    EXPECT_EQ(folder, std::wstring(windows) + L"\\Temp\\");
}

TEST(CurrentFileTime, IsUniversalTime)
{
    FILETIME ft{};
    GetSystemTimeAsFileTime(&ft);
    const uint64_t utc = (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    const uint64_t now = CurrentFileTime();
    // Within 2 s; a local-time result would be off by the zone's offset.
    EXPECT_LT(now > utc ? now - utc : utc - now, 20000000u);
}

} // namespace
} // namespace zk
