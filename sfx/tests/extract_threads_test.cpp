// Extraction with the hash and the decoding on threads of their own: the
// files are the same with any thread count, the damaged file is the one
// reported, in archive order, and an abort ends the run as promptly as on
// one thread.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "core/worker_threads.h"
#include "sfx/engine/entry_decoder.h"
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

TEST(SfxThreads, OnlyArchivesOfLargeFilesAreDecodedAhead)
{
    struct Case {
        uint32_t nFiles;
        uint64_t nTotal;
        bool bAhead;
    };
    const Case cases[] = {
        {0, 0, false},                      // folders only
        {20000, 105ull << 20, false},       // a tree of small files
        {1, 256 * 1024 - 1, false},         // just below the average that pays
        {1, 256 * 1024, true},
        {79, 148ull << 20, true},           // a few large files
        {3, (5ull << 32) + 3, true},        // beyond 32 bits
    };
    for (const Case& c : cases) {
        ArchiveState st;
        st.m_nFileCount = c.nFiles;
        st.m_nTotalSize = c.nTotal;
        EXPECT_EQ(HandingOverPays(st), c.bAhead) << c.nFiles << " files, " << c.nTotal << " bytes";
    }
}

struct SameFilesCase {
    const char* name;
    TestArchiveOptions options;
    bool bHash;
    bool bKeepBig; // the big file exists and the user keeps it
};

// "<prefix>aa", "<prefix>ba", ...: a different name for each i below 676.
std::u16string Numbered(const char16_t* prefix, int i)
{
    return prefix +
           std::u16string{static_cast<char16_t>(u'a' + i % 26), static_cast<char16_t>(u'a' + i / 26)};
}

std::wstring Wide(const std::u16string& name)
{
    return std::wstring(name.begin(), name.end());
}

std::vector<TestEntry> ManyFiles()
{
    std::vector<TestEntry> small;
    // More files than are decoded ahead at once, some of them empty.
    for (int i = 0; i < 150; ++i)
        small.push_back(TestEntry::File(Numbered(u"f", i), TextBytes(i % 7 == 0 ? 0 : 100 + 37 * i),
                                        i % 3 == 0 ? METHOD_DEFLATE : METHOD_LZ4));
    return {
        TestEntry::File(u"big.bin", RandomBytes(5 * 1048576 + 3, 4), METHOD_LZ4),
        TestEntry::Folder(u"sub", {TestEntry::Folder(u"deeper", small),
                                   TestEntry::File(u"text.txt", TextBytes(3 * 1048576 + 1), METHOD_DEFLATE)}),
        TestEntry::File(u"stored.bin", RandomBytes(1048576 + 17, 5), METHOD_STORED),
        TestEntry::File(u"last.txt", TextBytes(9))};
}

void ExpectFiles(const std::vector<TestEntry>& entries, const std::wstring& folder, bool keepBig)
{
    for (const TestEntry& e : entries) {
        const std::wstring path = folder + L"\\" + Wide(e.m_strName);
        if (e.m_bFolder) {
            ExpectFiles(e.m_children, path, keepBig);
        } else if (keepBig && e.m_strName == u"big.bin") {
            EXPECT_EQ(SfxScratch::ReadBytes(path), TextBytes(5));
        } else {
            EXPECT_EQ(SfxScratch::ReadBytes(path), e.m_data) << path;
        }
    }
}

// Methods, a password, volumes and hashes; a file kept in the middle: every
// thread count writes the same files, and the progress ends at the total.
TEST(SfxThreads, SameFilesWithAnyThreadCount)
{
    std::vector<SameFilesCase> cases(4);
    cases[0].name = "plain";
    cases[1].name = "password";
    cases[1].options.m_strPassword = "secret";
    cases[2].name = "volumes and hashes";
    cases[2].options.m_nVolumeSizeMB = 1;
    cases[2].bHash = true;
    cases[3].name = "big file kept";
    cases[3].bKeepBig = true;
    const std::vector<TestEntry> entries = ManyFiles();
    for (const SameFilesCase& c : cases) {
        SCOPED_TRACE(c.name);
        SfxScratch dir;
        TestArchive arc = c.bHash ? BuildHashed(entries, c.options) : BuildTestArchive(entries, c.options);
        ASSERT_TRUE(WriteArchive(arc, dir / L"m.zka"));
        for (unsigned n : {1u, 2u, 4u}) {
            SCOPED_TRACE(testing::Message() << n << " threads");
            ThreadCount threads(n);
            const std::wstring out = dir / (L"out" + std::to_wstring(n));
            if (c.bKeepBig) {
                CreateDirectoryW(out.c_str(), nullptr);
                ASSERT_TRUE(SfxScratch::WriteBytes(out + L"\\big.bin", TextBytes(5)));
            }
            OpenedArchive a(dir / L"m.zka", L"secret");
            FakeDialogue& boxes = a.m_callback.Script({ANSWER_OK, ANSWER_NO});
            ASSERT_TRUE(a.m_bOpened);
            EXPECT_EQ(a.ExtractAll(out), 0);
            EXPECT_EQ(boxes.Texts().size(), c.bKeepBig ? 2u : 0u);
            ExpectFiles(entries, out, c.bKeepBig);
            EXPECT_EQ(SfxScratch::List(out).size(), 156u);
            EXPECT_EQ(a.m_session.m_progress.m_nDone.load(), a.m_session.m_progress.m_nTotal.load());
        }
    }
}

// A damaged stream found while the files before it still wait to be
// written: those are written, the damaged one is not left half written,
// nothing after it is written, and the damaged one is the one logged.
TEST(SfxThreads, DamagedStreamIsReportedAfterTheFilesBeforeIt)
{
    std::vector<TestEntry> files;
    for (int i = 0; i < 40; ++i)
        files.push_back(TestEntry::File(Numbered(u"n", i), TextBytes(2000 + i)));
    TestArchive arc = BuildTestArchive({TestEntry::Folder(u"dir", files)}, {});
    ASSERT_TRUE(arc.m_bOk);
    // Entry 0 is the folder: file 30 is entry 31. Its first record claims
    // more than any block holds.
    const uint64_t at = arc.m_params.m_nDataOffset + arc.m_info[31].m_nDataOffset;
    for (int i = 0; i < 4; ++i)
        arc.m_volumes[0][at + i] = i == 3 ? 0x7F : 0xFF;
    for (unsigned n : {1u, 2u}) {
        SCOPED_TRACE(testing::Message() << n << " threads");
        ThreadCount threads(n);
        SfxScratch dir;
        ASSERT_TRUE(WriteArchive(arc, dir / L"d.zka"));
        OpenedArchive a(dir / L"d.zka");
        FakeDialogue& boxes = a.m_callback.Script();
        const std::wstring out = dir / L"out";
        EXPECT_EQ(a.ExtractAll(out), 1);
        EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{L"書庫データが壊れています"});
        EXPECT_EQ(a.m_session.m_ctx.m_strFailingPath, out + L"\\dir\\neb");
        for (int i = 0; i < 30; ++i)
            EXPECT_EQ(SfxScratch::ReadBytes(out + L"\\dir\\" + Wide(files[i].m_strName)), files[i].m_data);
        EXPECT_EQ(SfxScratch::List(out).size(), 31u) << "the folder and the 30 files before";
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
