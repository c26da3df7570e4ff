#include <gtest/gtest.h>

#include <cstdint>

#include "core/file_time.h"

namespace {

// SOURCE_DATE_EPOCH makes builds reproducible only when every builder reads
// it the same way; anything that is not a plain count of seconds is ignored
// (the clock is used), never half-read.
TEST(EpochTextToFileTime, ReadsPlainSecondsAndRefusesEverythingElse)
{
    struct Case {
        const char* text;
        bool ok;
        uint64_t fileTime;
    } cases[] = {
        {"0", true, 116444736000000000ull},
        {"1700000000", true, 133444736000000000ull},
        {"18446744073", true, 300912176730000000ull},
        {"1833029933770", true, 18446744073700000000ull}, // the last whole second a file time holds
        {"1833029933771", false, 0},
        {"99999999999999999999999", false, 0},
        {"", false, 0},
        {" 1700000000", false, 0},
        {"1700000000 ", false, 0},
        {"-1", false, 0},
        {"+5", false, 0},
        {"1.5", false, 0},
        {"0x10", false, 0},
    };
    for (const Case& c : cases) {
        uint64_t got = 7;
        EXPECT_EQ(zk::EpochTextToFileTime(c.text, &got), c.ok) << '"' << c.text << '"';
        EXPECT_EQ(got, c.ok ? c.fileTime : 7u) << '"' << c.text << '"';
    }
    uint64_t untouched = 7;
    EXPECT_FALSE(zk::EpochTextToFileTime(nullptr, &untouched));
    EXPECT_EQ(untouched, 7u);
}

// Elapsed times subtract two readings: the clock counts seconds since 1970,
// not file-time units or seconds since 1601.
TEST(WallClockSeconds, CountsSecondsSince1970)
{
    const int64_t first = zk::WallClockSeconds();
    EXPECT_GT(first, 1577836800) << "after 2020-01-01";
    EXPECT_LT(first, 4102444800) << "before 2100-01-01";
    EXPECT_GE(zk::WallClockSeconds(), first);
}

} // namespace
