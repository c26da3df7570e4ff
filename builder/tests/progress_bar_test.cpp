// The progress bar's counters: whole megabytes, and a repaint only when a
// shown value changes.

#include "builder/ui/controls.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

constexpr uint64_t MB = 1048576;

TEST(ProgressBar, CountsWholeMegabytesAndReportsOnlyChanges)
{
    zk::CProgressBar bar;
    // The clock starts with the bar.
    EXPECT_EQ(bar.Text().substr(0, 23), L"0 / 0 MB (0 %) [00:00:0");

    EXPECT_TRUE(bar.SetTotal(0, 10 * MB + MB / 2));
    EXPECT_EQ(bar.TotalMB(), 10);
    EXPECT_FALSE(bar.SetTotal(0, 10 * MB + 5)) << "same whole megabytes";

    EXPECT_FALSE(bar.SetCompressDone(MB - 1)) << "less than one megabyte moves nothing";
    EXPECT_TRUE(bar.SetCompressDone(MB));
    EXPECT_FALSE(bar.SetCompressDone(MB + MB / 2));
    EXPECT_TRUE(bar.SetCompressDone(5 * MB));
    EXPECT_TRUE(bar.SetVerifyDone(2 * MB));
    EXPECT_FALSE(bar.SetVerifyDone(2 * MB + 7));
    EXPECT_EQ(bar.CompressMB(), 5);
    EXPECT_EQ(bar.VerifyMB(), 2);
    EXPECT_EQ(bar.Text().substr(0, 17), L"5 / 10 MB (50 %) ");

    // A job smaller than one megabyte shows nothing moving at all.
    zk::CProgressBar small;
    EXPECT_FALSE(small.SetTotal(0, MB - 1));
    EXPECT_FALSE(small.SetCompressDone(MB - 1));
    EXPECT_EQ(small.Text().substr(0, 15), L"0 / 0 MB (0 %) ");
}

TEST(ProgressBar, LargeCountersSurviveAWriterOnAnotherThread)
{
    zk::CProgressBar bar;
    // Megabyte counts above 32 bits whose two halves both differ, so that a
    // value read half before and half after a write is neither of them.
    const int64_t a = 0x0000'0ABC'1234'5678;
    const int64_t b = 0x0000'0543'EDCB'A987;
    ASSERT_TRUE(bar.SetCompressDone(uint64_t(a) * MB));
    std::thread writer([&] {
        for (uint64_t i = 0; i < 20000; ++i)
            bar.SetCompressDone(uint64_t((i & 1) ? b : a) * MB);
    });
    for (int i = 0; i < 20000; ++i) {
        int64_t seen = bar.CompressMB();
        ASSERT_TRUE(seen == a || seen == b) << std::hex << seen;
    }
    writer.join();
}

} // namespace
