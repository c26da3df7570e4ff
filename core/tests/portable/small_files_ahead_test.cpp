#include <gtest/gtest.h>

#include <atomic>
#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "core/archive_format.h"
#include "core/memory_files.h"
#include "core/small_files_ahead.h"
#include "core/tests/portable/pipeline_harness.h"

namespace zk {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Pattern(size_t size, uint8_t seed)
{
    Bytes b(size);
    for (size_t i = 0; i < size; ++i)
        b[i] = static_cast<uint8_t>(seed + i * 7);
    return b;
}

Bytes ReadAll(IByteFile& file)
{
    Bytes all;
    uint8_t piece[64];
    for (;;) {
        const int64_t n = file.Read(piece, sizeof piece);
        if (n <= 0) return all;
        all.insert(all.end(), piece, piece + n);
    }
}

// Files by name, opened on the reading thread: some refuse to open, some
// fail part-way, each open can take a while.
class FakeOpener : public ISourceOpener {
public:
    void Add(const std::wstring& path, Bytes bytes)
    {
        m_files[path] = std::make_shared<Bytes>(std::move(bytes));
    }
    void FailReadsOf(const std::wstring& path) { m_failing = path; }
    void SetDelay(std::chrono::milliseconds delay) { m_delay = delay; }
    // Opening this file waits until Release.
    void HoldAt(const std::wstring& path) { m_held = path; }
    void Release() { m_bReleased = true; }
    int Opens() const { return m_nOpens.load(); }
    bool Opened(const std::wstring& path) const
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return std::find(m_opened.begin(), m_opened.end(), path) != m_opened.end();
    }
    // Waits (a few seconds at most) until the reader has started n files.
    void WaitForOpens(int n) const
    {
        for (int i = 0; i < 5000 && Opens() < n; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    std::unique_ptr<IByteFile> OpenForReading(const std::wstring& path) override
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_opened.push_back(path);
        }
        ++m_nOpens;
        if (m_delay.count() > 0) std::this_thread::sleep_for(m_delay);
        while (path == m_held && !m_bReleased)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const auto it = m_files.find(path);
        if (it == m_files.end()) return nullptr;
        auto file = std::make_unique<MemoryFile>(it->second);
        if (path == m_failing) file->FailReadsAfter(1);
        return file;
    }

private:
    // Filled before the reader starts, read only afterwards.
    std::map<std::wstring, std::shared_ptr<Bytes>> m_files;
    std::wstring m_failing;
    std::chrono::milliseconds m_delay{0};
    std::wstring m_held;
    std::atomic<bool> m_bReleased{false};
    std::atomic<int> m_nOpens{0};
    mutable std::mutex m_lock;
    std::vector<std::wstring> m_opened;
};

constexpr uint32_t LIMIT = 1000;

TEST(SmallFilesAhead, EachFileComesWholeOrNotAtAll)
{
    struct Case {
        const char* name;
        uint64_t queuedSize; // the size collection saw
        size_t actualSize;   // what the file holds when read; SIZE_MAX: missing
        uint64_t takenSize;  // the size listed when its turn comes
        bool failRead;
        bool expectBytes;
    };
    const Case cases[] = {
        {"empty: not queued", 0, 0, 0, false, false},
        {"over the limit: not queued", LIMIT + 1, LIMIT + 1, LIMIT + 1, false, false},
        {"small", 100, 100, 100, false, true},
        {"one byte", 1, 1, 1, false, true},
        {"at the limit", LIMIT, LIMIT, LIMIT, false, true},
        {"shrank before it was read", 100, 40, 40, false, true},
        {"shrank to nothing", 100, 0, 0, false, true},
        {"changed after it was read", 100, 100, 90, false, false},
        {"grew past the queued size", 100, 101, 101, false, false},
        {"cannot be opened", 100, SIZE_MAX, 100, false, false},
        {"read fails", 100, 100, 100, true, false},
    };
    FakeOpener opener;
    for (size_t i = 0; i < std::size(cases); ++i) {
        const std::wstring path = L"f" + std::to_wstring(i);
        if (cases[i].actualSize != SIZE_MAX) opener.Add(path, Pattern(cases[i].actualSize, uint8_t(i)));
        if (cases[i].failRead) opener.FailReadsOf(path);
    }
    opener.Add(L"next", Pattern(10, 99));
    auto ahead = SmallFilesAhead::Create(opener, FilesAheadBounds{LIMIT, 1 << 20, 64}, nullptr);
    ASSERT_TRUE(ahead);
    for (size_t i = 0; i < std::size(cases); ++i)
        ahead->Queue(i, L"f" + std::to_wstring(i), cases[i].queuedSize);
    ahead->Queue(100, L"next", 10);
    opener.WaitForOpens(static_cast<int>(ahead->FilesHeld()));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        std::unique_ptr<IByteFile> file = ahead->Take(i, cases[i].takenSize);
        ASSERT_EQ(file != nullptr, cases[i].expectBytes);
        if (file) {
            EXPECT_EQ(ReadAll(*file), Pattern(cases[i].actualSize, uint8_t(i)));
        }
    }
    // A file that failed ahead leaves the ones after it alone.
    std::unique_ptr<IByteFile> next = ahead->Take(100, 10);
    ASSERT_TRUE(next);
    EXPECT_EQ(ReadAll(*next), Pattern(10, 99));
    EXPECT_EQ(ahead->FilesHeld(), 0u);
    EXPECT_EQ(ahead->BytesHeld(), 0u);
}

// The walk queues as long as there is room; bytes and files held never pass
// the bounds, and taking a file makes room for the next. A file queued later
// is taken after the earlier ones were passed over: they are dropped.
TEST(SmallFilesAhead, HoldsNoMoreThanItsBounds)
{
    const struct {
        const char* name;
        FilesAheadBounds bounds;
        size_t fit; // files of 100 bytes queued before the room runs out
    } cases[] = {
        {"bytes", FilesAheadBounds{LIMIT, 350, 64}, 3},
        {"files", FilesAheadBounds{LIMIT, 1 << 20, 2}, 2},
        {"one file over the byte bound", FilesAheadBounds{LIMIT, 50, 64}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeOpener opener;
        for (int i = 0; i < 10; ++i)
            opener.Add(std::to_wstring(i), Pattern(100, uint8_t(i)));
        auto ahead = SmallFilesAhead::Create(opener, c.bounds, nullptr);
        ASSERT_TRUE(ahead);
        uint64_t next = 0;
        const auto fill = [&] {
            while (next < 10 && ahead->HasRoom(100)) {
                ahead->Queue(next, std::to_wstring(next), 100);
                ++next;
            }
        };
        fill();
        EXPECT_EQ(next, c.fit);
        for (uint64_t key = 0; key < 10; key += 2) {
            opener.WaitForOpens(static_cast<int>(next));
            EXPECT_LE(ahead->FilesHeld(), c.bounds.nFiles);
            if (ahead->FilesHeld() > 1) {
                EXPECT_LE(ahead->BytesHeld(), c.bounds.nTotalBytes);
            }
            std::unique_ptr<IByteFile> file = ahead->Take(key, 100);
            if (key < next) {
                ASSERT_TRUE(file) << key;
                EXPECT_EQ(ReadAll(*file), Pattern(100, uint8_t(key)));
            } else {
                EXPECT_FALSE(file) << key << " was never queued";
            }
            fill();
        }
    }
}

TEST(SmallFilesAhead, CancelStopsTheReaderPromptly)
{
    using Clock = std::chrono::steady_clock;
    FakeOpener opener;
    for (int i = 0; i < 64; ++i)
        opener.Add(std::to_wstring(i), Pattern(10, uint8_t(i)));
    opener.SetDelay(std::chrono::milliseconds(20));
    CancelFlag cancel{0};
    auto ahead = SmallFilesAhead::Create(opener, FilesAheadBounds{LIMIT, 1 << 20, 64}, &cancel);
    ASSERT_TRUE(ahead);
    for (uint64_t i = 0; i < 64; ++i)
        ahead->Queue(i, std::to_wstring(i), 10);
    opener.WaitForOpens(1);
    ASSERT_TRUE(ahead->Take(0, 10));
    cancel.store(1);
    const Clock::time_point asked = Clock::now();
    EXPECT_FALSE(ahead->Take(63, 10));
    ahead.reset();
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - asked).count(), 100);
    EXPECT_LT(opener.Opens(), 10) << "the reader went on after the cancel";
}

} // namespace
} // namespace zk

namespace zk {
namespace {

// The caller does not wait for a file the reader has not started: it opens
// that one itself, and the reader skips it.
TEST(SmallFilesAhead, AFileNotStartedIsLeftToTheCaller)
{
    FakeOpener opener;
    for (int i = 0; i < 3; ++i)
        opener.Add(std::to_wstring(i), Pattern(10, uint8_t(i)));
    opener.HoldAt(L"0");
    auto ahead = SmallFilesAhead::Create(opener, FilesAheadBounds{LIMIT, 1 << 20, 64}, nullptr);
    ASSERT_TRUE(ahead);
    for (uint64_t i = 0; i < 3; ++i)
        ahead->Queue(i, std::to_wstring(i), 10);
    opener.WaitForOpens(1);
    EXPECT_FALSE(ahead->Take(1, 10)) << "the reader is still on the file before it";
    opener.Release();
    opener.WaitForOpens(2);
    std::unique_ptr<IByteFile> last = ahead->Take(2, 10);
    ASSERT_TRUE(last);
    EXPECT_EQ(ReadAll(*last), Pattern(10, 2));
    EXPECT_FALSE(opener.Opened(L"1"));
}

} // namespace
} // namespace zk

namespace zk {
namespace {

// A run of small files stored one after another as the data phase stores
// them: each taken from the reader, its job compressed ahead when it can be,
// or read by the caller as it is now when the reader does not have it as
// listed. The stream is the one a single thread writes from the files as
// they are at their turns, whatever happened to them since the read ahead.
TEST(SmallFilesAhead, JobsAheadGiveTheBytesOfOneThread)
{
    constexpr uint32_t B = 4096;
    constexpr uint64_t NONE = UINT64_MAX;
    const struct Case {
        const char* name;
        uint64_t resized = NONE; // listed with another size and other bytes at its turn
        uint64_t emptied = NONE; // empty at its turn: never taken
        uint64_t unread = NONE;  // the reader cannot open it
        uint64_t large = NONE;   // several blocks, never queued, stored in between
        uint64_t dropped = NONE; // stored, then every job in flight dropped (as a failing encoder does)
    } cases[] = {
        {"as listed"},
        {"one changed size before its turn", 5},
        {"one emptied before its turn", NONE, 5},
        {"one the reader could not open", NONE, NONE, 5},
        {"a large file in between", NONE, NONE, NONE, 5},
        {"the jobs ahead dropped after one", NONE, NONE, NONE, NONE, 5},
    };
    constexpr uint64_t N = 12;
    // One job each but the 2000 bytes of file 7 with Deflate (parts of B/4).
    const auto size = [](uint64_t i) -> size_t { return i == 7 ? 2000 : 1 + 83 * i; };
    for (uint8_t method : {METHOD_LZ4, METHOD_DEFLATE})
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << ", method " << int{method});
            std::vector<Bytes> listed, stored;
            FakeOpener opener;
            for (uint64_t i = 0; i < N; ++i) {
                listed.push_back(test::MakeData(i == c.large ? 3 * B + 5 : size(i), test::Fill::TEXT,
                                                static_cast<uint32_t>(i)));
                stored.push_back(i == c.resized   ? test::MakeData(size(i) + 10, test::Fill::RANDOM)
                                 : i == c.emptied ? Bytes()
                                                  : listed.back());
                if (i != c.unread) opener.Add(std::to_wstring(i), listed.back());
            }
            test::StreamHarness h(B);
            h.UseReadAhead(2);
            auto ahead = SmallFilesAhead::Create(opener, FilesAheadBounds{B, 1 << 20, 64}, nullptr);
            ASSERT_TRUE(ahead);
            ahead->CompressAhead(
                JobsAheadSetup{&h.buffers->Encoders(), method, false, LargestOneJobSource(method, B)});
            for (uint64_t i = 0; i < N; ++i)
                if (i != c.large) ahead->Queue(i, std::to_wstring(i), listed[i].size(), true);
            opener.WaitForOpens(static_cast<int>(N) - (c.large != NONE));
            std::this_thread::sleep_for(std::chrono::milliseconds(50));

            test::StreamHarness single(B);
            test::RecordingHash hash;
            h.ctx.m_pHash = &hash;
            int jobsAhead = 0;
            for (uint64_t i = 0; i < N; ++i) {
                if (stored[i].empty()) continue;
                bool jobAhead = false;
                std::unique_ptr<IByteFile> file = ahead->Take(i, stored[i].size(), &jobAhead);
                if (i == 0) {
                    EXPECT_GT(h.buffers->Encoders().InFlight(), 1u) << "the files after it go ahead too";
                }
                jobsAhead += jobAhead;
                h.SetSource(stored[i]);
                if (file) h.ctx.m_pSource = file.get();
                h.ctx.m_bJobAhead = jobAhead;
                hash.Begin();
                PipelineEntry e = h.NewEntry(stored[i].size());
                ASSERT_EQ(h.Encode(method, e), 0) << i;
                if (i == c.dropped) h.buffers->Encoders().Abandon();
                h.ctx.m_pSource = nullptr;
                single.SetSource(stored[i]);
                PipelineEntry one = single.NewEntry(stored[i].size());
                ASSERT_EQ(single.Encode(method, one), 0) << i;
                EXPECT_EQ(e.m_nStoredSize, one.m_nStoredSize) << i;
                EXPECT_TRUE(hash.m_data == stored[i]) << i << ": other bytes hashed";
                EXPECT_EQ(h.ctx.m_nReadCounter, single.ctx.m_nReadCounter) << i;
            }
            EXPECT_EQ(h.buffers->Encoders().InFlight(), 0u);
            EXPECT_TRUE(*h.volume0Data == *single.volume0Data) << "other bytes";
            // Every file of one job but the one that changed went ahead.
            const bool changed =
                c.resized != NONE || c.emptied != NONE || c.unread != NONE || c.large != NONE;
            EXPECT_EQ(jobsAhead, (method == METHOD_LZ4 ? 12 : 11) - int{changed});
        }
}

} // namespace
} // namespace zk
