// Texts of the progress and completion pages and of the settings dialog's
// exclusion patterns.

#include "builder/settings/exclusion_patterns.h"
#include "builder/ui/progress_texts.h"

#include <gtest/gtest.h>

namespace {

TEST(ProgressTexts, ElapsedAndBar)
{
    EXPECT_EQ(zk::FormatElapsed(0), L"00:00:00");
    EXPECT_EQ(zk::FormatElapsed(3725), L"01:02:05");
    EXPECT_EQ(zk::FormatElapsed(100 * 3600 + 59), L"100:00:59");
    EXPECT_EQ(zk::FormatBarText(0, 0, 0), L"0 / 0 MB (0 %) [00:00:00]");
    EXPECT_EQ(zk::FormatBarText(50, 200, 61), L"50 / 200 MB (25 %) [00:01:01]");
    EXPECT_EQ(zk::FormatBarText(8000000000LL, 8000000000LL, 0),
              L"8000000000 / 8000000000 MB (100 %) [00:00:00]");
}

TEST(ProgressTexts, BarLayersStayInsideTheBar)
{
    auto empty = zk::ComputeBarWidths(5, 5, 0, 300);
    EXPECT_EQ(empty.nCompress, 0);
    EXPECT_EQ(empty.nVerify, 0);
    auto half = zk::ComputeBarWidths(50, 25, 100, 300);
    EXPECT_EQ(half.nCompress, 150);
    EXPECT_EQ(half.nVerify, 75);
    auto over = zk::ComputeBarWidths(150, 100, 100, 300);
    EXPECT_EQ(over.nCompress, 300);
    EXPECT_EQ(over.nVerify, 300);
}

TEST(ProgressTexts, CountersArePaddedAndGrouped)
{
    // Before the sources are counted every value reads "0".
    EXPECT_EQ(zk::FormatCountersText(std::nullopt),
              L"ファイル数\t： 0        \tフォルダ数\t： 0\n処理ファイル数\t： "
              L"0        \t処理サイズ\t： 0");
    // Counted, an empty folder: the size is a byte count.
    EXPECT_EQ(zk::FormatCountersText(zk::CounterValues{0, 1, 0, 0}),
              L"ファイル数\t： 0        \tフォルダ数\t： 1\n処理ファイル数\t： 0        \t処理サイズ\t： 0 "
              L"Byte [0 B]");
    zk::CounterValues c{1234567, 12, 12, 1536};
    EXPECT_EQ(zk::FormatCountersText(c), L"ファイル数\t： 1,234,567\tフォルダ数\t： 12\n処理ファイル数\t： "
                                         L"12       \t処理サイズ\t： 1,536 Byte [2 KB]");
}

zk::SettingsValues PlainSettings()
{
    zk::SettingsValues s;
    s.strArchivePath = L"C:\\out\\a.exe";
    s.bVerify = true;
    s.bHash = true;
    s.bIncludeHidden = false;
    s.strWorkFolder = L"D:\\work\\";
    s.exclusions = {L"Thumbs.db", L"*.tmp"};
    return s;
}

TEST(ProgressTexts, SummaryOfPlainSettings)
{
    zk::SettingsValues s = PlainSettings();
    EXPECT_EQ(zk::FormatSettingsSummary(s),
              L"書庫ファイル\t： C:\\out\\a.exe\nパスワード\t： なし       \t分割サイズ\t： なし       "
              L"\t圧縮種類\t： Lz4 (標準) \n"
              L"ベリファイ\t： あり       \tハッシュ生成\t： あり       \t隠しファイル\t： 含まない     \n"
              L"作業フォルダ\t： C:\\out\\\n除外ファイル\t： なし");
}

TEST(ProgressTexts, SummaryWithEveryOption)
{
    zk::SettingsValues s = PlainSettings();
    s.bPassword = true;
    s.nSplitMB = 4482;
    s.nCompressKind = 1;
    s.nCompressLevel = 1;
    s.bIncludeHidden = true;
    s.bUseWorkFolder = true;
    s.bUseExclusions = true;
    std::wstring text = zk::FormatSettingsSummary(s);
    EXPECT_NE(text.find(L"パスワード\t： あり       \t"), std::wstring::npos) << testing::PrintToString(text);
    EXPECT_NE(text.find(L"分割サイズ\t： 4,482 MB \t"), std::wstring::npos);
    EXPECT_NE(text.find(L"圧縮種類\t： Deflate (高圧縮)\n"), std::wstring::npos);
    EXPECT_NE(text.find(L"隠しファイル\t： 含む       \n"), std::wstring::npos);
    EXPECT_NE(text.find(L"作業フォルダ\t： D:\\work\\\n"), std::wstring::npos);
    EXPECT_NE(text.find(L"除外ファイル\t： *.tmp Thumbs.db"), std::wstring::npos);
}

TEST(ProgressTexts, CompressionRatio)
{
    EXPECT_EQ(zk::FormatCompressionRatio(10485760, 2621440), L"75.0%");
    EXPECT_EQ(zk::FormatCompressionRatio(0, 100), L"0.0%");
    EXPECT_EQ(zk::FormatCompressionRatio(100, 116), L"-16.0%");
    EXPECT_EQ(zk::FormatCompressionRatio(3, 1), L"66.7%");
}

TEST(ProgressTexts, CompletionReport)
{
    zk::ResultValues r{2, 1, 1, 10485760, 2621440, 3725};
    zk::SettingsValues s = PlainSettings();
    s.nCompressKind = 1;
    EXPECT_EQ(zk::FormatCompletionReport(r, s),
              L"ファイル数\t： 2        \t圧縮種類\t： Deflate (標準)\nフォルダ数\t： 1        "
              L"\t分割サイズ\t： なし       \n"
              L"処理ファイル数\t： 1        \tパスワード\t： なし       \n処理サイズ\t： 10,485,760 Byte "
              L"[10.0 MB]\n"
              L"書庫サイズ\t： 2,621,440 Byte [2.50 MB]\n\t圧縮率\t： 75.0%\t\t処理時間\t： 01:02:05");
}

TEST(ExclusionPatterns, ParsedTrimmedAndShownSorted)
{
    auto patterns = zk::ParseExclusionPatterns(L"*.tmp;Thumbs.db ; ;*.bak");
    ASSERT_EQ(patterns.size(), 3u);
    EXPECT_EQ(zk::FormatExclusionPatterns(patterns), L"*.bak; *.tmp; Thumbs.db");

    EXPECT_TRUE(zk::ParseExclusionPatterns(L" ; ;; ").empty());
    EXPECT_EQ(zk::FormatExclusionPatterns({}), L"");
    // Case matters for the set, not for the order.
    auto cased = zk::ParseExclusionPatterns(L"a;A;a");
    EXPECT_EQ(cased.size(), 2u);
    std::wstring joined = zk::FormatExclusionPatterns(cased);
    EXPECT_TRUE(joined == L"a; A" || joined == L"A; a") << testing::PrintToString(joined);
    // Only the blank is trimmed; a tab stays part of the pattern.
    EXPECT_EQ(zk::ParseExclusionPatterns(L"\t*.x ")[0], L"\t*.x");
    EXPECT_TRUE(zk::ParseExclusionPatterns(std::wstring(256, L'x')).empty());
    EXPECT_EQ(zk::ParseExclusionPatterns(std::wstring(255, L'x')).size(), 1u);
}

TEST(ProgressTexts, PaddingCountsCharactersNotWidth)
{
    EXPECT_EQ(zk::PadRight(L"あり", 9), L"あり       ");
    EXPECT_EQ(zk::PadRight(L"1,234,567", 9), L"1,234,567");
    EXPECT_EQ(zk::PadRight(L"12,345,678", 9), L"12,345,678");
}

} // namespace
