#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <new>
#include <thread>

#include "core/byte_io.h"
#include "sfx/tests/sfx_test_support.h"

namespace zk::test {
namespace {

constexpr uint64_t T1 = 0x01D9A0B0C0D0E0F0ull;
constexpr uint64_t T2 = 0x01D8000011112222ull;
constexpr wchar_t OVERWRITE_PREFIX[] =
    L"同名のファイルが既に存在します。上書きしてもよろしいですか？\nファイル：";

TestEntry Timed(TestEntry e, uint64_t t, uint32_t attributes)
{
    e.m_nCreationTime = e.m_nAccessTime = e.m_nWriteTime = t;
    e.m_nAttributes = attributes;
    return e;
}

std::vector<TestEntry> MixedTree()
{
    return {
        TestEntry::Folder(u"docs", {TestEntry::File(u"lz4.txt", TextBytes(300000), METHOD_LZ4),
                                    TestEntry::File(u"deflate.bin", RandomBytes(70000, 3), METHOD_DEFLATE),
                                    TestEntry::File(u"stored.dat", TextBytes(33), METHOD_STORED),
                                    Timed(TestEntry::File(u"empty.txt", {}), T2, FILE_ATTRIBUTE_HIDDEN),
                                    Timed(TestEntry::Folder(u"empty folder"), T1, FILE_ATTRIBUTE_DIRECTORY)}),
        Timed(TestEntry::File(u"readme.txt", Bytes("read me"), METHOD_DEFLATE), T1,
              FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE),
    };
}

void ExpectMixedTree(const std::wstring& out)
{
    EXPECT_EQ(SfxScratch::ReadBytes(out + L"\\docs\\lz4.txt"), TextBytes(300000));
    EXPECT_EQ(SfxScratch::ReadBytes(out + L"\\docs\\deflate.bin"), RandomBytes(70000, 3));
    EXPECT_EQ(SfxScratch::ReadBytes(out + L"\\docs\\stored.dat"), TextBytes(33));
    EXPECT_TRUE(SfxScratch::Exists(out + L"\\docs\\empty.txt"));
    EXPECT_TRUE(SfxScratch::ReadBytes(out + L"\\docs\\empty.txt").empty());
    EXPECT_EQ(WriteTimeOf(out + L"\\docs\\empty.txt"), T2);
    EXPECT_TRUE(SfxScratch::Attributes(out + L"\\docs\\empty.txt") & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(WriteTimeOf(out + L"\\docs\\empty folder"), T1);
    EXPECT_EQ(SfxScratch::ReadBytes(out + L"\\readme.txt"), Bytes("read me"));
    EXPECT_TRUE(SfxScratch::Attributes(out + L"\\readme.txt") & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(WriteTimeOf(out + L"\\readme.txt"), T1);
}

TEST(SfxExtract, EveryMethodWithAndWithoutPassword)
{
    for (bool password : {false, true}) {
        SfxScratch dir;
        TestArchiveOptions o;
        if (password) o.m_strPassword = "secret";
        ASSERT_TRUE(WriteArchive(BuildHashed(MixedTree(), o), dir / L"mixed.zka"));

        OpenedArchive a(dir / L"mixed.zka", L"secret");
        FakeDialogue& boxes = a.m_callback.Script();
        ASSERT_TRUE(a.m_bOpened);
        ASSERT_TRUE(a.m_state.m_bTreeLoaded);
        EXPECT_EQ(a.ExtractAll(dir / L"out"), 0);
        EXPECT_TRUE(boxes.Texts().empty());
        EXPECT_EQ(a.m_session.m_ctx.m_nRunning, 0);
        EXPECT_EQ(a.m_session.m_progress.m_nDone.load(), a.m_state.m_nTotalSize);
        EXPECT_EQ(a.m_session.m_status.Get(), L"");
        EXPECT_EQ(a.m_callback.m_nEnables, 1);
        ExpectMixedTree(dir / L"out");
    }
}

// Earlier layouts: fixed name fields of 260 / 520 bytes, doubled in
// long-name mode; narrow names in the ANSI code page (932 here).
TEST(SfxExtract, LegacyVersions)
{
    struct Case {
        uint16_t m_nVersion;
        bool m_bNarrow;
        bool m_bLong;
    } cases[] = {
        {100, false, false}, {100, true, false}, {101, false, true}, {101, true, true}, {101, false, false}};
    for (const Case& c : cases) {
        SfxScratch dir;
        TestArchiveOptions o;
        o.m_nVersion = c.m_nVersion;
        o.m_bNarrowNames = c.m_bNarrow;
        o.m_bLongNames = c.m_bLong;
        TestEntry photo = TestEntry::File(u"写真.txt", TextBytes(5000));
        if (c.m_bNarrow) photo.m_rawName = {0x8E, 0xCA, 0x90, 0x5E, '.', 't', 'x', 't'}; // Shift-JIS
        TestEntry longName = TestEntry::File(std::u16string(c.m_bLong ? 200 : 100, u'n'), Bytes("long"));
        TestArchive arc = BuildTestArchive(
            {TestEntry::Folder(u"old", {photo, longName}), TestEntry::File(u"top", Bytes("t"))}, o);
        ASSERT_TRUE(arc.m_bOk);
        if (c.m_nVersion == 100) {
            // Version 100 marks compressed entries with any non-zero method.
            arc.m_volumes[0][arc.m_infoPos[1]] = 7;
        }
        ASSERT_TRUE(WriteArchive(arc, dir / L"old.zka"));

        OpenedArchive a(dir / L"old.zka");
        FakeDialogue& boxes = a.m_callback.Script();
        ASSERT_TRUE(a.m_bOpened) << c.m_nVersion;
        EXPECT_EQ(a.ExtractAll(dir / L"out"), 0) << c.m_nVersion;
        EXPECT_TRUE(boxes.Texts().empty());
        EXPECT_EQ(SfxScratch::ReadBytes(dir / L"out\\old\\写真.txt"), TextBytes(5000)) << c.m_nVersion;
        EXPECT_EQ(SfxScratch::ReadBytes(dir / (L"out\\old\\" + std::wstring(c.m_bLong ? 200 : 100, L'n'))),
                  Bytes("long"));
        EXPECT_EQ(SfxScratch::ReadBytes(dir / L"out\\top"), Bytes("t"));
    }
}

TestEntry Sized(TestEntry e, int64_t recorded)
{
    e.m_nRecordedSize = recorded;
    return e;
}

TestEntry Kind(TestEntry e, int kind)
{
    e.m_nKind = kind;
    return e;
}

std::wstring SizeNotice(uint64_t recorded, uint64_t extracted)
{
    return L"メッセージ　：書庫に記録されたサイズ（" + std::to_wstring(recorded) +
           L" バイト）と解凍したサイズ（" + std::to_wstring(extracted) + L" バイト）が異なります";
}

// What a builder may write although its records say otherwise: streams that
// hold more or fewer bytes than the recorded size (the source changed while
// it was read), and an LZ4 stream ended by a negative length. Every file
// comes out as its stream holds it, the hash agrees, and the log lists each
// difference of size. The progress never goes past the total the recorded
// sizes make, nor back: the longer file spans several blocks, so a counter
// that took its excess back only at the file's end is seen above the total.
TEST(SfxExtract, EveryEntryAsItsStreamHoldsIt)
{
    constexpr size_t LONGER = 3 * 1048576 + 5000;
    SfxScratch dir;
    std::vector<TestEntry> top = {
        Sized(TestEntry::File(u"longer.txt", TextBytes(LONGER), METHOD_LZ4), 100),
        Sized(TestEntry::File(u"shorter.bin", RandomBytes(70000, 3), METHOD_DEFLATE), 1 << 20),
        Sized(TestEntry::File(u"stored.dat", TextBytes(33), METHOD_STORED), 1ll << 33),
        TestEntry::File(u"negative end.txt", TextBytes(3000), METHOD_LZ4),
    };
    TestArchive arc = BuildHashed(top, {});
    ASSERT_TRUE(arc.m_bOk);
    // The last entry's stream ends with its zero length: make it -1.
    const InfoRecord& last = arc.m_info.back();
    const uint64_t end = arc.m_params.m_nDataOffset + last.m_nDataOffset + last.m_nStoredSize;
    StoreU32(arc.m_volumes[0].data() + end - 4, 0xFFFFFFFF);
    ASSERT_TRUE(WriteArchive(arc, dir / L"sizes.zka"));

    OpenedArchive a(dir / L"sizes.zka");
    FakeDialogue& boxes = a.m_callback.Script();
    ASSERT_TRUE(a.m_bOpened);
    const std::wstring out = dir / L"out";
    std::atomic<bool> stop{false};
    uint64_t highest = 0;
    bool wentBack = false;
    std::thread watcher([&] {
        for (uint64_t last = 0; !stop;) {
            const uint64_t now = a.m_session.m_progress.m_nDone.load();
            wentBack = wentBack || now < last;
            highest = now > highest ? now : highest;
            last = now;
            std::this_thread::yield();
        }
    });
    EXPECT_EQ(a.ExtractAll(out), 0);
    stop = true;
    watcher.join();
    EXPECT_TRUE(boxes.Texts().empty());
    EXPECT_EQ(a.m_session.m_status.Get(), L"");
    EXPECT_EQ(a.m_session.m_progress.m_nDone.load(), a.m_state.m_nTotalSize) << "the run ends complete";
    EXPECT_LE(highest, a.m_state.m_nTotalSize);
    EXPECT_FALSE(wentBack);
    EXPECT_EQ(SfxScratch::ReadBytes(out + L"\\longer.txt"), TextBytes(LONGER));
    EXPECT_EQ(SfxScratch::ReadBytes(out + L"\\shorter.bin"), RandomBytes(70000, 3));
    EXPECT_EQ(SfxScratch::ReadBytes(out + L"\\stored.dat"), TextBytes(33));
    EXPECT_EQ(SfxScratch::ReadBytes(out + L"\\negative end.txt"), TextBytes(3000));

    // Nothing failed, yet the window writes the log for the differences.
    ASSERT_TRUE(ErrorLogWanted(a.m_session));
    EXPECT_EQ(WriteErrorLog(a.m_session, a.m_callback), 0);
    EXPECT_EQ(
        LogLines(dir / L"sizes.log"),
        (std::vector<std::wstring>{L"ファイルパス：" + out + L"\\longer.txt", SizeNotice(100, LONGER),
                                   L"ファイルパス：" + out + L"\\shorter.bin", SizeNotice(1 << 20, 70000),
                                   L"ファイルパス：" + out + L"\\stored.dat", SizeNotice(1ull << 33, 33)}));
}

// Only kind 1 is a folder; any other kind byte is a file, none of them the
// root, wherever it stands.
TEST(SfxExtract, EveryKindButAFoldersIsAFile)
{
    SfxScratch dir;
    std::vector<TestEntry> top = {
        Kind(TestEntry::File(u"kind ff.txt", Bytes("ff")), 0xFF),
        TestEntry::Folder(u"sub", {Kind(TestEntry::File(u"kind 3.txt", Bytes("three")), 3),
                                   Kind(TestEntry::File(u"kind ff.txt", Bytes("inner ff")), 0xFF),
                                   Kind(TestEntry::File(u"kind 80.txt", {}), 0x80)}),
    };
    ASSERT_TRUE(WriteArchive(BuildTestArchive(top, {}), dir / L"kinds.zka"));

    OpenedArchive a(dir / L"kinds.zka");
    FakeDialogue& boxes = a.m_callback.Script();
    ASSERT_TRUE(a.m_bOpened);
    const std::wstring out = dir / L"out";
    EXPECT_EQ(a.ExtractAll(out), 0);
    EXPECT_TRUE(boxes.Texts().empty());
    EXPECT_EQ(SfxScratch::ReadBytes(out + L"\\kind ff.txt"), Bytes("ff"));
    EXPECT_EQ(SfxScratch::ReadBytes(out + L"\\sub\\kind 3.txt"), Bytes("three"));
    EXPECT_EQ(SfxScratch::ReadBytes(out + L"\\sub\\kind ff.txt"), Bytes("inner ff"));
    EXPECT_EQ(SfxScratch::Attributes(out + L"\\sub\\kind 80.txt") & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(a.m_session.m_progress.m_nDone.load(), a.m_state.m_nTotalSize);
}

// Bytes the code page cannot read become its replacement character, and the
// name is used like any other.
TEST(SfxExtract, NarrowNameTheCodePageCannotRead)
{
    CPINFOEXW cp = {};
    ASSERT_TRUE(GetCPInfoExW(CP_THREAD_ACP, 0, &cp));
    if (cp.MaxCharSize < 2) GTEST_SKIP() << "needs a code page with lead bytes";
    BYTE lead = cp.LeadByte[0];
    SfxScratch dir;
    TestArchiveOptions o;
    o.m_bNarrowNames = true;
    TestEntry odd = TestEntry::File(u"", Bytes("odd"));
    odd.m_rawName = {'a', lead}; // a lead byte without its trail byte
    ASSERT_TRUE(WriteArchive(BuildTestArchive({odd, TestEntry::File(u"after.txt", Bytes("after"))}, o),
                             dir / L"n.zka"));

    OpenedArchive a(dir / L"n.zka");
    FakeDialogue& boxes = a.m_callback.Script();
    EXPECT_EQ(a.ExtractAll(dir / L"out"), 0);
    EXPECT_TRUE(boxes.Texts().empty());
    EXPECT_EQ(SfxScratch::ReadBytes(dir / (L"out\\a" + std::wstring(1, cp.UnicodeDefaultChar))),
              Bytes("odd"));
    EXPECT_EQ(SfxScratch::ReadBytes(dir / L"out\\after.txt"), Bytes("after"));
}

// Whether files in folder keep a creation time given to them (Wine's file
// systems have none to set).
bool KeepsCreationTimes(const std::wstring& folder, uint64_t value)
{
    const std::wstring probe = folder + L"\\creation probe";
    HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    FILETIME set = {static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)}, back = {};
    SetFileTime(h, &set, nullptr, nullptr);
    GetFileTime(h, &back, nullptr, nullptr);
    CloseHandle(h);
    DeleteFileW(probe.c_str());
    return FileTimeValue(back) == value;
}

// The three times of files, empty files and folders, each its own value.
TEST(SfxExtract, RestoresCreationAccessAndWriteTimes)
{
    constexpr uint64_t C = 0x01D5111111111110ull, A = 0x01D7222222222220ull, W = 0x01D6333333333330ull;
    auto timed = [&](TestEntry e) {
        e.m_nCreationTime = C;
        e.m_nAccessTime = A;
        e.m_nWriteTime = W;
        return e;
    };
    SfxScratch dir;
    ASSERT_TRUE(WriteArchive(
        BuildTestArchive(
            {timed(TestEntry::Folder(u"dir", {timed(TestEntry::File(u"data.txt", TextBytes(5000)))})),
             timed(TestEntry::File(u"empty.txt", {}))},
            {}),
        dir / L"t.zka"));
    const bool creation = KeepsCreationTimes(dir.Path(), C);
    if (!creation) std::printf("note: this file system keeps no creation time; not checked\n");
    OpenedArchive a(dir / L"t.zka");
    a.m_callback.Script();
    EXPECT_EQ(a.ExtractAll(dir / L"out"), 0);
    for (const wchar_t* rel : {L"out\\dir", L"out\\dir\\data.txt", L"out\\empty.txt"}) {
        WIN32_FILE_ATTRIBUTE_DATA d = {};
        ASSERT_TRUE(GetFileAttributesExW(LongForm(dir / rel).c_str(), GetFileExInfoStandard, &d));
        if (creation) {
            EXPECT_EQ(FileTimeValue(d.ftCreationTime), C) << rel;
        }
        EXPECT_EQ(FileTimeValue(d.ftLastAccessTime), A) << rel;
        EXPECT_EQ(FileTimeValue(d.ftLastWriteTime), W) << rel;
    }
}

struct OverwriteSetup {
    SfxScratch dir;
    std::wstring out = dir / L"out";
    OverwriteSetup()
    {
        std::vector<TestEntry> files = {TestEntry::File(u"a.txt", Bytes("new a")),
                                        TestEntry::File(u"b.txt", Bytes("new b")),
                                        TestEntry::File(u"c.txt", Bytes("new c"))};
        WriteArchive(BuildTestArchive(files, {}), dir / L"o.zka");
        CreateDirectoryW(out.c_str(), nullptr);
        for (const wchar_t* n : {L"a.txt", L"b.txt", L"c.txt"})
            SfxScratch::WriteBytes(out + L"\\" + n, Bytes("old"));
    }
};

TEST(SfxExtract, YesAnswersForTheWholeRun)
{
    OverwriteSetup s;
    OpenedArchive a(s.dir / L"o.zka");
    FakeDialogue& boxes = a.m_callback.Script({ANSWER_OK, ANSWER_YES});
    EXPECT_EQ(a.ExtractAll(s.out + L"\\"), 0);
    std::vector<std::wstring> texts = boxes.Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], L"解凍先フォルダが既に存在します。上書きしてもよろしいですか？");
    EXPECT_EQ(texts[1], OVERWRITE_PREFIX + s.out + L"\\a.txt");
    EXPECT_EQ(Sources(boxes), (std::vector<MessageSource>{SOURCE_QUESTION, SOURCE_QUESTION}));
    EXPECT_EQ(boxes.Messages()[1].m_nButtons, BUTTONS_YES_NO_CANCEL);
    EXPECT_EQ(boxes.Messages()[1].m_nTopic, EXTRACT_TOPIC_OVERWRITE);
    for (const char* n : {"a", "b", "c"})
        EXPECT_EQ(SfxScratch::ReadBytes(s.out + L"\\" + wchar_t(n[0]) + L".txt"),
                  Bytes(std::string("new ") + n));
}

TEST(SfxExtract, NoSkipsOneFileButCountsIt)
{
    OverwriteSetup s;
    OpenedArchive a(s.dir / L"o.zka");
    FakeDialogue& boxes = a.m_callback.Script({ANSWER_OK, ANSWER_NO, ANSWER_YES});
    EXPECT_EQ(a.ExtractAll(s.out), 0);
    EXPECT_EQ(boxes.Texts().size(), 3u);
    EXPECT_EQ(SfxScratch::ReadBytes(s.out + L"\\a.txt"), Bytes("old"));
    EXPECT_EQ(SfxScratch::ReadBytes(s.out + L"\\b.txt"), Bytes("new b"));
    EXPECT_EQ(SfxScratch::ReadBytes(s.out + L"\\c.txt"), Bytes("new c"));
    EXPECT_EQ(a.m_session.m_progress.m_nDone.load(), 15u);
}

TEST(SfxExtract, CancelStopsWithoutAnErrorMessage)
{
    OverwriteSetup s;
    OpenedArchive a(s.dir / L"o.zka");
    FakeDialogue& boxes = a.m_callback.Script({ANSWER_OK, ANSWER_CANCEL});
    EXPECT_EQ(a.ExtractAll(s.out), 1);
    EXPECT_EQ(boxes.Texts().size(), 2u);
    EXPECT_EQ(a.m_session.m_status.Get(), L"解凍中止");
    EXPECT_EQ(a.m_callback.m_nEnables, 0);
    EXPECT_EQ(SfxScratch::ReadBytes(s.out + L"\\b.txt"), Bytes("old"));

    // Cancelling the destination question extracts nothing either.
    FakeDialogue& cancel = a.m_callback.Script({ANSWER_CANCEL});
    cancel.Clear();
    EXPECT_EQ(a.ExtractAll(s.out), 1);
    EXPECT_EQ(cancel.Texts().size(), 1u);
    EXPECT_EQ(a.m_session.m_status.Get(), L"解凍中止");

    // Nobody left to answer (the window is gone) is a cancel, not a yes.
    a.m_callback.Script({ANSWER_OK, ANSWER_NONE});
    EXPECT_EQ(a.ExtractAll(s.out), 1);
    EXPECT_EQ(a.m_session.m_status.Get(), L"解凍中止");
    EXPECT_EQ(SfxScratch::ReadBytes(s.out + L"\\a.txt"), Bytes("old"));
}

TEST(SfxExtract, ReadOnlyTargetIsReplacedAndKeepsArchivedAttributes)
{
    SfxScratch dir;
    ASSERT_TRUE(WriteArchive(BuildTestArchive({Timed(TestEntry::File(u"ro.txt", Bytes("fresh")), T1,
                                                     FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)},
                                              {}),
                             dir / L"r.zka"));
    std::wstring out = dir / L"out";
    CreateDirectoryW(out.c_str(), nullptr);
    SfxScratch::WriteBytes(out + L"\\ro.txt", Bytes("stale"));
    SetFileAttributesW((out + L"\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM);

    OpenedArchive a(dir / L"r.zka");
    a.m_callback.Script({ANSWER_OK, ANSWER_YES});
    EXPECT_EQ(a.ExtractAll(out), 0);
    EXPECT_EQ(SfxScratch::ReadBytes(out + L"\\ro.txt"), Bytes("fresh"));
    DWORD attrs = SfxScratch::Attributes(out + L"\\ro.txt");
    EXPECT_TRUE(attrs & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(attrs & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_FALSE(attrs & FILE_ATTRIBUTE_SYSTEM);
}

// One hash serves a whole run: a good file before a damaged one must not
// leave state behind, and the damaged one must still be caught.
TEST(SfxExtract, DamagedSecondFileFailsItsHashAfterAGoodOne)
{
    SfxScratch dir;
    const std::vector<uint8_t> first = TextBytes(1000);
    TestArchive arc = BuildHashed({TestEntry::File(u"first.dat", first, METHOD_STORED),
                                   TestEntry::File(u"second.dat", TextBytes(1000), METHOD_STORED),
                                   TestEntry::File(u"third.dat", TextBytes(10))},
                                  {});
    ASSERT_TRUE(arc.m_bOk);
    arc.m_volumes[0][arc.m_params.m_nDataOffset + 1000 + 500] ^= 0x01;
    ASSERT_TRUE(WriteArchive(arc, dir / L"h2.zka"));

    OpenedArchive a(dir / L"h2.zka");
    FakeDialogue& boxes = a.m_callback.Script();
    EXPECT_EQ(a.ExtractAll(dir / L"out"), 1);
    EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{L"ハッシュ値が一致しません"});
    EXPECT_EQ(SfxScratch::ReadBytes(dir / L"out\\first.dat"), first);
    EXPECT_EQ(SfxScratch::ReadBytes(dir / L"out\\second.dat").size(), 1000u);
    EXPECT_FALSE(SfxScratch::Exists(dir / L"out\\third.dat"));
}

TEST(SfxExtract, DamagedByteFailsTheHashAfterWritingTheFile)
{
    SfxScratch dir;
    TestArchive arc = BuildHashed({TestEntry::File(u"first.dat", TextBytes(1000), METHOD_STORED),
                                   TestEntry::File(u"second.dat", TextBytes(10))},
                                  {});
    ASSERT_TRUE(arc.m_bOk);
    arc.m_volumes[0][arc.m_params.m_nDataOffset + 500] ^= 0x01;
    ASSERT_TRUE(WriteArchive(arc, dir / L"h.zka"));

    OpenedArchive a(dir / L"h.zka");
    FakeDialogue& boxes = a.m_callback.Script();
    EXPECT_EQ(a.ExtractAll(dir / L"out"), 1);
    EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{L"ハッシュ値が一致しません"});
    EXPECT_EQ(Sources(boxes), std::vector<MessageSource>{SOURCE_PROGRAM});
    EXPECT_EQ(boxes.Messages()[0].m_nMark, MARK_ERROR);
    EXPECT_EQ(SfxScratch::ReadBytes(dir / L"out\\first.dat").size(), 1000u);
    EXPECT_FALSE(SfxScratch::Exists(dir / L"out\\second.dat"));
    EXPECT_EQ(a.m_session.m_status.Get(), L"解凍失敗");

    // The main window then writes the log beside the archive.
    EXPECT_EQ(WriteErrorLog(a.m_session, a.m_callback), 0);
    EXPECT_EQ(ExtractorLogPath(a.m_state.m_strArchivePath.c_str()), dir / L"h.log");
    std::vector<uint8_t> log = SfxScratch::ReadBytes(dir / L"h.log");
    std::wstring expected = L"\xFEFFファイルパス：" + (dir / L"out\\first.dat") +
                            L"\r\nメッセージ　：ハッシュ値が一致しません\r\n";
    ASSERT_EQ(log.size(), expected.size() * 2);
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(log.data()), expected.size()), expected);

    // Where no log can be created, the window is told so instead.
    FakeDialogue told;
    a.m_state.m_strArchivePath = dir / L"gone\\h.zka";
    EXPECT_EQ(WriteErrorLog(a.m_session, told), 1);
    EXPECT_EQ(told.Texts(), std::vector<std::wstring>{L"ログ用ファイルの作成に失敗しました"});
    EXPECT_EQ(Sources(told), std::vector<MessageSource>{SOURCE_PROGRAM});
    a.m_state.m_strArchivePath = dir / L"h.zka";

    // A later run cancelled at its first question is not reported with the
    // earlier run's cause.
    FakeDialogue& again = a.m_callback.Script({ANSWER_OK, ANSWER_CANCEL});
    again.Clear();
    EXPECT_EQ(a.ExtractAll(dir / L"out"), 1);
    EXPECT_EQ(again.Texts().size(), 2u);
    EXPECT_EQ(a.m_session.m_status.Get(), L"解凍中止");
}

// 1 MiB volumes: the head and the first file fill volumes 0 and 1 and a
// little of volume 2, where the second file's data begins.
TEST(SfxExtract, DataAcrossVolumes)
{
    SfxScratch dir;
    TestArchiveOptions o;
    o.m_nVolumeSizeMB = 1;
    o.m_strPassword = "vol";
    std::vector<TestEntry> files = {TestEntry::File(u"big.bin", RandomBytes(2200000, 1), METHOD_STORED),
                                    TestEntry::File(u"late.bin", RandomBytes(600000, 2), METHOD_LZ4)};
    TestArchive arc = BuildHashed(files, o);
    ASSERT_TRUE(arc.m_bOk);
    ASSERT_EQ(arc.m_volumes.size(), 3u);
    ASSERT_EQ(arc.m_info[1].m_nStartVolume, 2);
    ASSERT_TRUE(WriteArchive(arc, dir / L"v.exe.zka"));

    OpenedArchive a(dir / L"v.exe.zka", L"vol");
    FakeDialogue& boxes = a.m_callback.Script();
    EXPECT_EQ(a.ExtractAll(dir / L"out"), 0);
    EXPECT_TRUE(boxes.Texts().empty());
    EXPECT_EQ(SfxScratch::ReadBytes(dir / L"out\\big.bin"), RandomBytes(2200000, 1));
    EXPECT_EQ(SfxScratch::ReadBytes(dir / L"out\\late.bin"), RandomBytes(600000, 2));

    // Without its middle volume the first file cannot be read: the system's
    // reason is shown where it happens.
    DeleteFileW((dir / L"v.exe.zka.1").c_str());
    OpenedArchive b(dir / L"v.exe.zka", L"vol");
    FakeDialogue& missing = b.m_callback.Script({ANSWER_OK});
    EXPECT_EQ(b.ExtractAll(dir / L"out2"), 1);
    ASSERT_FALSE(missing.Texts().empty());
    EXPECT_EQ(Sources(missing)[0], SOURCE_SYSTEM);
    EXPECT_EQ(b.m_session.m_status.Get(), L"解凍失敗");
}

TEST(SfxExtract, TreeDeeperThanMaxPath)
{
    SfxScratch dir;
    std::u16string segment(40, u'd');
    TestEntry leaf = TestEntry::File(u"deep.txt", Bytes("bottom"));
    TestEntry node = TestEntry::Folder(segment + u"9", {leaf});
    for (int i = 8; i >= 0; --i)
        node = TestEntry::Folder(segment + char16_t(u'0' + i), {node});
    ASSERT_TRUE(WriteArchive(BuildTestArchive({node}, {}), dir / L"deep.zka"));

    OpenedArchive a(dir / L"deep.zka");
    FakeDialogue& boxes = a.m_callback.Script();
    EXPECT_EQ(a.ExtractAll(dir / L"out"), 0);
    EXPECT_TRUE(boxes.Texts().empty());
    std::wstring path = dir / L"out";
    for (int i = 0; i <= 9; ++i)
        path += L"\\" + std::wstring(40, L'd') + wchar_t(L'0' + i);
    path += L"\\deep.txt";
    ASSERT_GT(path.size(), 300u);
    EXPECT_EQ(SfxScratch::ReadBytes(path), Bytes("bottom"));
}

TEST(SfxDestination, DriveRootsAndTrailingSlashes)
{
    struct Case {
        const wchar_t* m_pText;
        bool m_bRoot;
        const wchar_t* m_pChecked;
    } cases[] = {
        {L"C:\\", true, L"C:\\"},
        {L"z:\\", true, L"z:\\"},
        {L"C:", false, L"C:"},
        {L"C:\\out\\", false, L"C:\\out"},
        {L"C:\\out", false, L"C:\\out"},
        {L"1:\\", false, L"1:"},
        {L"\\\\srv\\share\\", false, L"\\\\srv\\share"},
        {L"C:\\\\", false, L"C:\\"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsDriveRootText(c.m_pText), c.m_bRoot) << c.m_pText;
        EXPECT_EQ(DestinationForCheck(c.m_pText), c.m_pChecked) << c.m_pText;
    }

    ArchiveState state;
    FakeExtractCallback view;
    ExtractSession s(state, &view);
    SfxScratch dir;
    SfxScratch::WriteBytes(dir / L"file", Bytes("x"));
    FakeDialogue& boxes = view.Script({ANSWER_OK});
    EXPECT_EQ(CheckDestination(s, L"C:\\"), 0);
    EXPECT_EQ(CheckDestination(s, dir / L"new"), 0);
    EXPECT_TRUE(boxes.Texts().empty());
    EXPECT_EQ(CheckDestination(s, dir.Path()), 0);
    EXPECT_EQ(boxes.Texts().size(), 1u);
    EXPECT_EQ(s.m_ctx.m_nAbort, 0);
    EXPECT_EQ(CheckDestination(s, dir / L"file"), 1);
    EXPECT_EQ(boxes.Texts().back(), L"解凍先は既に存在するファイルのため中止します");
    EXPECT_EQ(boxes.Messages().back().m_nButtons, BUTTONS_OK);
    EXPECT_EQ(boxes.Messages().back().m_nMark, MARK_WARNING);
    EXPECT_EQ(s.m_ctx.m_nAbort, 1);
    EXPECT_EQ(state.m_nErrorFlags, 0u);
}

TEST(SfxExtract, SelectedEntriesRecreateTheFoldersAbove)
{
    SfxScratch dir;
    TestEntry sub = Timed(TestEntry::Folder(u"sub", {TestEntry::File(u"b.txt", Bytes("bee")),
                                                     TestEntry::File(u"c.txt", Bytes("sea"))}),
                          T2, FILE_ATTRIBUTE_DIRECTORY);
    TestEntry docs = Timed(TestEntry::Folder(u"docs", {sub, TestEntry::File(u"a.txt", Bytes("a"))}), T1,
                           FILE_ATTRIBUTE_DIRECTORY);
    ASSERT_TRUE(WriteArchive(BuildTestArchive({docs}, {}), dir / L"s.zka"));

    OpenedArchive a(dir / L"s.zka");
    FakeDialogue& boxes = a.m_callback.Script();
    EntryNode* docsNode = a.Find(L"docs");
    ASSERT_NE(docsNode, nullptr);
    EntryNode* subNode = a.Find(L"sub", docsNode);
    ASSERT_NE(subNode, nullptr);
    ASSERT_EQ(SortChildren(*subNode), 2u);
    a.Find(L"b.txt", subNode)->m_bSelected = 1;
    a.m_session.m_request.m_listFolderChain = {docsNode, subNode};
    a.m_session.m_request.m_pFolder = subNode;
    a.m_session.m_request.m_strDestination = dir / L"out";
    a.m_session.m_ctx.Clear();
    EXPECT_EQ(ExtractSelectedWorker(a.m_session), 0);
    EXPECT_TRUE(boxes.Texts().empty());
    EXPECT_EQ(a.m_session.m_progress.m_nTotal.load(), 3u);
    EXPECT_EQ(SfxScratch::ReadBytes(dir / L"out\\docs\\sub\\b.txt"), Bytes("bee"));
    EXPECT_FALSE(SfxScratch::Exists(dir / L"out\\docs\\sub\\c.txt"));
    EXPECT_FALSE(SfxScratch::Exists(dir / L"out\\docs\\a.txt"));
    EXPECT_EQ(WriteTimeOf(dir / L"out\\docs\\sub"), T2);
    EXPECT_EQ(WriteTimeOf(dir / L"out\\docs"), T1);
}

TEST(SfxExtract, ChildrenSortFoldersFirstThenLogically)
{
    SfxScratch dir;
    std::vector<TestEntry> top = {TestEntry::File(u"file10", Bytes("x")), TestEntry::Folder(u"zeta"),
                                  TestEntry::File(u"file9", Bytes("x")), TestEntry::Folder(u"Alpha"),
                                  TestEntry::File(u"File1", Bytes("x"))};
    ASSERT_TRUE(WriteArchive(BuildTestArchive(top, {}), dir / L"sort.zka"));
    OpenedArchive a(dir / L"sort.zka");
    ASSERT_EQ(LoadChildrenInfo(a.m_session, a.m_state.m_root), 0);
    EXPECT_EQ(SortChildren(a.m_state.m_root), 5u);
    std::vector<std::wstring> names;
    for (EntryNode* c = a.m_state.m_root.m_pFirstChild; c; c = c->m_pNextSibling)
        names.push_back(c->m_pInfo->m_strName);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Alpha", L"zeta", L"File1", L"file9", L"file10"}));
}

TEST(SfxWorkers, AnalysisThenNoUiExtraction)
{
    SfxScratch dir;
    TestArchiveOptions o;
    o.m_nSfxFlags = SF_NO_UI | SF_SHOW_LIST;
    ASSERT_TRUE(WriteArchive(BuildTestArchive(MixedTree(), o), dir / L"n.zka"));
    OpenedArchive a(dir / L"n.zka", L"", false);
    FakeDialogue& boxes = a.m_callback.Script();
    ASSERT_TRUE(a.m_bOpened);
    ExtractRequest request;
    request.m_strDestination = dir / L"out";
    std::mutex lock;
    std::vector<int32_t> running;
    a.m_session.m_ctx.m_nRunning.m_watch = [&](int32_t value) {
        std::lock_guard<std::mutex> hold(lock);
        running.push_back(value);
    };
    ASSERT_TRUE(StartWorker(a.m_session, &AnalysisWorker, request));
    for (int i = 0; i < 1000 && (a.m_session.m_ctx.m_nRunning || a.m_callback.m_nCloses == 0); ++i)
        Sleep(10);
    EXPECT_EQ(a.m_session.m_ctx.m_nRunning, 0);
    // Set by the start and again by the hand-over, cleared once at the end:
    // the window, which frees the session when it reads 0, never sees it
    // clear while the extraction is still to come.
    {
        std::lock_guard<std::mutex> hold(lock);
        EXPECT_EQ(running, (std::vector<int32_t>{1, 1, 0}));
    }
    a.m_session.m_ctx.m_nRunning.m_watch = nullptr;
    EXPECT_EQ(a.m_callback.m_nTreeFills, 1);
    EXPECT_EQ(a.m_callback.m_nCloses, 1);
    EXPECT_EQ(a.m_callback.m_nEnables, 0);
    EXPECT_FALSE(a.m_callback.m_shownPaths.empty());
    EXPECT_TRUE(boxes.Texts().empty());
    ExpectMixedTree(dir / L"out");
}

// The window's calls where a worker can run out of memory.
class OutOfMemoryView : public FakeExtractCallback {
public:
    void RefreshSummary() override { throw std::bad_alloc(); }
    void ProgressStarted(uint32_t ms, bool bAnalysis) override
    {
        if (!bAnalysis) throw std::bad_alloc();
        FakeExtractCallback::ProgressStarted(ms, bAnalysis);
    }
};

// A worker out of memory shows the system's reason and ends its run; a
// window left waiting on it would show "解析中！！" for ever.
TEST(SfxWorkers, OutOfMemoryEndsTheRunWithItsReason)
{
    struct Case {
        const char* what;
        WorkerProc worker;
        uint32_t sfxFlags;
        int closes, enables;
        const wchar_t* status; // null: not looked at
    } cases[] = {
        {"analysis without a window", &AnalysisWorker, SF_NO_UI, 1, 0, nullptr},
        {"analysis", &AnalysisWorker, SF_SHOW_LIST, 1, 0, nullptr},
        {"extraction without a window", &ExtractAllWorker, SF_NO_UI, 1, 0, L"解凍失敗"},
        {"extraction", &ExtractAllWorker, 0, 0, 1, L"解凍失敗"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SfxScratch dir;
        TestArchiveOptions o;
        o.m_nSfxFlags = c.sfxFlags;
        ASSERT_TRUE(WriteArchive(BuildTestArchive(MixedTree(), o), dir / L"m.zka"));
        OpenedArchive a(dir / L"m.zka", L"", c.worker != &AnalysisWorker);
        ASSERT_TRUE(a.m_bOpened);
        OutOfMemoryView view;
        FakeDialogue& boxes = view.m_dialogue;
        a.m_session.m_pCallback = &view;
        ExtractRequest request;
        request.m_strDestination = dir / L"out";
        ASSERT_TRUE(StartWorker(a.m_session, c.worker, request));
        for (int i = 0; i < 1000 && a.m_session.m_ctx.m_nRunning; ++i)
            Sleep(10);
        ASSERT_EQ(a.m_session.m_ctx.m_nRunning, 0);

        const std::vector<std::wstring> texts = boxes.Texts();
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0].rfind(L"[Error:8] ", 0), 0u) << "the system's text for out of memory";
        EXPECT_EQ(Sources(boxes)[0], SOURCE_SYSTEM);
        // The error log says the same.
        EXPECT_EQ(L"[Error:8] " + a.m_session.m_ctx.m_strMessage, texts[0]);
        EXPECT_EQ(a.m_session.m_ctx.m_nFailed, 1);
        EXPECT_EQ(view.m_nCloses, c.closes);
        EXPECT_EQ(view.m_nEnables, c.enables);
        EXPECT_GE(view.m_nStops, 1) << "the progress timer left running";
        if (c.status) {
            EXPECT_EQ(a.m_session.m_status.Get(), c.status);
        }
        EXPECT_EQ(SfxScratch::List(dir.Path()), std::vector<std::wstring>{L"m.zka"});
    }
}

} // namespace
} // namespace zk::test

namespace zk::test {
namespace {

// A target another program holds open: Retry once it lets go writes the
// file; Cancel fails the entry with the system's reason in the log.
TEST(SfxExtract, LockedTargetRetryAndCancel)
{
    for (Answer answer : {ANSWER_RETRY, ANSWER_CANCEL}) {
        SfxScratch dir;
        ASSERT_TRUE(WriteArchive(BuildTestArchive({TestEntry::File(u"busy.txt", Bytes("mine"))}, {}),
                                 dir / L"l.zka"));
        std::wstring out = dir / L"out";
        CreateDirectoryW(out.c_str(), nullptr);
        SfxScratch::WriteBytes(out + L"\\busy.txt", Bytes("theirs"));
        HANDLE lock =
            CreateFileW((out + L"\\busy.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(lock, INVALID_HANDLE_VALUE);

        OpenedArchive a(dir / L"l.zka");
        a.m_callback.m_dialogue.SetAnswerer([&](const UserMessage& m) {
            if (m.m_nButtons == BUTTONS_RETRY_CANCEL) {
                if (answer == ANSWER_RETRY && lock != INVALID_HANDLE_VALUE) {
                    CloseHandle(lock);
                    lock = INVALID_HANDLE_VALUE;
                }
                return answer;
            }
            return m.m_nButtons == BUTTONS_YES_NO_CANCEL ? ANSWER_YES : ANSWER_OK;
        });
        int result = a.ExtractAll(out);
        const std::vector<UserMessage> messages = a.m_callback.m_dialogue.Messages();
        const std::vector<std::wstring> texts = a.m_callback.m_dialogue.Texts();
        if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);

        ASSERT_GE(texts.size(), 3u);
        EXPECT_EQ(messages[2].m_nButtons, BUTTONS_RETRY_CANCEL);
        EXPECT_EQ(messages[2].m_nMark, MARK_WARNING);
        EXPECT_NE(texts[2].find(L"\nファイル：" + out + L"\\busy.txt"), std::wstring::npos);
        if (answer == ANSWER_RETRY) {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(SfxScratch::ReadBytes(out + L"\\busy.txt"), Bytes("mine"));
        } else {
            EXPECT_EQ(result, 1);
            EXPECT_EQ(texts.size(), 3u); // no error flag, so no final message
            EXPECT_EQ(a.m_session.m_status.Get(), L"解凍失敗");
            EXPECT_EQ(a.m_session.m_ctx.m_strFailingPath, out + L"\\busy.txt");
            EXPECT_FALSE(a.m_session.m_ctx.m_strMessage.empty());
            EXPECT_EQ(SfxScratch::ReadBytes(out + L"\\busy.txt"), Bytes("theirs"));
        }
    }
}

// The log names the cause: the first failure that says where and why, not
// one that followed from it; every flag stays for the message order.
TEST(SfxFailure, FirstFailureWithPathOrMessageIsKept)
{
    ArchiveState state;
    WorkerContext ctx;
    RecordFailure(ctx, state, ERR_PASSWORD);
    EXPECT_EQ(RecordFailure(ctx, state, ERR_HASH, L"C:\\out\\a.txt", L"first"), 1);
    RecordFailure(ctx, state, ERR_READ, L"C:\\out", L"second");
    EXPECT_EQ(ctx.m_nFailed, 1);
    EXPECT_EQ(state.m_nErrorFlags, ERR_PASSWORD | ERR_HASH | ERR_READ);
    EXPECT_EQ(ctx.m_strFailingPath, L"C:\\out\\a.txt");
    EXPECT_EQ(ctx.m_strMessage, L"first");
}

TEST(SfxExtract, FolderChainsAreCreatedStepByStep)
{
    SfxScratch dir;
    FakeDialogue boxes;
    EXPECT_EQ(CreateFolderChain(dir / L"a\\b\\c\\", boxes), 0);
    EXPECT_TRUE(SfxScratch::Attributes(dir / L"a\\b\\c") & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(CreateFolderChain(dir / L"a\\b", boxes), 0);
    std::wstring deep = dir.Path();
    for (int i = 0; i < 8; ++i)
        deep += L"\\" + std::wstring(50, wchar_t(L'k' + i));
    EXPECT_EQ(CreateFolderChain(deep, boxes), 0);
    EXPECT_TRUE(SfxScratch::Exists(deep));

    SfxScratch::WriteBytes(dir / L"file", Bytes("x"));
    EXPECT_EQ(CreateFolderChain(dir / L"file\\below", boxes), 1);
    EXPECT_EQ(Sources(boxes), std::vector<MessageSource>{SOURCE_SYSTEM});
}

} // namespace
} // namespace zk::test

namespace zk::test {
namespace {

// A drive root is taken as it is: no question about it existing, and the
// entries land directly in it.
TEST(SfxExtract, IntoADriveRoot)
{
    SfxScratch dir;
    std::wstring name = L"zk_root_" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    ASSERT_TRUE(WriteArchive(
        BuildTestArchive({TestEntry::File(std::u16string(name.begin(), name.end()), Bytes("r"))}, {}),
        dir / L"root.zka"));
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    std::wstring root = std::wstring(system, 3); // "C:\" of this system
    OpenedArchive a(dir / L"root.zka");
    FakeDialogue& boxes = a.m_callback.Script();
    EXPECT_EQ(a.ExtractAll(root), 0);
    EXPECT_TRUE(boxes.Texts().empty());
    EXPECT_EQ(SfxScratch::ReadBytes(root + name), Bytes("r"));
    SetFileAttributesW((root + name).c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW((root + name).c_str());
}

} // namespace
} // namespace zk::test

namespace zk::test {
namespace {

TEST(SfxExtract, FolderChainStepsSkipDrivesAndShares)
{
    using Steps = std::vector<std::wstring>;
    struct Case {
        const wchar_t* m_pPath;
        Steps m_steps;
    } cases[] = {
        {L"C:\\a\\b", {L"C:\\a", L"C:\\a\\b"}},
        {L"C:\\a\\", {L"C:\\a"}},
        {L"C:\\", {}},
        {L"\\\\srv\\share\\x\\y", {L"\\\\srv\\share\\x", L"\\\\srv\\share\\x\\y"}},
        {L"\\\\srv\\share", {}},
        {L"\\\\srv\\share\\", {}},
        {L"D:\\a\\\\b", {L"D:\\a", L"D:\\a\\\\b"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FolderChainSteps(c.m_pPath), c.m_steps) << c.m_pPath;
}

} // namespace
} // namespace zk::test
