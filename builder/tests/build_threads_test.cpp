// Builds with more than one thread: the archive bytes do not depend on the
// thread count, and failures and aborts behave as on one thread.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>

#include "builder/tests/build_harness.h"
#include "core/worker_threads.h"

namespace zk::test {
namespace {

// Sets the thread count and a fixed archive time stamp for one test.
class ThreadScope {
public:
    ThreadScope() { _putenv_s("SOURCE_DATE_EPOCH", "1700000000"); }
    ~ThreadScope()
    {
        SetWorkerThreadCount(0);
        _putenv_s("SOURCE_DATE_EPOCH", "");
    }
    void Use(unsigned threads) { SetWorkerThreadCount(threads); }
};

// Files of several blocks (1 MiB on Windows), one of exactly two, small and
// empty ones, in a folder and a subfolder.
std::wstring MakeBlockTree(BuildScene& s)
{
    const std::wstring top = s.Folder(L"data");
    s.Folder(L"data\\sub");
    s.File(L"data\\text.txt", Bytes(3 * 1048576 + 123, 1, false));
    s.File(L"data\\noise.bin", Bytes(1048576 + 1, 2, true));
    s.File(L"data\\sub\\two.txt", Bytes(2 * 1048576, 3, false));
    s.File(L"data\\sub\\small.txt", "small");
    s.File(L"data\\empty", "");
    return top;
}

// Every file of the archive: the archive itself and its volumes.
std::vector<std::string> ArchiveFiles(const std::wstring& target)
{
    std::vector<std::string> files;
    files.push_back(ScratchFolder::ReadAll(target));
    for (int k = 1;; ++k) {
        const std::wstring volume = target + L"." + std::to_wstring(k);
        if (GetFileAttributesW(volume.c_str()) == INVALID_FILE_ATTRIBUTES) break;
        files.push_back(ScratchFolder::ReadAll(volume));
        DeleteFileW(volume.c_str());
    }
    DeleteFileW(target.c_str());
    return files;
}

// Builds with 1, 2 and 4 threads and expects the same files every time;
// the files of the one-thread build, none when a build failed.
std::vector<std::string> BuildWithEveryThreadCount(ThreadScope& threads, BuildScene& s,
                                                   const std::wstring& target)
{
    std::vector<std::string> single;
    for (unsigned n : {1u, 2u, 4u}) {
        threads.Use(n);
        s.Build();
        EXPECT_EQ(s.Result(), BUILD_RESULT_OK) << n << " threads";
        if (s.Result() != BUILD_RESULT_OK) return {};
        std::vector<std::string> files = ArchiveFiles(target);
        if (n == 1)
            single = std::move(files);
        else
            EXPECT_TRUE(files == single) << n << " threads wrote other bytes";
    }
    return single;
}

TEST(BuildThreads, ArchiveBytesDoNotDependOnTheThreadCount)
{
    ThreadScope threads;
    BuildScene s;
    s.Sources({MakeBlockTree(s)});
    const std::wstring target = s.scratch.Path() + L"pack.zka";
    s.Target(target);
    // The first read of a new file can set its access time, which the
    // archive records: one build first, so that every compared build reads
    // the same times.
    s.Build();
    ArchiveFiles(target);
    for (uint8_t kind : {0, 1})
        for (uint8_t level : {0, 1})
            for (bool password : {false, true})
                for (uint32_t splitMB : {0u, 1u})
                    for (uint8_t checks : {0, 1}) {
                        SCOPED_TRACE(testing::Message()
                                     << "method " << int(kind) << " level " << int(level) << " password "
                                     << password << " split " << splitMB << " hash/verify " << int(checks));
                        s.owner.m_env.m_nCompressKind = kind;
                        s.owner.m_env.m_nCompressLevel = level;
                        s.owner.m_prm.m_strPassword = password ? L"secret" : L"";
                        s.owner.m_prm.m_nSplitMB = static_cast<int32_t>(splitMB);
                        s.owner.m_env.m_bHash = checks;
                        s.owner.m_env.m_bVerify = checks;
                        EXPECT_EQ(BuildWithEveryThreadCount(threads, s, target).size() > 1, splitMB != 0);
                    }
}

DecodedArchive ReadBack(const std::wstring& path)
{
    DecodedArchive a;
    EXPECT_TRUE(ReadArchive(path, L"", a)) << a.strError;
    return a;
}

// Many small files in nested folders, most of them read ahead on another
// thread, among empty ones and one of several blocks, which is not.
std::wstring MakeSmallFilesTree(BuildScene& s)
{
    const std::wstring top = s.Folder(L"many");
    for (int folder = 0; folder < 3; ++folder) {
        const std::wstring rel = L"many\\" + std::to_wstring(folder);
        s.Folder(rel);
        s.Folder(rel + L"\\inner");
        for (int i = 0; i < 60; ++i) {
            const size_t size = i % 10 == 0 ? 0 : static_cast<size_t>(i * 271 % 16384);
            const std::wstring name =
                (i % 2 ? rel + L"\\inner\\" : rel + L"\\") + std::to_wstring(i) + L".dat";
            s.File(name, Bytes(size, static_cast<uint32_t>(folder * 100 + i), i % 3 == 0));
        }
    }
    s.File(L"many\\1\\large.bin", Bytes(2 * 1048576 + 17, 7, false));
    return top;
}

TEST(BuildThreads, SmallFilesGiveTheSameBytesWithAnyThreadCount)
{
    ThreadScope threads;
    BuildScene s;
    const std::wstring top = MakeSmallFilesTree(s);
    s.Sources({top, s.src + L"many\\2\\2.dat"});
    const std::wstring target = s.scratch.Path() + L"small.zka";
    s.Target(target);
    s.Build();
    ArchiveFiles(target);
    for (uint8_t kind : {0, 1}) {
        SCOPED_TRACE(testing::Message() << "method " << int(kind));
        s.owner.m_env.m_nCompressKind = kind;
        EXPECT_FALSE(BuildWithEveryThreadCount(threads, s, target).empty());
    }
    s.Build();
    ASSERT_EQ(s.Result(), BUILD_RESULT_OK);
    // The top folder, its six folders, their files, the large one and the
    // file chosen on its own.
    EXPECT_EQ(ExpectMatchesSources(ReadBack(target), s.sources, true), 1u + 6 + 3 * 60 + 1 + 1);
}

// A small file another program holds, among small files read ahead: its
// question comes when its turn comes, after the files before it were
// stored, and the answers work as on one thread.
TEST(BuildThreads, LockedSmallFileAsksInItsTurn)
{
    ThreadScope threads;
    threads.Use(2);
    for (bool retry : {true, false}) {
        SCOPED_TRACE(retry ? "retry" : "cancel");
        BuildScene s;
        const std::wstring top = s.Folder(L"data");
        std::wstring locked;
        for (int i = 0; i < 40; ++i) {
            const std::wstring path = s.File(L"data\\" + std::to_wstring(100 + i), Bytes(3000 + i, i, false));
            if (i == 20) locked = path;
        }
        s.Sources({top});
        const std::wstring target = s.scratch.Path() + L"out.zka";
        s.Target(target);
        std::vector<std::wstring> phases;
        s.owner.m_onPhase = [&](const std::wstring& phase) { phases.push_back(phase); };
        HANDLE lock = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(lock, INVALID_HANDLE_VALUE);
        std::wstring phaseAtQuestion;
        int asked = 0;
        BoxAnswers boxes([&](const BoxAnswers::Box& box) {
            if ((box.flags & MB_TYPEMASK) != MB_RETRYCANCEL) return IDOK;
            ++asked;
            phaseAtQuestion = phases.empty() ? L"" : phases.back();
            if (!retry) return IDCANCEL;
            CloseHandle(lock);
            lock = INVALID_HANDLE_VALUE;
            return IDRETRY;
        });
        s.Build();
        if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(phaseAtQuestion, locked);
        if (retry) {
            ASSERT_EQ(s.Result(), BUILD_RESULT_OK);
            EXPECT_EQ(ExpectMatchesSources(ReadBack(target), s.sources, true), 41u);
        } else {
            EXPECT_EQ(s.Result(), BUILD_RESULT_FAILED);
            const auto at = std::find(phases.begin(), phases.end(), locked);
            ASSERT_NE(at, phases.end());
            EXPECT_TRUE(std::none_of(at + 1, phases.end(), [&](const std::wstring& p) {
                return p.rfind(top, 0) == 0;
            })) << "nothing after the locked file";
        }
        EXPECT_EQ(BuildScene::WorkFilesIn(s.scratch.Path()), 0);
    }
}

// Small files changed or deleted after the reader may have read and the
// encoders compressed them ahead, before their folder is listed: a changed
// one is stored as it is at its turn, and a deleted one fails the build
// there, after every file before it and before any after it.
TEST(BuildThreads, SmallFilesChangedAfterTheReadAheadAreTakenAtTheirTurn)
{
    ThreadScope threads;
    threads.Use(2);
    for (uint8_t kind : {0, 1})
        for (bool remove : {false, true}) {
            SCOPED_TRACE(testing::Message() << "method " << int(kind) << (remove ? " deleted" : " resized"));
            BuildScene s;
            const std::wstring top = s.Folder(L"data");
            std::vector<std::wstring> first, second;
            for (std::vector<std::wstring>* files : {&first, &second}) {
                const std::wstring folder = files == &first ? L"data\\a\\" : L"data\\b\\";
                s.Folder(folder);
                for (int i = 0; i < 20; ++i)
                    files->push_back(
                        s.File(folder + std::to_wstring(10 + i), Bytes(2000 + 97 * i, i, false)));
            }
            s.Sources({top});
            // LZ4 at its high level: its fast mode compresses small files in turn.
            s.owner.m_env.m_nCompressKind = kind;
            s.owner.m_env.m_nCompressLevel = kind == 0 ? 1 : 0;
            const std::wstring target = s.scratch.Path() + L"out.zka";
            s.Target(target);
            std::vector<std::wstring> phases;
            s.owner.m_onPhase = [&](const std::wstring& phase) {
                phases.push_back(phase);
                if (phase != first.back()) return;
                if (remove) {
                    // The reader ahead may hold the file open this moment:
                    // the deletion then waits for its handle to close, and
                    // until then the folder still lists the file.
                    DeleteFileW(second[2].c_str());
                    for (int waited = 0; waited < 5000; ++waited) {
                        if (GetFileAttributesW(second[2].c_str()) == INVALID_FILE_ATTRIBUTES) break;
                        Sleep(1);
                    }
                    return;
                }
                s.File(second[1].substr(s.src.size()), Bytes(1000, 50, true));
                s.File(second[2].substr(s.src.size()), Bytes(5000, 51, true));
            };
            BoxAnswers boxes;
            s.Build();
            if (!remove) {
                ASSERT_EQ(s.Result(), BUILD_RESULT_OK);
                EXPECT_EQ(ExpectMatchesSources(ReadBack(target), s.sources, true), 43u);
                continue;
            }
            EXPECT_EQ(s.Result(), BUILD_RESULT_FAILED);
            ASSERT_FALSE(phases.empty());
            EXPECT_EQ(phases.back(), second[1]) << "the build stops at the deleted file";
            EXPECT_EQ(BuildScene::WorkFilesIn(s.scratch.Path()), 0);
        }
}

// A file in the middle that changes while it is stored fails the build: it
// is the one reported, and nothing of the file after it is read. The
// progress never goes back.
TEST(BuildThreads, FailingSourceInTheMiddleIsTheOneReported)
{
    ThreadScope threads;
    for (unsigned n : {1u, 2u}) {
        SCOPED_TRACE(testing::Message() << n << " threads");
        threads.Use(n);
        BuildScene s;
        s.Folder(L"data");
        // Small files right before the failing one, read ahead and verified
        // behind the writer: they are verified all the same.
        const std::wstring small = s.Folder(L"small");
        std::map<std::wstring, uint64_t> sizes;
        for (int i = 0; i < 40; ++i) {
            const std::string bytes = Bytes(1000 + 97 * static_cast<size_t>(i), 10 + i, i % 3 == 0);
            sizes[s.File(L"small\\" + std::to_wstring(i) + L".txt", bytes)] = bytes.size();
        }
        const std::wstring first = s.File(L"data\\1.bin", Bytes(3 * 1048576, 1, true));
        sizes[first] = 3 * 1048576;
        const std::wstring middle = s.File(L"data\\2.bin", Bytes(3 * 1048576, 2, true));
        const std::wstring third = s.File(L"data\\3.bin", Bytes(3 * 1048576, 3, true));
        s.Sources({first, small, middle, third});
        const std::wstring target = s.scratch.Path() + L"out.zka";
        s.Target(target);
        uint64_t storedBefore = 0;
        bool reached = false;
        s.owner.m_onPhase = [&](const std::wstring& phase) {
            const auto it = sizes.find(phase);
            if (it != sizes.end() && !reached) storedBefore += it->second;
            if (phase != middle) return;
            reached = true;
            HANDLE h = CreateFileW(middle.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            LARGE_INTEGER size;
            size.QuadPart = 2 * 1048576 + 5;
            SetFilePointerEx(h, size, nullptr, FILE_BEGIN);
            SetEndOfFile(h);
            CloseHandle(h);
        };
        uint64_t last = 0;
        bool monotone = true;
        s.owner.m_onCompress = [&](uint64_t done) {
            monotone = monotone && done >= last;
            last = done;
        };
        BoxAnswers boxes;
        s.Build();
        EXPECT_EQ(s.Result(), BUILD_RESULT_FAILED);
        const auto all = boxes.Boxes();
        ASSERT_EQ(all.size(), 1u);
        EXPECT_NE(all[0].text.find(middle), std::wstring::npos);
        EXPECT_TRUE(monotone);
        EXPECT_LE(s.owner.m_nCompressDone, storedBefore + 2 * 1048576) << "nothing after the failing file";
        EXPECT_EQ(s.owner.m_nVerifyDone, storedBefore) << "every file before it was verified";
        DecodedArchive a;
        EXPECT_FALSE(ReadArchive(target, L"", a));
        EXPECT_EQ(BuildScene::WorkFilesIn(s.scratch.Path()), 0);
    }
}

// The abort button in the middle of a large file: the build has stopped
// reading, removed its work file and ended well within 100 ms.
TEST(BuildThreads, AbortInTheMiddleEndsTheBuildPromptly)
{
    ThreadScope threads;
    for (unsigned n : {1u, 2u, 4u}) {
        SCOPED_TRACE(testing::Message() << n << " threads");
        threads.Use(n);
        BuildScene s;
        const std::wstring top = s.Folder(L"data");
        s.File(L"data\\big.bin", Bytes(12 * 1048576, 4, false));
        s.File(L"data\\next.bin", Bytes(2 * 1048576, 5, false));
        s.Sources({top});
        s.Target(s.scratch.Path() + L"out.zka");
        using Clock = std::chrono::steady_clock;
        Clock::time_point asked{};
        uint64_t doneAtAbort = 0;
        s.owner.m_onCompress = [&](uint64_t done) {
            if (done < 3 * 1048576 || doneAtAbort != 0) return;
            doneAtAbort = done;
            asked = Clock::now();
            s.owner.RequestAbort();
        };
        BoxAnswers boxes;
        s.Build();
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - asked).count();
        EXPECT_EQ(s.Result(), BUILD_RESULT_ABORTED);
        EXPECT_LT(took, 100);
        EXPECT_EQ(s.owner.m_nCompressDone, doneAtAbort) << "nothing more was counted";
        EXPECT_TRUE(boxes.Boxes().empty());
        EXPECT_EQ(BuildScene::WorkFilesIn(s.scratch.Path()), 0);
    }
}

} // namespace
} // namespace zk::test
