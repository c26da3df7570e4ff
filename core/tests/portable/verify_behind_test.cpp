#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <thread>

#include "core/tests/portable/pipeline_harness.h"
#include "core/verify_behind.h"

namespace zk {
namespace {

using test::Fill;
using test::MakeData;
using Clock = std::chrono::steady_clock;

constexpr uint32_t B = 4096;

long long MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Sources by path; a path missing from the map cannot be opened.
class MapOpener : public ISourceReopener {
public:
    std::unique_ptr<IByteFile> Open(const std::u16string& path, std::u16string* failure) override
    {
        const auto it = m_files.find(path);
        if (it == m_files.end()) {
            *failure = u"not found";
            return nullptr;
        }
        return std::make_unique<MemoryFile>(it->second);
    }
    std::map<std::u16string, std::shared_ptr<std::vector<uint8_t>>> m_files;
};

// Entries written one after the other into split volumes (S = 3000 bytes,
// smaller than a block, so that stored bytes cross volume boundaries), all
// of them before the verifier starts: the verifier's thread then only reads.
struct Scene {
    test::StreamHarness h{B, 3000, 100};
    MapOpener opener;
    WrittenMark written;
    std::vector<VerifyJob> jobs;
    CancelFlag cancel{0};

    explicit Scene(int count, uint8_t method = METHOD_DEFLATE)
    {
        for (int i = 0; i < count; ++i) {
            const auto data = MakeData(2 * B + 300 * static_cast<size_t>(i),
                                       i % 2 ? Fill::RANDOM : Fill::TEXT, static_cast<uint32_t>(i + 1));
            h.SetSource(data);
            VerifyJob job;
            job.strSourcePath = u"src" + std::u16string(1, static_cast<char16_t>(u'a' + i));
            job.nMethod = method;
            job.entry = h.NewEntry(data.size());
            EXPECT_EQ(h.Encode(method, job.entry), 0);
            opener.m_files[job.strSourcePath] = h.sourceData;
            jobs.push_back(job);
        }
    }

    std::unique_ptr<VerifyBehind> Start(uint32_t maxEntries = 256, uint64_t maxBytes = 64ull << 20,
                                        uint64_t maxHeldBytes = 64ull << 20)
    {
        VerifySetup setup;
        setup.nBlockSize = B;
        setup.set = h.writer.m_set;
        setup.pWritten = &written;
        setup.pOpener = &opener;
        setup.pCancel = &cancel;
        setup.nMaxEntries = maxEntries;
        setup.nMaxBytes = maxBytes;
        setup.nMaxHeldBytes = maxHeldBytes;
        return VerifyBehind::Create(setup);
    }

    // Every source handed over as bytes in memory; none can be opened by
    // its path any more.
    void SourcesInMemory()
    {
        for (VerifyJob& job : jobs)
            job.pSourceBytes = opener.m_files[job.strSourcePath];
        opener.m_files.clear();
    }

    uint64_t EndOf(size_t i) const { return jobs[i].entry.m_nDataOffset + jobs[i].entry.m_nStoredSize; }

    uint64_t TotalSize(size_t upTo) const
    {
        uint64_t total = 0;
        for (size_t i = 0; i < upTo; ++i)
            total += jobs[i].entry.m_nUncompressedSize;
        return total;
    }

    // Hands the verifier every entry after the first on a thread of their
    // own, which stops at the first one refused; accepted counts them.
    std::thread SubmitRest(VerifyBehind& v, std::atomic<size_t>& accepted)
    {
        return std::thread([this, &v, &accepted] {
            for (size_t i = 1; i < jobs.size(); ++i) {
                if (!v.Submit(jobs[i])) break;
                ++accepted;
            }
        });
    }
};

// What each case does to the entries before they are handed over, and what
// the verifier must end with.
TEST(VerifyBehind, FirstFailureInOrderWinsAndEverythingElseIsVerified)
{
    enum Damage { NONE, CHANGED_SOURCE, BROKEN_STORED, MISSING_VOLUME };
    struct Case {
        const char* name;
        uint8_t method;
        Damage damage;
        int at;            // the damaged entry
        bool laterMissing; // and the source of the entry after it is gone
        const char16_t* message;
        bool inMemory = false; // sources handed over as bytes
    };
    const Case cases[] = {
        {"deflate, all good across volumes", METHOD_DEFLATE, NONE, 0, false, nullptr},
        {"lz4, all good across volumes", METHOD_LZ4, NONE, 0, false, nullptr},
        {"changed source before a missing one", METHOD_DEFLATE, CHANGED_SOURCE, 1, true,
         TEXT_VERIFY_MISMATCH},
        {"lz4 changed source", METHOD_LZ4, CHANGED_SOURCE, 2, false, TEXT_VERIFY_MISMATCH},
        // A broken stored byte decodes to other bytes or to no stream at all.
        {"broken stored bytes before a missing source", METHOD_DEFLATE, BROKEN_STORED, 1, true, nullptr},
        {"missing volume", METHOD_LZ4, MISSING_VOLUME, 3, false, nullptr},
        {"in memory, all good", METHOD_LZ4, NONE, 0, false, nullptr, true},
        // The later source differs too: the earlier difference is the one told.
        {"in memory, changed bytes before other changed ones", METHOD_DEFLATE, CHANGED_SOURCE, 1, false,
         TEXT_VERIFY_MISMATCH, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scene s(5, c.method);
        const VerifyJob& damaged = s.jobs[static_cast<size_t>(c.at)];
        std::u16string expectedPath = damaged.strSourcePath;
        if (c.damage == CHANGED_SOURCE) (*s.opener.m_files[damaged.strSourcePath])[B + 5] ^= 1;
        if (c.inMemory) {
            if (c.damage == CHANGED_SOURCE) (*s.opener.m_files[s.jobs[4].strSourcePath])[7] ^= 1;
            s.SourcesInMemory();
        }
        if (c.damage == BROKEN_STORED || c.damage == MISSING_VOLUME) {
            const uint64_t virt = 100 + damaged.entry.m_nDataOffset + damaged.entry.m_nStoredSize / 2;
            const std::u16string volume = VolumeName(u"pack.exe", static_cast<uint32_t>(virt / 3000));
            if (c.damage == BROKEN_STORED) {
                (*s.h.files.File(volume))[virt % 3000] ^= 0x55;
            } else {
                s.h.files.Remove(volume);
                expectedPath = volume;
            }
        }
        if (c.laterMissing) s.opener.m_files.erase(s.jobs[static_cast<size_t>(c.at) + 1].strSourcePath);
        s.written.Publish(s.h.writer.m_nStreamBytes);

        auto v = s.Start();
        ASSERT_TRUE(v);
        for (const VerifyJob& job : s.jobs)
            if (!v->Submit(job)) break;
        ASSERT_TRUE(v->WaitIdle(10000));
        if (c.damage == NONE) {
            EXPECT_FALSE(v->Failed());
            EXPECT_EQ(v->VerifiedBytes(), s.TotalSize(s.jobs.size()));
            continue;
        }
        ASSERT_TRUE(v->Failed());
        EXPECT_EQ(v->Failure().m_strPath, expectedPath);
        if (c.message) {
            EXPECT_EQ(v->Failure().m_strMessage, c.message);
        }
        if (c.damage == BROKEN_STORED) {
            EXPECT_TRUE(v->Failure().m_strMessage == TEXT_VERIFY_MISMATCH ||
                        v->Failure().m_strMessage == TEXT_STORED_DATA_BROKEN);
        }
        EXPECT_LE(v->VerifiedBytes(), s.TotalSize(static_cast<size_t>(c.at) + 1));
        EXPECT_GE(v->VerifiedBytes(), s.TotalSize(static_cast<size_t>(c.at)));
        EXPECT_FALSE(v->Submit(s.jobs[0])) << "nothing is taken after a failure";
    }
}

// The verifier reads no stored byte the writer has not written through,
// and stays within its lag; a cancel stops it while it waits.
TEST(VerifyBehind, WaitsForTheWriterAndBoundsItsLag)
{
    enum Then { PUBLISH, CANCEL };
    const struct {
        const char* name;
        Then then;
    } cases[] = {{"bytes come", PUBLISH}, {"cancelled while waiting", CANCEL}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Scene s(6);
        // Everything but the last bytes of the first entry.
        s.written.Publish(s.jobs[0].entry.m_nStoredSize - 1);
        auto v = s.Start(3);
        ASSERT_TRUE(v);
        ASSERT_TRUE(v->Submit(s.jobs[0]));
        std::atomic<size_t> accepted{1};
        std::thread submitter = s.SubmitRest(*v, accepted);
        EXPECT_FALSE(v->WaitIdle(100)) << "the first entry's last bytes are not written";
        EXPECT_EQ(v->VerifiedBytes() % B, 0u) << "only whole blocks before the missing bytes";
        EXPECT_LT(v->VerifiedBytes(), s.jobs[0].entry.m_nUncompressedSize);
        EXPECT_FALSE(v->Failed());

        const Clock::time_point start = Clock::now();
        if (c.then == PUBLISH) {
            s.written.Publish(s.h.writer.m_nStreamBytes);
        } else {
            s.cancel.store(1);
        }
        submitter.join();
        if (c.then == CANCEL) {
            EXPECT_EQ(accepted, 3u) << "the submitter waited at the lag bound";
            EXPECT_TRUE(v->WaitIdle(100));
            v->Stop();
            EXPECT_LT(MillisecondsSince(start), 100);
            EXPECT_FALSE(v->Failed()) << "a cancel is no failure of the data";
            continue;
        }
        EXPECT_EQ(accepted, s.jobs.size());
        ASSERT_TRUE(v->WaitIdle(10000));
        EXPECT_FALSE(v->Failed());
        EXPECT_EQ(v->VerifiedBytes(), s.TotalSize(s.jobs.size()));
    }
}

// Entries handed over before their stored bytes are written through, as a
// writer with a buffer does: the verifier waits for the mark, and the writer
// publishes only when Submit would wait (a lag bound: entries, or source
// bytes held in memory), so neither waits on the other. Bytes the writer
// never writes through are not verified, and are no failure of the
// verifier's.
TEST(VerifyBehind, VerifiesBytesPublishedAfterTheHandOver)
{
    const struct {
        const char* name;
        size_t submitted;
        size_t endAfter; // entries written through before the writes end
        bool heldBound;  // bound by source bytes held, not by entries
    } cases[] = {{"every entry written through", 6, 6, false},
                 {"writes end after two entries", 3, 2, false},
                 {"bound by the source bytes held", 6, 6, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Scene s(6);
        s.SourcesInMemory();
        auto v = c.heldBound ? s.Start(256, 64ull << 20, s.TotalSize(2)) : s.Start(2);
        ASSERT_TRUE(v);
        size_t publishes = 0;
        for (size_t i = 0; i < c.submitted; ++i) {
            if (!v->HasRoom(s.jobs[i])) {
                s.written.Publish(s.EndOf(std::min(i, c.endAfter) - 1));
                ++publishes;
            }
            ASSERT_TRUE(v->Submit(s.jobs[i]));
            EXPECT_LE(v->VerifiedBytes(), s.TotalSize(std::min(i, c.endAfter)));
        }
        EXPECT_GT(publishes, 0u);
        EXPECT_LT(publishes, c.submitted - 1) << "no flush per entry";
        EXPECT_FALSE(v->WaitIdle(50)) << "the last entries wait for their bytes";
        s.written.Publish(s.EndOf(c.endAfter - 1));
        v->WritesEnded();
        ASSERT_TRUE(v->WaitIdle(10000));
        EXPECT_FALSE(v->Failed());
        EXPECT_EQ(v->VerifiedBytes(), s.TotalSize(c.endAfter));
    }
}

// The byte bound: an entry larger than it is taken alone, and the next one
// waits until it is done.
TEST(VerifyBehind, ByteBoundLetsALargeEntryThroughAlone)
{
    Scene s(3);
    auto v = s.Start(256, s.jobs[0].entry.m_nUncompressedSize / 2);
    ASSERT_TRUE(v);
    ASSERT_TRUE(v->Submit(s.jobs[0]));
    std::atomic<size_t> accepted{1};
    std::thread submitter = s.SubmitRest(*v, accepted);
    EXPECT_FALSE(v->WaitIdle(50));
    EXPECT_EQ(v->VerifiedBytes(), 0u);
    EXPECT_EQ(accepted.load(), 1u) << "the second entry waits for the first";
    s.written.Publish(s.h.writer.m_nStreamBytes);
    submitter.join();
    ASSERT_TRUE(v->WaitIdle(10000));
    EXPECT_EQ(v->VerifiedBytes(), s.TotalSize(s.jobs.size()));
}

// Every write moves the mark, across volume changes too.
TEST(VerifyBehind, WriterPublishesWhatItWrote)
{
    test::StreamHarness h(B, 3000, 100);
    WrittenMark written;
    h.writer.m_pWritten = &written;
    const auto data = MakeData(5 * B, Fill::RANDOM);
    h.SetSource(data);
    PipelineEntry e = h.NewEntry(data.size());
    ASSERT_EQ(h.Encode(METHOD_DEFLATE, e), 0);
    EXPECT_GT(h.writer.m_nVolumeIndex, 2u);
    EXPECT_EQ(written.Get(), h.writer.m_nStreamBytes);
    EXPECT_TRUE(written.WaitFor(h.writer.m_nStreamBytes, nullptr));
    CancelFlag stop{1};
    EXPECT_FALSE(written.WaitFor(h.writer.m_nStreamBytes + 1, &stop));
}

} // namespace
} // namespace zk
