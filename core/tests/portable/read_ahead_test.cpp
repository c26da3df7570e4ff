#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "core/bounded_queue.h"
#include "core/hash_behind.h"
#include "core/read_ahead.h"
#include "core/tests/portable/pipeline_harness.h"
#include "core/worker_threads.h"

namespace zk {
namespace {

using Clock = std::chrono::steady_clock;

void SetEnvironment(const char* name, const char* value)
{
#ifdef _WIN32
    _putenv_s(name, value ? value : "");
#else
    if (value)
        ::setenv(name, value, 1);
    else
        ::unsetenv(name);
#endif
}

long long MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TEST(WorkerThreads, CountFromText)
{
    const struct {
        const char* text;
        unsigned count;
    } cases[] = {{"1", 1},  {"4", 4},  {"64", 64}, {"65", 0},  {"0", 0},          {"", 0},
                 {"-2", 0}, {" 2", 0}, {"2x", 0},  {"007", 7}, {"99999999999", 0}};
    for (const auto& c : cases)
        EXPECT_EQ(ParseThreadCount(c.text), c.count) << c.text;
    EXPECT_EQ(ParseThreadCount(nullptr), 0u);
}

TEST(WorkerThreads, OverrideBeatsTheEnvironmentWhichBeatsTheCores)
{
    SetWorkerThreadCount(0);
    SetEnvironment("ZELKORA_THREADS", "3");
    EXPECT_EQ(WorkerThreadCount(), 3u);
    SetWorkerThreadCount(2);
    EXPECT_EQ(WorkerThreadCount(), 2u);
    SetWorkerThreadCount(0);
    SetEnvironment("ZELKORA_THREADS", "many");
    EXPECT_GE(WorkerThreadCount(), 1u);
    SetEnvironment("ZELKORA_THREADS", nullptr);
}

TEST(BoundedQueue, KeepsOrderAndNeverHoldsMoreThanItsCapacity)
{
    BoundedQueue<int> queue(3);
    std::atomic<size_t> largest{0};
    std::thread producer([&] {
        for (int i = 0; i < 2000; ++i) {
            ASSERT_TRUE(queue.Push(i));
            const size_t size = queue.Size();
            if (size > largest) largest = size;
        }
    });
    for (int i = 0; i < 2000; ++i) {
        int value = -1;
        ASSERT_TRUE(queue.Pop(value));
        ASSERT_EQ(value, i);
    }
    producer.join();
    EXPECT_LE(largest.load(), 3u);
}

// Whichever end waits, closing the queue or cancelling the run releases it
// well within the time a user waits for a stop.
TEST(BoundedQueue, WaitersReturnPromptlyOnCloseAndCancel)
{
    for (int how = 0; how < 4; ++how) {
        const bool pushing = how & 1;
        const bool byCancel = how & 2;
        BoundedQueue<int> queue(1);
        if (pushing) {
            ASSERT_TRUE(queue.Push(0));
        }
        CancelFlag cancel{0};
        std::atomic<bool> returned{false};
        bool result = true;
        std::thread waiter([&] {
            int value = 0;
            result = pushing ? queue.Push(1, &cancel) : queue.Pop(value, &cancel);
            returned = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_FALSE(returned.load()) << how;
        const Clock::time_point asked = Clock::now();
        if (byCancel)
            cancel = 1;
        else
            queue.Close();
        waiter.join();
        EXPECT_LT(MillisecondsSince(asked), 100) << how;
        EXPECT_FALSE(result) << how;
    }
}

// A source whose reads can be held up, and that counts them.
class SlowSource : public IByteFile {
public:
    explicit SlowSource(uint64_t size) : m_nLeft(size) {}
    int64_t Read(void* dst, uint32_t count) override
    {
        ++m_nReads;
        while (m_bHold)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const uint32_t n = count < m_nLeft ? count : static_cast<uint32_t>(m_nLeft);
        std::memset(dst, 0x5A, n);
        m_nLeft -= n;
        return n;
    }
    int64_t Write(const void*, uint32_t) override { return -1; }
    bool SeekTo(uint64_t) override { return false; }
    std::u16string LastErrorText() const override { return u""; }

    std::atomic<bool> m_bHold{false};
    std::atomic<int> m_nReads{0};

private:
    uint64_t m_nLeft;
};

TEST(SourceReadAhead, ReadsOnlyAFewBlocksAheadAndStopsReadingAtFinish)
{
    constexpr uint32_t B = 4096;
    auto ahead = SourceReadAhead::Create(B, 4);
    ASSERT_TRUE(ahead);
    SlowSource source(100 * B);
    ahead->Start(&source, nullptr, 100 * B, nullptr);
    const uint8_t* piece = nullptr;
    std::u16string failure;
    ASSERT_EQ(ahead->Next(&piece, &failure), B);
    EXPECT_EQ(piece[0], 0x5A);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // Four blocks in all: the one handed out and three more at most.
    EXPECT_LE(source.m_nReads.load(), 4);
    ahead->Finish();
    const int reads = source.m_nReads.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(source.m_nReads.load(), reads);

    // The same read-ahead serves the next entry from its first byte.
    SlowSource next(B + 1);
    ahead->Start(&next, nullptr, B + 1, nullptr);
    EXPECT_EQ(ahead->Next(&piece, &failure), B);
    EXPECT_EQ(ahead->Next(&piece, &failure), 1);
    ahead->Finish();
}

TEST(SourceReadAhead, CancelReleasesAnEncoderWaitingForASlowRead)
{
    constexpr uint32_t B = 4096;
    auto ahead = SourceReadAhead::Create(B);
    ASSERT_TRUE(ahead);
    SlowSource source(10 * B);
    source.m_bHold = true;
    CancelFlag cancel{0};
    ahead->Start(&source, nullptr, 10 * B, &cancel);
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        cancel = 1;
    });
    const Clock::time_point start = Clock::now();
    const uint8_t* piece = nullptr;
    std::u16string failure;
    EXPECT_EQ(ahead->Next(&piece, &failure), -1);
    EXPECT_TRUE(failure.empty());
    EXPECT_LT(MillisecondsSince(start), 30 + 100);
    stopper.join();
    source.m_bHold = false;
    ahead->Finish();
}

// Records what it is given, like the recording hash, and fails its Update
// from a given call on.
class CountingHash : public test::RecordingHash {
public:
    int Update(const uint8_t* bytes, uint32_t count) override
    {
        if (++m_nCalls >= m_nFailAt) return 1;
        return RecordingHash::Update(bytes, count);
    }
    int m_nCalls = 0;
    int m_nFailAt = 1 << 30;
};

TEST(HashBehind, HashesEveryByteInOrderAcrossEntries)
{
    constexpr uint32_t B = 4096;
    std::unique_ptr<IFileHash> inner = std::make_unique<CountingHash>();
    auto* recorder = static_cast<CountingHash*>(inner.get());
    std::unique_ptr<IFileHash> hash = HashBehind(inner, B, 3);
    ASSERT_TRUE(hash);
    EXPECT_FALSE(inner) << "taken over";
    const size_t sizes[][4] = {{1, B, 10 * B + 7, 0}, {3 * B, 5, 0, 0}};
    uint32_t seed = 1;
    for (const auto& entry : sizes) {
        ASSERT_EQ(hash->Begin(), 0);
        std::vector<uint8_t> all;
        for (size_t size : entry) {
            const std::vector<uint8_t> piece = test::MakeData(size, test::Fill::RANDOM, seed++);
            ASSERT_EQ(hash->Update(piece.data(), static_cast<uint32_t>(piece.size())), 0);
            all.insert(all.end(), piece.begin(), piece.end());
        }
        uint8_t digest[32];
        ASSERT_EQ(hash->End(digest), 0);
        EXPECT_EQ(recorder->m_data, all);
    }
}

TEST(HashBehind, AFailedUpdateFailsTheEntryAndNotTheNextOne)
{
    constexpr uint32_t B = 4096;
    std::unique_ptr<IFileHash> inner = std::make_unique<CountingHash>();
    auto* recorder = static_cast<CountingHash*>(inner.get());
    recorder->m_nFailAt = 2;
    std::unique_ptr<IFileHash> hash = HashBehind(inner, B);
    ASSERT_TRUE(hash);
    const std::vector<uint8_t> data = test::MakeData(5 * B, test::Fill::TEXT);
    uint8_t digest[32];
    ASSERT_EQ(hash->Begin(), 0);
    const int updated = hash->Update(data.data(), static_cast<uint32_t>(data.size()));
    EXPECT_EQ(updated | hash->End(digest), 1);

    recorder->m_nFailAt = 1 << 30;
    ASSERT_EQ(hash->Begin(), 0);
    EXPECT_EQ(hash->Update(data.data(), static_cast<uint32_t>(data.size())), 0);
    EXPECT_EQ(hash->End(digest), 0);
    EXPECT_EQ(recorder->m_data, data);
}

} // namespace
} // namespace zk
