// Whole builds of real source trees, each archive decoded completely and
// compared with its sources.

#include <gtest/gtest.h>

#include <thread>

#include "builder/engine/build_messages.h"
#include "builder/tests/build_harness.h"
#include "core/unique_handle_win.h"
#include "core/archive_key.h"
#include "core/file_io.h"
#include "core/long_path.h"

#include <algorithm>
#include <cstring>

namespace zk::test {
namespace {

constexpr wchar_t NOTHING_TO_STORE[] = L"書庫に格納するファイルおよびフォルダが有りませんでした";

DecodedArchive ReadBack(const std::wstring& path, const std::wstring& password = L"")
{
    DecodedArchive a;
    EXPECT_TRUE(ReadArchive(path, password, a)) << a.strError;
    return a;
}

TEST(BuildEngine, EmptyFolderOnlyGivesOneFolderEntryAndNoData)
{
    BuildScene s;
    std::wstring folder = s.Folder(L"empty");
    s.Sources({folder});
    s.Target(s.scratch.Path() + L"out.zka");
    BoxAnswers boxes;
    s.Build();

    EXPECT_EQ(s.Result(), BUILD_RESULT_OK);
    EXPECT_EQ(s.owner.m_nBuildState.load(), BUILD_STATE_FINISHED);
    EXPECT_TRUE(boxes.Boxes().empty());
    DecodedArchive a = ReadBack(s.scratch.Path() + L"out.zka");
    ASSERT_EQ(a.entries.size(), 1u);
    EXPECT_TRUE(a.entries[0].bFolder);
    EXPECT_EQ(a.entries[0].strPath, L"empty");
    EXPECT_EQ(a.params.m_nFileCount, 0u);
    EXPECT_EQ(a.params.m_nFolderCount, 1u);
    EXPECT_EQ(a.params.m_nDataOffset, a.firstFile.size()) << "nothing follows the tables";
    ASSERT_TRUE(s.owner.m_bStatsSet);
    EXPECT_EQ(s.owner.m_stats.nFileCount, 0u);
    EXPECT_EQ(s.owner.m_stats.nFolderCount, 1u);
    EXPECT_EQ(s.owner.m_stats.nStreamBytes, 0u);
    EXPECT_EQ(s.owner.m_nTimerStarts, 1);
    EXPECT_EQ(s.owner.m_nTimerStops, 1);
    EXPECT_EQ(BuildScene::WorkFilesIn(s.scratch.Path()), 0);
    ExpectMatchesSources(a, s.sources, true);
}

TEST(BuildEngine, SingleEmptyFileIntoSelfExtractor)
{
    BuildScene s;
    std::wstring file = s.File(L"empty.txt", "");
    s.Sources({file});
    const std::wstring target = s.scratch.Path() + L"out.exe";
    s.Target(target);
    BoxAnswers boxes;
    s.Build();

    ASSERT_EQ(s.Result(), BUILD_RESULT_OK);
    DecodedArchive a = ReadBack(target);
    std::vector<uint8_t> sfx;
    ASSERT_TRUE(LoadWholeFile(ZK_SFX_EXE, sfx));
    EXPECT_EQ(a.nHeaderPos, sfx.size());
    EXPECT_TRUE(std::equal(sfx.begin(), sfx.end(), a.firstFile.begin()))
        << "the extractor program is copied as is";
    ASSERT_EQ(a.entries.size(), 1u);
    EXPECT_FALSE(a.entries[0].bFolder);
    EXPECT_EQ(a.entries[0].info.m_nMethod, METHOD_STORED);
    EXPECT_EQ(a.params.m_nFileCount, 1u);
    EXPECT_EQ(a.params.m_nContentCount, 0u);
    EXPECT_EQ(a.params.m_nTotalSize, 0u);
    EXPECT_EQ(a.params.m_nDataOffset, a.firstFile.size());
    EXPECT_EQ(a.params.m_nTreeOffset, a.nHeaderPos + 116) << "empty texts: 50 + 66 bytes of head";
    ExpectMatchesSources(a, s.sources, true);
}

// Names, sizes, attributes and write times of everything below a folder.
std::vector<std::wstring> Listing(const std::wstring& folder)
{
    std::map<std::wstring, WIN32_FIND_DATAW> all;
    ExpectedEntries(folder, L"", true, all);
    std::vector<std::wstring> out;
    for (const auto& [rel, d] : all)
        out.push_back(rel + L"|" + std::to_wstring(d.nFileSizeLow) + L"|" +
                      std::to_wstring(d.dwFileAttributes) + L"|" +
                      std::to_wstring(TimeOf(d.ftLastWriteTime)));
    return out;
}

// A tree with nested folders, an empty folder, an empty file, text and
// incompressible content across more than one block, and hidden and
// temporary entries at several levels.
std::wstring MakeMixedTree(BuildScene& s)
{
    std::wstring top = s.Folder(L"tree");
    s.Folder(L"tree\\sub");
    s.Folder(L"tree\\sub\\deeper");
    s.Folder(L"tree\\empty");
    s.Folder(L"tree\\hiddenfolder");
    s.File(L"tree\\a.txt", Bytes(3000, 1, false));
    s.File(L"tree\\zero.bin", "");
    s.File(L"tree\\sub\\big.bin", Bytes(1048576 + 4321, 2, true));
    s.File(L"tree\\sub\\deeper\\text.txt", Bytes(2 * 1048576 + 17, 3, false));
    s.File(L"tree\\sub\\ro.txt", "read only", FILE_ATTRIBUTE_READONLY);
    s.File(L"tree\\hidden.txt", "hidden", FILE_ATTRIBUTE_HIDDEN);
    s.File(L"tree\\sub\\temp.tmp", "temporary", FILE_ATTRIBUTE_TEMPORARY);
    s.File(L"tree\\hiddenfolder\\inside.txt", "inside a hidden folder");
    SetFileAttributesW((s.src + L"tree\\hiddenfolder").c_str(),
                       FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY);
    s.File(L"Thumbs.db", "not excluded by collection");
    return top;
}

struct CodecCase {
    const char* name;
    uint8_t kind;
    uint8_t level;
    uint8_t hash;
    uint8_t verify;
    uint8_t includeHidden;
    const wchar_t* extension;
};

TEST(BuildEngine, MixedTreeRoundTripsWithEveryCodecAndOption)
{
    const CodecCase cases[] = {
        {"lz4 standard, all checks", 0, 0, 1, 1, 1, L".zka"},
        {"lz4 high, no hash, no verify", 0, 1, 0, 0, 0, L".exe"},
        {"deflate standard, hash only", 1, 0, 1, 0, 0, L".zka"},
        {"deflate high, verify only, hidden", 1, 1, 0, 1, 1, L".exe"},
    };
    for (const CodecCase& c : cases) {
        SCOPED_TRACE(c.name);
        BuildScene s;
        std::wstring tree = MakeMixedTree(s);
        s.Sources({tree, s.src + L"Thumbs.db"});
        s.owner.m_env.m_nCompressKind = c.kind;
        s.owner.m_env.m_nCompressLevel = c.level;
        s.owner.m_env.m_bHash = c.hash;
        s.owner.m_env.m_bVerify = c.verify;
        s.owner.m_env.m_bIncludeHidden = c.includeHidden;
        s.owner.m_prm.m_strSfxTitle = L"タイトル";
        s.owner.m_prm.m_strSfxComment = L"コメント";
        const std::wstring target = s.scratch.Path() + L"pack" + c.extension;
        s.Target(target);
        BoxAnswers boxes;
        s.Build();
        ASSERT_EQ(s.Result(), BUILD_RESULT_OK);
        EXPECT_TRUE(boxes.Boxes().empty());

        DecodedArchive a = ReadBack(target);
        const size_t n = ExpectMatchesSources(a, s.sources, c.includeHidden != 0);
        EXPECT_EQ(a.entries.size(), n);
        const uint32_t flags = a.header.m_nFlags;
        EXPECT_EQ((flags & AF_HASH) != 0, c.hash != 0);
        EXPECT_EQ((flags & AF_HIDDEN) != 0, c.includeHidden != 0);
        EXPECT_EQ((flags & AF_DEFLATE) != 0, c.kind == 1);
        EXPECT_NE(flags & AF_MARK, 0u);
        EXPECT_EQ(flags & AF_PASSWORD, 0u);
        EXPECT_EQ(a.params.m_strTitle, u"タイトル");
        EXPECT_EQ(a.params.m_strComment, u"コメント");
        EXPECT_EQ(a.params.m_nSfxFlags, SF_SHOW_LIST);
        uint64_t total = 0;
        uint32_t files = 0, folders = 0, content = 0;
        for (const ArchiveEntry& e : a.entries) {
            if (e.bFolder) {
                ++folders;
                continue;
            }
            ++files;
            total += e.info.m_nSize;
            if (e.info.m_nSize) {
                ++content;
                EXPECT_EQ(e.info.m_nMethod, c.kind == 0 ? METHOD_LZ4 : METHOD_DEFLATE);
                bool zeroHash =
                    std::all_of(e.info.m_hash, e.info.m_hash + 32, [](uint8_t b) { return b == 0; });
                EXPECT_EQ(zeroHash, c.hash == 0);
            }
        }
        EXPECT_EQ(a.params.m_nFileCount, files);
        EXPECT_EQ(a.params.m_nFolderCount, folders);
        EXPECT_EQ(a.params.m_nContentCount, content);
        EXPECT_EQ(a.params.m_nTotalSize, total);
        EXPECT_EQ(a.params.m_nSizeEstimate, total);
        EXPECT_EQ(s.owner.m_counters.nFileCount, files);
        EXPECT_EQ(s.owner.m_nTotal, total);
        EXPECT_EQ(s.owner.m_nCompressDone, total);
        EXPECT_EQ(s.owner.m_nVerifyDone, c.verify ? total : 0u);
        EXPECT_EQ(s.owner.m_stats.nStreamBytes, a.firstFile.size() - a.params.m_nDataOffset);
        // Info records lie in depth-first order, as the reader walked them.
        for (size_t i = 1; i < a.entries.size(); ++i)
            EXPECT_LT(a.entries[i - 1].info.m_nDataOffset + a.entries[i - 1].info.m_nStoredSize,
                      a.entries[i].info.m_nDataOffset + 1);
        EXPECT_EQ(BuildScene::WorkFilesIn(s.scratch.Path()), 0);
        const std::vector<std::wstring> phases = {
            L"書庫ファイルを準備中．．．", L"ファイル情報を収集中．．．", L"書庫ファイルを作成中．．．"};
        ASSERT_GE(s.owner.m_listPhases.size(), 4u);
        EXPECT_EQ(std::vector<std::wstring>(s.owner.m_listPhases.begin(), s.owner.m_listPhases.begin() + 3),
                  phases);
        EXPECT_EQ(s.owner.m_listPhases.back(), L"最終処理を実行中．．．");
    }
}

// The data phase reads each folder's listing once and pairs it with the
// children collected: entries left out (hidden, temporary) lie between the
// kept ones, more of them in a row than the pairing looks ahead, so some
// children are found in the listing and others by name. Every record must
// still describe its own file.
TEST(BuildEngine, LeftOutEntriesBetweenKeptOnesKeepEveryRecordRight)
{
    BuildScene s;
    std::wstring top = s.Folder(L"mixed");
    for (int i = 0; i < 120; ++i) {
        wchar_t name[32];
        swprintf(name, 32, L"mixed\\n%03d.txt", i);
        // One in twenty is kept, the rest are hidden, so the kept ones lie
        // about twenty listing entries apart; sizes differ so a record paired
        // with the wrong file shows.
        const DWORD attrs = i % 20 == 0 ? 0 : FILE_ATTRIBUTE_HIDDEN;
        s.File(name, Bytes(100 + 37 * i, static_cast<uint8_t>(i), false), attrs);
    }
    s.Folder(L"mixed\\sub");
    s.File(L"mixed\\sub\\last.txt", Bytes(5000, 9, false));
    s.Sources({top});
    s.owner.m_env.m_bIncludeHidden = 0;
    const std::wstring target = s.scratch.Path() + L"mixed.zka";
    s.Target(target);
    BoxAnswers boxes;
    s.Build();
    ASSERT_EQ(s.Result(), BUILD_RESULT_OK);
    DecodedArchive a = ReadBack(target);
    EXPECT_EQ(ExpectMatchesSources(a, s.sources, false), 1u + 6u + 2u);
    EXPECT_EQ(a.entries.size(), 1u + 6u + 2u);
}

TEST(BuildEngine, HiddenTopLevelItemIsSkippedAndNothingLeftIsReported)
{
    BuildScene s;
    std::wstring hidden = s.File(L"secret.txt", "x", FILE_ATTRIBUTE_HIDDEN);
    s.Sources({hidden});
    s.owner.m_env.m_bIncludeHidden = 0;
    s.Target(s.scratch.Path() + L"out.zka");
    BoxAnswers boxes;
    s.Build();
    EXPECT_EQ(s.Result(), BUILD_RESULT_ABORTED);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, NOTHING_TO_STORE);
    EXPECT_FALSE(s.owner.m_bStatsSet);
    EXPECT_EQ(BuildScene::WorkFilesIn(s.scratch.Path()), 0);
}

TEST(BuildEngine, PasswordEncryptsDataAndNamesAndNeedsThePassword)
{
    BuildScene s;
    std::wstring folder = s.Folder(L"docs");
    const std::string text = "PLAINTEXT-MARKER " + Bytes(5000, 4, false);
    s.File(L"docs\\PLAINNAME.txt", text);
    s.File(L"docs\\empty.txt", "");
    s.Sources({folder});
    s.owner.m_prm.m_strPassword = L"pass word";
    const std::wstring target = s.scratch.Path() + L"secret.zka";
    s.Target(target);
    for (uint8_t kind : {0, 1}) {
        SCOPED_TRACE(kind == 0 ? "lz4" : "deflate");
        s.owner.m_env.m_nCompressKind = kind;
        BoxAnswers boxes;
        s.Build();
        ASSERT_EQ(s.Result(), BUILD_RESULT_OK);

        DecodedArchive a = ReadBack(target, L"pass word");
        EXPECT_NE(a.header.m_nFlags & AF_PASSWORD, 0u);
        ExpectMatchesSources(a, s.sources, true);
        const std::string raw(a.firstFile.begin(), a.firstFile.end());
        EXPECT_EQ(raw.find("PLAINTEXT-MARKER"), std::string::npos);
        EXPECT_EQ(raw.find("zelkora packs"), std::string::npos);
        const std::string name16("P\0L\0A\0I\0N\0N\0A\0M\0E\0", 18);
        EXPECT_EQ(raw.find(name16), std::string::npos);
        for (const ArchiveEntry& e : a.entries)
            EXPECT_EQ(e.info.m_nStoredSize % 16, 0u);

        DecodedArchive wrong;
        EXPECT_FALSE(ReadArchive(target, L"pass wore", wrong));
        EXPECT_EQ(wrong.strError, "check block does not match the key");
    }
}

TEST(BuildEngine, SecondBuildWithTheSamePasswordRebuildsTheKey)
{
    BuildScene s;
    std::wstring file = s.File(L"one.txt", Bytes(10000, 5, false));
    s.Sources({file});
    s.owner.m_prm.m_strPassword = L"same";
    BoxAnswers boxes;
    s.Target(s.scratch.Path() + L"first.zka");
    s.Build();
    ASSERT_EQ(s.Result(), BUILD_RESULT_OK);
    const uint32_t before = ArchiveKeyScheduleBuilds();
    s.Target(s.scratch.Path() + L"second.exe");
    s.Build();
    ASSERT_EQ(s.Result(), BUILD_RESULT_OK);
    EXPECT_EQ(ArchiveKeyScheduleBuilds(), before + 1) << "the key is cleared when a build ends";
    DecodedArchive a = ReadBack(s.scratch.Path() + L"first.zka", L"same");
    DecodedArchive b = ReadBack(s.scratch.Path() + L"second.exe", L"same");
    ExpectMatchesSources(a, s.sources, true);
    ExpectMatchesSources(b, s.sources, true);
}

TEST(BuildEngine, ArchiveInsideASourceFolderIsNotStoredInItself)
{
    BuildScene s;
    std::wstring folder = s.Folder(L"proj");
    s.File(L"proj\\keep.txt", "keep");
    // Left over from an earlier split build: overwriting it while storing
    // it would corrupt both.
    const std::wstring stale = s.File(L"proj\\pack.zka.1", "stale volume");
    s.Sources({folder});
    const std::wstring target = folder + L"\\pack.zka";
    s.Target(target);
    BoxAnswers boxes;
    s.Build();
    ASSERT_EQ(s.Result(), BUILD_RESULT_OK);
    DecodedArchive a = ReadBack(target);
    std::vector<std::wstring> names;
    for (const ArchiveEntry& e : a.entries)
        names.push_back(e.strPath);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"proj", L"proj\\keep.txt"}));
    EXPECT_EQ(ScratchFolder::ReadAll(stale), "stale volume");
    EXPECT_EQ(BuildScene::WorkFilesIn(folder + L"\\"), 0)
        << "the work file lay there and was neither stored nor kept";

    // The archive itself chosen as a source (an old archive being replaced).
    s.Sources({s.src + L"proj\\keep.txt", target});
    s.Build();
    ASSERT_EQ(s.Result(), BUILD_RESULT_OK);
    a = ReadBack(target);
    ASSERT_EQ(a.entries.size(), 1u);
    EXPECT_EQ(a.entries[0].strPath, L"keep.txt");
}

TEST(BuildEngine, LockedSourceFileAsksRetryOrCancel)
{
    for (bool retry : {true, false}) {
        SCOPED_TRACE(retry ? "retry after release" : "cancel");
        BuildScene s;
        std::wstring file = s.File(L"locked.bin", Bytes(100000, 6, false));
        s.Sources({file});
        const std::wstring target = s.scratch.Path() + L"out.zka";
        s.Target(target);
        HANDLE lock = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(lock, INVALID_HANDLE_VALUE);
        int asked = 0;
        BoxAnswers boxes([&](const BoxAnswers::Box& box) {
            if ((box.flags & MB_TYPEMASK) != MB_RETRYCANCEL) return IDOK;
            ++asked;
            if (!retry) return IDCANCEL;
            if (asked == 2) {
                CloseHandle(lock);
                lock = INVALID_HANDLE_VALUE;
            }
            return IDRETRY;
        });
        s.Build();
        if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);

        const auto all = boxes.Boxes();
        ASSERT_FALSE(all.empty());
        EXPECT_EQ(all[0].caption, L"確認");
        const std::wstring suffix = L"\nファイル：" + file;
        EXPECT_TRUE(all[0].text.size() > suffix.size() &&
                    all[0].text.compare(all[0].text.size() - suffix.size(), suffix.size(), suffix) == 0);
        EXPECT_EQ(BuildScene::WorkFilesIn(s.scratch.Path()), 0);
        if (retry) {
            EXPECT_EQ(asked, 2);
            ASSERT_EQ(s.Result(), BUILD_RESULT_OK);
            ExpectMatchesSources(ReadBack(target), s.sources, true);
        } else {
            EXPECT_EQ(asked, 1);
            EXPECT_EQ(s.Result(), BUILD_RESULT_FAILED);
            DecodedArchive a;
            EXPECT_FALSE(ReadArchive(target, L"", a))
                << "an unfinished archive must not pass for a complete one";
        }
        EXPECT_EQ(ScratchFolder::ReadAll(file), Bytes(100000, 6, false));
    }
}

TEST(BuildEngine, AbortStopsCollectionAndTheDataPhase)
{
    struct Case {
        const char* name;
        bool duringData;
    };
    for (const Case c : {Case{"during collection", false}, Case{"during the data phase", true}}) {
        SCOPED_TRACE(c.name);
        BuildScene s;
        std::wstring tree = MakeMixedTree(s);
        s.Sources({tree});
        const std::wstring target = s.scratch.Path() + L"out.zka";
        s.Target(target);
        s.owner.m_env.m_bShowLogOnError = 1;
        if (c.duringData) {
            s.owner.m_onCompress = [&](uint64_t done) {
                if (done > 0) s.owner.m_nBuildResult.store(BUILD_RESULT_ABORTED);
            };
        } else {
            s.owner.m_onPhase = [&](const std::wstring& phase) {
                if (phase == L"ファイル情報を収集中．．．")
                    s.owner.m_nBuildResult.store(BUILD_RESULT_ABORTED);
            };
        }
        const std::vector<std::wstring> before = Listing(tree);
        BoxAnswers boxes;
        s.Build();
        EXPECT_EQ(s.Result(), BUILD_RESULT_ABORTED);
        EXPECT_EQ(s.owner.m_nBuildState.load(), BUILD_STATE_FINISHED);
        EXPECT_TRUE(boxes.Boxes().empty());
        EXPECT_FALSE(s.owner.m_bStatsSet);
        EXPECT_EQ(s.owner.m_nTimerStops, 1);
        EXPECT_EQ(BuildScene::WorkFilesIn(s.scratch.Path()), 0);
        if (c.duringData) {
            EXPECT_EQ(s.owner.m_nCompressDone, 3000u) << "stopped after the first piece";
            DecodedArchive a;
            EXPECT_FALSE(ReadArchive(target, L"", a));
        }
        EXPECT_EQ(Listing(tree), before) << "no source is touched";
    }
}

TEST(BuildEngine, FailedBuildWritesTheTwoLogLines)
{
    BuildScene s;
    std::wstring file = s.File(L"locked.bin", "data");
    s.Sources({file});
    s.Target(s.scratch.Path() + L"out.zka");
    s.owner.m_env.m_bShowLogOnError = 1;
    HANDLE lock = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    BoxAnswers boxes([](const BoxAnswers::Box&) { return IDCANCEL; });
    s.Build();
    CloseHandle(lock);
    EXPECT_EQ(s.Result(), BUILD_RESULT_FAILED);

    std::string raw = ScratchFolder::ReadAll(s.prog + L"Zelkora.log");
    if (raw.size() >= 2 && raw[0] == '\xFF' && raw[1] == '\xFE') raw.erase(0, 2);
    ASSERT_EQ(raw.size() % 2, 0u);
    std::wstring log(raw.size() / 2, L'\0');
    std::memcpy(log.data(), raw.data(), raw.size());
    const std::wstring first = L"ファイルパス：" + file + L"\r\n";
    ASSERT_EQ(log.compare(0, first.size(), first), 0) << std::string(raw.begin(), raw.end());
    const std::wstring second = log.substr(first.size());
    EXPECT_EQ(second.compare(0, 7, L"メッセージ　："), 0);
    EXPECT_GT(second.size(), 9u) << "the system's text for the sharing violation";
    EXPECT_EQ(second.substr(second.size() - 2), L"\r\n");

    // A successful build leaves the log empty apart from the byte-order mark.
    s.Build();
    ASSERT_EQ(s.Result(), BUILD_RESULT_OK);
    EXPECT_LE(ScratchFolder::ReadAll(s.prog + L"Zelkora.log").size(), 2u);
}

TEST(BuildEngine, SelfExtractorWithoutTheExtractorProgramFails)
{
    BuildScene s;
    DeleteFileW((s.prog + L"ZelkoraSfx.exe").c_str());
    s.Sources({s.File(L"a.txt", "a")});
    s.Target(s.scratch.Path() + L"out.exe");
    BoxAnswers boxes;
    s.Build();
    EXPECT_EQ(s.Result(), BUILD_RESULT_FAILED);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, L"「ZelkoraSfx.exe」が同じフォルダ内に存在しません");
    EXPECT_EQ(GetFileAttributesW((s.scratch.Path() + L"out.exe").c_str()), INVALID_FILE_ATTRIBUTES);
}

uint64_t SizeOf(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA d{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &d)) return 0;
    return (uint64_t{d.nFileSizeHigh} << 32) | d.nFileSizeLow;
}

TEST(BuildEngine, SplitArchivesFillEveryVolumeButTheLast)
{
    struct Case {
        const char* name;
        int splitMB;
        size_t dataBytes;
        const wchar_t* extension;
        uint8_t kind;
        bool password;
        uint32_t volumes;
    };
    const Case cases[] = {
        {"1 MB, lz4", 1, 2 * 1048576 + 300000, L".zka", 0, false, 3},
        {"1 MB, deflate with password", 1, 2 * 1048576 + 300000, L".exe", 1, true, 3},
        {"5 MB, lz4", 5, 6 * 1048576, L".exe", 0, false, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BuildScene s;
        std::wstring folder = s.Folder(L"data");
        s.File(L"data\\first.txt", Bytes(5000, 7, false));
        s.File(L"data\\noise.bin", Bytes(c.dataBytes, 8, true));
        s.File(L"data\\last.txt", Bytes(70000, 9, false));
        s.Sources({folder});
        s.owner.m_prm.m_nSplitMB = c.splitMB;
        s.owner.m_env.m_nCompressKind = c.kind;
        if (c.password) s.owner.m_prm.m_strPassword = L"vol";
        const std::wstring target = s.scratch.Path() + L"split" + c.extension;
        s.Target(target);
        BoxAnswers boxes;
        s.Build();
        ASSERT_EQ(s.Result(), BUILD_RESULT_OK);
        EXPECT_TRUE(boxes.Boxes().empty());

        DecodedArchive a = ReadBack(target, c.password ? L"vol" : L"");
        ExpectMatchesSources(a, s.sources, true);
        EXPECT_EQ(a.params.m_nVolumeSizeMB, c.splitMB);
        const uint64_t volumeSize = uint64_t(c.splitMB) * 1048576;
        uint64_t all = 0;
        for (uint64_t v : a.volumeSizes)
            all += v;
        EXPECT_EQ(all, a.params.m_nDataOffset + s.owner.m_stats.nStreamBytes);
        // A self-extracting archive starts with the extractor program, whose
        // size changes with the extractor: its count follows from the bytes.
        const uint64_t expected =
            std::wstring(c.extension) == L".exe" ? (all + volumeSize - 1) / volumeSize : c.volumes;
        ASSERT_EQ(a.nVolumeFiles, expected);
        for (uint32_t k = 0; k + 1 < a.nVolumeFiles; ++k)
            EXPECT_EQ(a.volumeSizes[k], volumeSize) << "volume " << k;
    }
}

TEST(BuildEngine, HeadLargerThanTheVolumeAsksToRaiseTheVolumeSize)
{
    BuildScene s;
    std::wstring folder = s.Folder(L"many");
    // Long names make a head of more than 1 MiB from fewer files.
    const std::wstring stem(240, L'n');
    for (int i = 0; i < 1800; ++i)
        s.File(L"many\\" + stem + std::to_wstring(1000 + i), "");
    s.File(L"many\\noise.bin", Bytes(3 * 1048576, 10, true));
    s.Sources({folder});
    const std::wstring target = s.scratch.Path() + L"big.zka";
    s.Target(target);

    for (int answer : {IDCANCEL, IDOK}) {
        SCOPED_TRACE(answer == IDOK ? "OK" : "Cancel");
        s.owner.m_prm.m_nSplitMB = 1;
        s.owner.m_nSummaries = 0;
        BoxAnswers boxes([&](const BoxAnswers::Box&) { return answer; });
        s.Build();
        const auto all = boxes.Boxes();
        ASSERT_EQ(all.size(), 1u);
        EXPECT_EQ(all[0].text, L"分割サイズが小さいためファイル情報の保存ができません。\n分割サイズを 2 MB "
                               L"に調整しますがよろしいですか？");
        EXPECT_EQ(all[0].flags & MB_TYPEMASK, static_cast<UINT>(MB_OKCANCEL));
        EXPECT_EQ(s.owner.m_dialogue.Messages().back().m_nTopic, BUILD_TOPIC_RAISE_SPLIT);
        // The raised size comes back in the job; the wizard's records change
        // on its own thread only.
        EXPECT_EQ(s.owner.m_job.nRaisedSplitMB, answer == IDOK ? 2u : 0u);
        EXPECT_EQ(s.owner.Snapshot().nSplitMB, answer == IDOK ? 2u : 0u);
        EXPECT_EQ(BuildScene::WorkFilesIn(s.scratch.Path()), 0);
        if (answer == IDCANCEL) {
            EXPECT_EQ(s.Result(), BUILD_RESULT_FAILED);
            EXPECT_EQ(s.owner.m_prm.m_nSplitMB, 1);
            continue;
        }
        ASSERT_EQ(s.Result(), BUILD_RESULT_OK);
        EXPECT_EQ(s.owner.m_prm.m_nSplitMB, 2);
        EXPECT_EQ(s.owner.m_nSummaries, 1);
        DecodedArchive a = ReadBack(target);
        EXPECT_EQ(a.params.m_nVolumeSizeMB, 2);
        EXPECT_EQ(a.entries.size(), 1802u);
        EXPECT_GT(a.params.m_nDataOffset, 1048576u);
        ASSERT_GE(a.nVolumeFiles, 2u);
        for (uint32_t k = 0; k + 1 < a.nVolumeFiles; ++k)
            EXPECT_EQ(a.volumeSizes[k], 2u * 1048576) << k;
        ExpectMatchesSources(a, s.sources, true);
    }
}

TEST(BuildEngine, DataBeyondTheLastNameableVolumeIsRefusedBeforeTheHead)
{
    BuildScene s;
    std::wstring file = s.src + L"huge.bin";
    // 300 MiB without writing them: only the size counts for the check.
    HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size;
    size.QuadPart = 300ll * 1048576;
    ASSERT_TRUE(SetFilePointerEx(h, size, nullptr, FILE_BEGIN) && SetEndOfFile(h));
    CloseHandle(h);
    s.Sources({file});
    s.owner.m_prm.m_nSplitMB = 1;
    const std::wstring target = s.scratch.Path() + L"out.zka";
    s.Target(target);
    BoxAnswers boxes;
    s.Build();
    EXPECT_EQ(s.Result(), BUILD_RESULT_FAILED);
    const auto all = boxes.Boxes();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_NE(all[0].text.find(L"256"), std::wstring::npos);
    EXPECT_NE(all[0].text.find(L"分割サイズを 2 MB 以上にしてください。"), std::wstring::npos);
    EXPECT_EQ(SizeOf(target), 0u) << "nothing of the archive was written";
    EXPECT_EQ(BuildScene::WorkFilesIn(s.scratch.Path()), 0);

    // The same data fits with the volume size proposed.
    s.owner.m_prm.m_nSplitMB = 2;
    s.owner.m_env.m_bVerify = 0;
    BoxAnswers quiet;
    s.owner.m_onCompress = [&](uint64_t done) {
        // Only the start of the data phase matters here.
        if (done >= 4 * 1048576) s.owner.m_nBuildResult.store(BUILD_RESULT_ABORTED);
    };
    s.Build();
    EXPECT_EQ(s.Result(), BUILD_RESULT_ABORTED);
    EXPECT_TRUE(quiet.Boxes().empty());
}

TEST(BuildEngine, FileChangingSizeWhileStoredFailsTheBuild)
{
    for (bool grow : {true, false}) {
        SCOPED_TRACE(grow ? "grows" : "shrinks");
        BuildScene s;
        const std::string original = Bytes(200000, 11, false);
        std::wstring file = s.File(L"log.txt", original);
        s.Sources({file});
        const std::wstring target = s.scratch.Path() + L"out.zka";
        s.Target(target);
        // Another program writes the file after its entry was read again
        // and before its data is.
        s.owner.m_onPhase = [&](const std::wstring& phase) {
            if (phase != file) return;
            HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            LARGE_INTEGER size;
            size.QuadPart = grow ? 250000 : 1000;
            SetFilePointerEx(h, size, nullptr, FILE_BEGIN);
            SetEndOfFile(h);
            CloseHandle(h);
        };
        BoxAnswers boxes;
        s.Build();
        EXPECT_EQ(s.Result(), BUILD_RESULT_FAILED);
        const auto all = boxes.Boxes();
        ASSERT_EQ(all.size(), 1u);
        EXPECT_NE(all[0].text.find(L"ファイルサイズが変化しました"), std::wstring::npos);
        EXPECT_NE(all[0].text.find(file), std::wstring::npos);
        DecodedArchive a;
        EXPECT_FALSE(ReadArchive(target, L"", a)) << "no archive that records one size and stores another";
        EXPECT_EQ(BuildScene::WorkFilesIn(s.scratch.Path()), 0);
    }
}

TEST(BuildEngine, BuildOnItsOwnThreadIsAbortedFromAnother)
{
    BuildScene s;
    std::wstring folder = s.Folder(L"data");
    s.File(L"data\\a.bin", Bytes(3 * 1048576, 12, true));
    s.File(L"data\\b.txt", "b");
    s.Sources({folder});
    const std::wstring target = s.scratch.Path() + L"out.exe";
    s.Target(target);
    HANDLE started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE aborted = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    s.owner.m_onCompress = [&](uint64_t done) {
        if (done == 0) return;
        SetEvent(started);
        WaitForSingleObject(aborted, 10000);
    };
    BoxAnswers boxes;
    BuildJob& job = s.owner.Job();
    std::thread thread([&job] { BuildWorker(job); });
    ASSERT_EQ(WaitForSingleObject(started, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(s.owner.m_nBuildState.load(), BUILD_STATE_RUNNING);
    s.owner.RequestAbort(); // the abort button
    SetEvent(aborted);
    thread.join();
    CloseHandle(started);
    CloseHandle(aborted);
    EXPECT_EQ(s.owner.m_nBuildState.load(), BUILD_STATE_FINISHED);
    EXPECT_EQ(s.Result(), BUILD_RESULT_ABORTED);
    EXPECT_LT(s.owner.m_nCompressDone, 2u * 1048576) << "stopped at the next test of the flag";
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(BuildScene::WorkFilesIn(s.scratch.Path()), 0);

    // The next build on a thread runs to its end.
    s.owner.m_onCompress = nullptr;
    BuildJob& next = s.owner.Job();
    std::thread(([&next] { BuildWorker(next); })).join();
    EXPECT_EQ(s.Result(), BUILD_RESULT_OK);
    ExpectMatchesSources(ReadBack(target), s.sources, true);
}

// "中止" pressed when the engine has tested the flag for the last time: the
// archive is complete, and a finished build's result never changes.
TEST(BuildEngine, LateAbortKeepsTheSuccess)
{
    {
        BuildScene s;
        s.Sources({s.File(L"a.txt", Bytes(5000, 3, false))});
        const std::wstring target = s.scratch.Path() + L"out.exe";
        s.Target(target);
        s.owner.m_onStopTimer = [&] { s.owner.RequestAbort(); };
        BoxAnswers boxes;
        s.Build();
        EXPECT_EQ(s.owner.m_nBuildState.load(), BUILD_STATE_FINISHED);
        EXPECT_EQ(s.Result(), BUILD_RESULT_OK);
        ExpectMatchesSources(ReadBack(target), s.sources, true);

        s.owner.RequestAbort(); // pressed after the end
        EXPECT_EQ(s.Result(), BUILD_RESULT_OK);
    }
}

// Wine resolves a path component by component, so every call on a path a
// thousand folders deep takes tens of milliseconds: the deep chain is made
// and removed in pieces of a few levels, each moved as one folder.
constexpr int CHAIN_PIECE = 32;

// Makes `levels` nested folders "a" below `top` (which exists) and a file at
// the bottom with the given name and bytes. `work` is a folder to build in.
::testing::AssertionResult MakeChain(const std::wstring& work, const std::wstring& top, int levels,
                                     const std::wstring& fileName, const std::string& bytes)
{
    const std::wstring chain = work + L"chain";
    if (!CreateDirectoryW(chain.c_str(), nullptr)) return ::testing::AssertionFailure() << "chain";
    std::wstring bottom = chain;
    auto fail = [](const char* what) {
        return ::testing::AssertionFailure() << what << " " << GetLastError();
    };
    for (int made = 0; made < levels;) {
        // A new piece with the chain so far moved below its last folder.
        const std::wstring piece = work + L"piece";
        if (!CreateDirectoryW(piece.c_str(), nullptr)) return fail("piece");
        std::wstring end = piece;
        const int n = std::min(CHAIN_PIECE, levels - made);
        for (int i = 0; i < n; ++i) {
            end += L"\\a";
            if (!CreateDirectoryW(end.c_str(), nullptr)) return fail("level");
        }
        if (made == 0) {
            FileHandle h(OpenFile((end + L"\\" + fileName).c_str(), OPENMODE_CREATE));
            if (!h || !WriteFully(h.Get(), bytes.data(), bytes.size())) return fail("file");
        } else if (!MoveFileW((chain + L"\\a").c_str(), LongPathForm(end + L"\\a").c_str())) {
            return fail("move");
        }
        made += n;
        // The piece's folders now sit on top of the chain.
        if (!MoveFileW((piece + L"\\a").c_str(), (chain + L"\\a").c_str())) return fail("place");
        RemoveDirectoryW(piece.c_str());
    }
    if (!MoveFileW((chain + L"\\a").c_str(), LongPathForm(top + L"\\a").c_str())) return fail("top");
    RemoveDirectoryW(chain.c_str());
    return ::testing::AssertionSuccess();
}

// Removes a chain of nested folders with one entry on each level (a folder,
// or a file at the bottom) below `top`, and `top` itself.
void RemoveChain(const std::wstring& work, const std::wstring& top)
{
    std::wstring start = top;
    for (int round = 0; !start.empty(); ++round) {
        std::vector<std::wstring> levels{start};
        start.clear();
        for (;;) {
            WIN32_FIND_DATAW d{};
            FindHandle find(FindFirstFileW(LongPathForm(levels.back() + L"\\*").c_str(), &d));
            bool found = false;
            while (find && !found) {
                found = wcscmp(d.cFileName, L".") != 0 && wcscmp(d.cFileName, L"..") != 0;
                if (!found && !FindNextFileW(find.Get(), &d)) break;
            }
            if (!found) break;
            const std::wstring path = levels.back() + L"\\" + d.cFileName;
            if (!(d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                DeleteFileW(LongPathForm(path).c_str());
                break;
            }
            if (levels.size() == CHAIN_PIECE) {
                start = work + L"rest" + std::to_wstring(round);
                MoveFileW(LongPathForm(path).c_str(), start.c_str());
                break;
            }
            levels.push_back(path);
        }
        for (auto it = levels.rbegin(); it != levels.rend(); ++it)
            RemoveDirectoryW(LongPathForm(*it).c_str());
    }
}

DWORD WINAPI BuildOnThread(void* job)
{
    return BuildWorker(*static_cast<BuildJob*>(job));
}

// The deepest tree a path allows: one-letter folders down to a file whose
// full path has 2047 units, about a thousand levels. The build runs on a
// thread with far less stack than the program's own, so a walk that needs
// stack for every level fails here.
TEST(BuildEngine, DeepestTreeNeedsNoStackPerLevel)
{
    BuildScene s;
    const std::wstring top = s.Folder(L"d");
    const int levels = static_cast<int>((MAX_PATH_UNITS - top.size() - 2) / 2);
    const std::wstring deepest = [&] {
        std::wstring folder = top;
        for (int i = 0; i < levels; ++i)
            folder += L"\\a";
        return folder;
    }();
    const std::wstring fileName(MAX_PATH_UNITS - deepest.size() - 1, L'f');
    ASSERT_TRUE(MakeChain(s.scratch.Path(), top, levels, fileName, "deep"));
    const std::wstring file = deepest + L"\\" + fileName;
    ASSERT_EQ(file.size(), MAX_PATH_UNITS);
    ASSERT_TRUE(PathExists(file.c_str()));
    s.Sources({top});
    const std::wstring target = s.scratch.Path() + L"deep.zka";
    s.Target(target);
    BoxAnswers boxes;
    constexpr SIZE_T SMALL_STACK = 256 * 1024;
    HANDLE thread = CreateThread(nullptr, SMALL_STACK, BuildOnThread, &s.owner.Job(),
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 600000), WAIT_OBJECT_0);
    CloseHandle(thread);
    EXPECT_EQ(s.Result(), BUILD_RESULT_OK);
    EXPECT_TRUE(boxes.Boxes().empty());

    DecodedArchive a = ReadBack(target);
    EXPECT_EQ(a.params.m_nFolderCount, static_cast<uint32_t>(levels) + 1);
    ASSERT_EQ(a.entries.size(), static_cast<size_t>(levels) + 2);
    const ArchiveEntry& bottom = a.entries.back();
    EXPECT_FALSE(bottom.bFolder);
    EXPECT_EQ(s.src + bottom.strPath, file);
    EXPECT_EQ(std::string(bottom.data.begin(), bottom.data.end()), "deep");
    RemoveChain(s.scratch.Path(), top);
}

TEST(BuildEngine, NarrowNamesUseTheAnsiCodePage)
{
    if (GetACP() != 932) GTEST_SKIP() << "needs the Japanese code page";
    BuildScene s;
    std::wstring folder = s.Folder(L"フォルダ");
    s.File(L"フォルダ\\名前.txt", "中身");
    s.Sources({folder});
    s.owner.m_env.m_bShiftJisNames = 1;
    const std::wstring target = s.scratch.Path() + L"narrow.zka";
    s.Target(target);
    BoxAnswers boxes;
    s.Build();
    ASSERT_EQ(s.Result(), BUILD_RESULT_OK);
    DecodedArchive a = ReadBack(target);
    EXPECT_NE(a.header.m_nFlags & AF_NARROW_NAMES, 0u);
    ASSERT_EQ(a.entries.size(), 2u);
    EXPECT_EQ(a.entries[1].info.m_name.size(), 8u) << "four double-byte characters";
    ExpectMatchesSources(a, s.sources, true);

    // A name the code page cannot hold comes back different: the file
    // cannot be found again, and the build fails instead of storing
    // something else.
    s.File(L"フォルダ\\ü€.txt", "x");
    s.Build();
    EXPECT_EQ(s.Result(), BUILD_RESULT_FAILED);
}

} // namespace
} // namespace zk::test
