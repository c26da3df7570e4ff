// Extraction with the hash on a second thread: the damaged file is the one
// reported, in archive order, and an abort ends the run as promptly as on
// one thread.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "core/worker_threads.h"
#include "sfx/tests/sfx_test_support.h"

namespace zk::test {
namespace {

struct ThreadCount {
    explicit ThreadCount(unsigned n) { SetWorkerThreadCount(n); }
    ~ThreadCount() { SetWorkerThreadCount(0); }
};

TEST(SfxThreads, DamagedFileInTheMiddleIsTheOneReported)
{
    for (unsigned n : {1u, 2u}) {
        SCOPED_TRACE(testing::Message() << n << " threads");
        ThreadCount threads(n);
        SfxScratch dir;
        const std::vector<uint8_t> first = RandomBytes(3 * 1048576 + 5, 1);
        TestArchive arc =
            BuildHashed({TestEntry::File(u"first.dat", first, METHOD_STORED),
                         TestEntry::File(u"second.dat", RandomBytes(3 * 1048576, 2), METHOD_STORED),
                         TestEntry::File(u"third.dat", TextBytes(10))},
                        {});
        ASSERT_TRUE(arc.m_bOk);
        arc.m_volumes[0][arc.m_params.m_nDataOffset + first.size() + 2 * 1048576 + 3] ^= 0x01;
        ASSERT_TRUE(WriteArchive(arc, dir / L"h.zka"));

        OpenedArchive a(dir / L"h.zka");
        FakeDialogue& boxes = a.m_callback.Script();
        EXPECT_EQ(a.ExtractAll(dir / L"out"), 1);
        EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{L"ハッシュ値が一致しません"});
        EXPECT_EQ(SfxScratch::ReadBytes(dir / L"out\\first.dat"), first);
        EXPECT_EQ(SfxScratch::ReadBytes(dir / L"out\\second.dat").size(), 3u * 1048576);
        EXPECT_FALSE(SfxScratch::Exists(dir / L"out\\third.dat"));
    }
}

TEST(SfxThreads, AbortWhileHashingEndsTheRunPromptly)
{
    for (unsigned n : {1u, 2u, 4u}) {
        SCOPED_TRACE(testing::Message() << n << " threads");
        ThreadCount threads(n);
        SfxScratch dir;
        TestArchive arc =
            BuildHashed({TestEntry::File(u"huge.bin", RandomBytes(32 * 1048576, 9), METHOD_STORED),
                         TestEntry::File(u"after.txt", TextBytes(10))},
                        {});
        ASSERT_TRUE(arc.m_bOk);
        ASSERT_TRUE(WriteArchive(arc, dir / L"a.zka"));
        OpenedArchive a(dir / L"a.zka");
        a.m_callback.Script();
        ASSERT_TRUE(a.m_bOpened);
        using Clock = std::chrono::steady_clock;
        Clock::time_point asked{};
        std::atomic<bool> stop{false};
        std::thread button([&] {
            while (!stop && a.m_session.m_progress.m_nDone.load() <= 4 * 1048576)
                std::this_thread::yield();
            asked = Clock::now();
            a.m_session.m_ctx.m_nAbort = 1;
        });
        const int failed = a.ExtractAll(dir / L"out");
        const Clock::time_point ended = Clock::now();
        stop = true;
        button.join();
        EXPECT_EQ(failed, 1);
        EXPECT_EQ(a.m_session.m_status.Get(), L"解凍中止");
        EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(ended - asked).count(), 100);
        EXPECT_FALSE(SfxScratch::Exists(dir / L"out\\huge.bin"));
        EXPECT_FALSE(SfxScratch::Exists(dir / L"out\\after.txt"));
    }
}

} // namespace
} // namespace zk::test
