// The progress the build thread writes and the progress page reads on its
// timer: each change shows in the next snapshot and moves only the serial
// of what it changed, so that the page repaints only that.

#include <gtest/gtest.h>

#include <functional>

#include "builder/engine/build_progress.h"

namespace zk {
namespace {

struct Serials {
    uint32_t phase, counters, summary, clock;
};

Serials SerialsOf(const BuildProgressSnapshot& s)
{
    return {s.nPhaseSerial, s.nCounterSerial, s.nSummarySerial, s.nClockSerial};
}

TEST(BuildProgress, EachChangeMovesOnlyItsOwnSerial)
{
    struct Case {
        const char* name;
        std::function<void(BuildProgress&)> change;
        Serials moved; // 1 where the serial must move
    };
    const Case cases[] = {
        {"phase", [](BuildProgress& p) { p.SetPhaseText(L"書庫ファイルを作成中．．．"); }, {1, 0, 0, 0}},
        {"counters",
         [](BuildProgress& p) {
             p.ShowCounters({3, 2, 1, 4096});
         },
         {0, 1, 0, 0}},
        {"summary", [](BuildProgress& p) { p.ShowSettingsSummary(7); }, {0, 0, 1, 0}},
        {"clock start", [](BuildProgress& p) { p.StartProgressTimer(); }, {0, 0, 0, 1}},
        {"clock stop", [](BuildProgress& p) { p.StopProgressTimer(); }, {0, 0, 0, 1}},
        {"bar", [](BuildProgress& p) { p.SetProgressTotal(5, 9), p.SetVerifyProgress(2); }, {0, 0, 0, 0}},
    };
    BuildProgress progress;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Serials before = SerialsOf(progress.Snapshot());
        c.change(progress);
        const Serials after = SerialsOf(progress.Snapshot());
        EXPECT_EQ(after.phase != before.phase, c.moved.phase != 0);
        EXPECT_EQ(after.counters != before.counters, c.moved.counters != 0);
        EXPECT_EQ(after.summary != before.summary, c.moved.summary != 0);
        EXPECT_EQ(after.clock != before.clock, c.moved.clock != 0);
    }
    const BuildProgressSnapshot s = progress.Snapshot();
    EXPECT_EQ(s.strPhase, L"書庫ファイルを作成中．．．");
    EXPECT_TRUE(s.bCounters);
    EXPECT_EQ(s.counters.nFileCount, 3u);
    EXPECT_EQ(s.counters.nTotalSize, 4096u);
    EXPECT_EQ(s.nSplitMB, 7u);
    EXPECT_EQ(s.nClock, CLOCK_STOPPED);
    EXPECT_EQ(s.nCompressDone, 5u);
    EXPECT_EQ(s.nTotal, 9u);
    EXPECT_EQ(s.nVerifyDone, 2u);
}

// A new build starts from nothing shown, and a page that painted the last
// build repaints every part.
TEST(BuildProgress, ResetClearsEverythingAndRepaintsEveryPart)
{
    BuildProgress progress;
    progress.SetPhaseText(L"x");
    progress.ShowCounters({1, 1, 1, 1});
    progress.ShowSettingsSummary(3);
    progress.SetProgressTotal(1, 2);
    progress.StartProgressTimer();
    const Serials before = SerialsOf(progress.Snapshot());
    progress.Reset();
    const BuildProgressSnapshot s = progress.Snapshot();
    EXPECT_TRUE(s.strPhase.empty());
    EXPECT_FALSE(s.bCounters);
    EXPECT_EQ(s.nSplitMB, 0u);
    EXPECT_EQ(s.nTotal + s.nCompressDone + s.nVerifyDone, 0u);
    EXPECT_EQ(s.nClock, CLOCK_IDLE);
    EXPECT_NE(s.nPhaseSerial, before.phase);
    EXPECT_NE(s.nCounterSerial, before.counters);
    EXPECT_NE(s.nSummarySerial, before.summary);
    EXPECT_NE(s.nClockSerial, before.clock);
}

} // namespace
} // namespace zk
