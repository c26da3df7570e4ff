#include <gtest/gtest.h>

#include "core/archive_format.h"
#include "sfx/ui/main_window_texts.h"

namespace zk {
namespace {

TEST(SummaryText, ShowsSizesCountsAndOptionsInFiveLines)
{
    SummaryFacts f;
    f.m_nTotalSize = 1536;
    f.m_nFileCount = 12;
    f.m_nFolderCount = 3;
    f.m_nContentCount = 1234;
    f.m_nArchiveFlags = AF_HASH | AF_MARK;
    EXPECT_EQ(SummaryText(f), L"ファイルサイズ\t： 1,536     Byte [2 KB]\n"
                              L"格納ファイル数\t： 12       \t格納フォルダ数\t： 3\n"
                              L"圧縮ファイル数\t： 1,234    \t分割ファイル数\t： なし\n"
                              L"文字コード\t： Unicode\t誤り検出\t： あり\n"
                              L"隠しファイル\t： 含まない");
}

TEST(SummaryText, NarrowNamesHiddenFilesAndVolumes)
{
    SummaryFacts f;
    f.m_nTotalSize = 12ull << 20;
    f.m_nSizeEstimate = 12ull << 20;
    f.m_nVolumeSize = 5ull << 20;
    f.m_nArchiveFlags = AF_NARROW_NAMES | AF_HIDDEN;
    std::wstring text = SummaryText(f);
    EXPECT_NE(text.find(L"ファイルサイズ\t： 12,582,912 Byte [12.0 MB]\n"), std::wstring::npos) << text;
    EXPECT_NE(text.find(L"分割ファイル数\t： 3\n"), std::wstring::npos) << text;
    EXPECT_NE(text.find(L"文字コード\t： Sjift-JIS\t誤り検出\t： なし\n"), std::wstring::npos) << text;
    EXPECT_NE(text.find(L"隠しファイル\t： 含む"), std::wstring::npos) << text;
}

TEST(VolumeCountText, CountsStartedVolumes)
{
    struct Case {
        uint64_t estimate, volume;
        const wchar_t* text;
    } cases[] = {
        {12ull << 20, 0, L"なし"},       {12ull << 20, 5ull << 20, L"3"},
        {10ull << 20, 5ull << 20, L"2"}, {(10ull << 20) + 1, 5ull << 20, L"3"},
        {1, 700ull << 20, L"1"},         {0, 1ull << 20, L"0"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VolumeCountText(c.estimate, c.volume), c.text) << c.estimate;
}

TEST(WindowTitle, ArchiveTitleAfterOneBlankElseProgramTitle)
{
    EXPECT_EQ(WindowTitle(L"写真 2026", L"1.0.0"), L" 写真 2026");
    EXPECT_EQ(WindowTitle(L"", L"1.2.3"), L" ゼルコラ 解凍ツール - Version 1.2.3");
}

TEST(InitialDestination, DefaultFolderElseArchivePathWithoutExtension)
{
    EXPECT_EQ(InitialDestination(L"D:\\受け取り\\", L"C:\\dl\\photos.exe", false), L"D:\\受け取り\\");
    EXPECT_EQ(InitialDestination(L"", L"C:\\dl\\photos.exe", false), L"C:\\dl\\photos");
    EXPECT_EQ(InitialDestination(L"", L"C:\\dl.v2\\data.zka", false), L"C:\\dl.v2\\data");
    // Without a window the archive's own suggestion is not used.
    EXPECT_EQ(InitialDestination(L"D:\\x\\", L"C:\\dl\\photos.exe", true), L"C:\\dl\\photos");
}

TEST(ProgressText, StatusWinsThenFinishedThenByteCount)
{
    struct Case {
        const wchar_t* status;
        uint64_t done, total;
        int64_t elapsed;
        const wchar_t* text;
    } cases[] = {
        {L"処理中！！ しばらくお待ちください", 5, 10, 3, L"処理中！！ しばらくお待ちください"},
        {L"", 10, 10, 3725, L"完了 [01:02:05]"},
        {L"", 0, 0, 0, L"完了 [00:00:00]"},
        {L"", 512, 2048, 59, L"512 / 2048 Byte (25 %) [00:00:59]"},
        {L"", 1, 3, 0, L"1 / 3 Byte (33 %) [00:00:00]"},
        // Hours are not wrapped at a day.
        {L"", 1, 2, 100 * 3600 + 61, L"1 / 2 Byte (50 %) [100:01:01]"},
        {L"", 5000000000ull, 10000000000ull, 0, L"5000000000 / 10000000000 Byte (50 %) [00:00:00]"},
        // A clock set back shows no negative time.
        {L"", 1, 2, -5, L"1 / 2 Byte (50 %) [00:00:00]"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ProgressText(c.status, c.done, c.total, c.elapsed), c.text);
}

TEST(ProgressBar, WidthFollowsTheRatioInsideTheFrame)
{
    EXPECT_EQ(ProgressBarWidth(405, ProgressRatio(0, 0)), 0);
    EXPECT_EQ(ProgressBarWidth(405, ProgressRatio(1, 2)), 200);
    EXPECT_EQ(ProgressBarWidth(405, ProgressRatio(1, 3)), 133);
    EXPECT_EQ(ProgressBarWidth(405, ProgressRatio(7, 7)), 400);
    // More done than announced keeps the bar inside its frame.
    EXPECT_EQ(ProgressBarWidth(405, ProgressRatio(9, 7)), 400);
    EXPECT_EQ(ProgressBarWidth(3, ProgressRatio(1, 1)), 0);
}

TEST(ListDateText, LocalTimeWithUnpaddedHour)
{
    SYSTEMTIME local = {2026, 3, 0, 7, 9, 5, 30, 0};
    FILETIME lft, utc;
    ASSERT_TRUE(SystemTimeToFileTime(&local, &lft));
    ASSERT_TRUE(LocalFileTimeToFileTime(&lft, &utc));
    EXPECT_EQ(ListDateText(utc), L"2026/03/07 9:05");
    FILETIME bad = {0xFFFFFFFF, 0xFFFFFFFF};
    EXPECT_EQ(ListDateText(bad), L"");
}

} // namespace
} // namespace zk
