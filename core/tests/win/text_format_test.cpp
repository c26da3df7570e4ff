#include "core/text_format.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

namespace zk {
namespace {

constexpr uint64_t KiB = 1024, MiB = KiB * 1024, GiB = MiB * 1024, TiB = GiB * 1024;

// File names reach messages and questions through these texts: a "%" in
// one is the name's own, and a path far longer than the first buffer
// arrives whole.
TEST(FormatText, ArgumentsStayLiteralAndWhole)
{
    const std::wstring deep = L"C:\\" + std::wstring(5000, L'd') + L"\\100%s%d.txt";
    struct Case {
        std::wstring m_strGot;
        std::wstring m_strWanted;
    } cases[] = {
        {FormatText(L"ファイル：%ls", L"50%s off %d%%.txt"), L"ファイル：50%s off %d%%.txt"},
        {FormatText(L"%ls\nファイル：%ls", L"使用中", deep.c_str()), L"使用中\nファイル：" + deep},
        {FormatText(L"（%llu バイト）%d %%", 18446744073709551615ull, 7), L"（18446744073709551615 バイト）7 %"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.m_strGot, c.m_strWanted);
}

TEST(FormatSizeText, AutomaticModeBoundaries)
{
    const struct {
        uint64_t bytes;
        const wchar_t* text;
    } cases[] = {
        {0, L"0 B"},
        {1023, L"1,023 B"},
        {1024, L"1 KB"},
        {1536, L"2 KB"},
        {1023 * KiB, L"1,023 KB"},
        {MiB, L"1.00 MB"},
        {5 * MiB, L"5.00 MB"},
        {10 * MiB + MiB / 4, L"10.3 MB"},
        {150 * MiB, L"150 MB"},
        {999 * MiB, L"999 MB"},
        {1000 * MiB, L"0.98 GB"},
        {1500 * MiB, L"1.46 GB"},
        {700 * GiB, L"700 GB"},
        {1000 * GiB, L"0.98 TB"},
        {3 * TiB, L"3.00 TB"},
        // Beyond 4 TiB the kilobyte count no longer fits 32 bits.
        {5 * TiB, L"5.00 TB"},
        {120 * TiB, L"120 TB"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(FormatSizeText(c.bytes, SIZE_AUTO), c.text) << c.bytes;
}

TEST(FormatSizeText, FixedModes)
{
    const uint64_t bytes = 1500 * MiB;
    EXPECT_STREQ(FormatSizeText(bytes, SIZE_BYTES), L"1,572,864,000 B");
    EXPECT_STREQ(FormatSizeText(bytes, SIZE_KB), L"1,536,000.00 KB");
    EXPECT_STREQ(FormatSizeText(bytes, SIZE_MB), L"1,500.00 MB");
    EXPECT_STREQ(FormatSizeText(bytes, SIZE_GB), L"1.46 GB");
    EXPECT_STREQ(FormatSizeText(bytes, SIZE_TB), L"0.00 TB");
    EXPECT_STREQ(FormatSizeText(1536, 42), L"2 KB");
}

TEST(FormatDecimal, RoundingAndSign)
{
    const struct {
        double value;
        int places;
        const wchar_t* text;
    } cases[] = {
        {0.999, 2, L"1.00"},     {1.999, 2, L"2.00"},
        {1234.5, 1, L"1,234.5"}, {1.5, 0, L"2"},
        {2.5, 0, L"3"},          {0.05, 1, L"0.1"},
        {0.04, 1, L"0.0"},       {1234567.891, 2, L"1,234,567.89"},
        {0.0, 3, L"0.000"},      {0.007, 2, L"0.01"},
        {999.96, 1, L"1,000.0"}, {-16.0, 1, L"-16.0"},
        {-0.05, 1, L"-0.1"},     {-1234.56, 1, L"-1,234.6"},
        {-0.04, 1, L"0.0"},      {12.3456, 9, L"12.345600000"},
        {12.5, -3, L"13"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(FormatDecimal(c.value, c.places), c.text) << c.value << " " << c.places;
}

TEST(FormatGroupedInteger, Groups)
{
    EXPECT_STREQ(FormatGroupedInteger(0), L"0");
    EXPECT_STREQ(FormatGroupedInteger(999), L"999");
    EXPECT_STREQ(FormatGroupedInteger(1000), L"1,000");
    EXPECT_STREQ(FormatGroupedInteger(1234567), L"1,234,567");
    EXPECT_STREQ(FormatGroupedInteger(-123456), L"-123,456");
    EXPECT_STREQ(FormatGroupedInteger(INT64_MIN), L"-9,223,372,036,854,775,808");
}

TEST(TextFormat, EachThreadKeepsItsOwnResult)
{
    // Both threads format over and over; each result pointer must keep
    // showing the thread's own text while the other thread formats.
    std::atomic<int> errors{0};
    auto worker = [&errors](uint64_t bytes, const wchar_t* expected) {
        const wchar_t* mine = FormatSizeText(bytes);
        for (int i = 0; i < 20000; ++i) {
            FormatSizeText(bytes);
            if (wcscmp(mine, expected) != 0) ++errors;
        }
    };
    std::thread a(worker, 5 * MiB, L"5.00 MB");
    std::thread b(worker, 1023, L"1,023 B");
    a.join();
    b.join();
    EXPECT_EQ(errors.load(), 0);
}

TEST(TextFormat, TrimAndCodePage)
{
    std::wstring s = L"\u3000 \t path\\a b \r\n";
    TrimText(s);
    EXPECT_EQ(s, L"path\\a b");
    wchar_t buf[] = L"--x--";
    EXPECT_STREQ(TrimText(buf, L"-"), L"x");
    EXPECT_EQ(TrimText(static_cast<wchar_t*>(nullptr)), nullptr);

    // The tests run with the Japanese code page (932): "日本" is 4 bytes.
    ASSERT_EQ(GetACP(), 932u);
    auto ansi = WideToThreadAnsi(L"日本a");
    ASSERT_TRUE(ansi);
    EXPECT_EQ(std::string(ansi.get()), "\x93\xfa\x96\x7b"
                                       "a");
    auto back = ThreadAnsiToWide(ansi.get());
    ASSERT_TRUE(back);
    EXPECT_STREQ(back.get(), L"日本a");
    EXPECT_FALSE(WideToThreadAnsi(nullptr));
    EXPECT_FALSE(ThreadAnsiToWide(nullptr));
}

} // namespace
} // namespace zk
