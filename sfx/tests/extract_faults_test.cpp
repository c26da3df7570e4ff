// Extractions that meet faults: a destination disk that fills up, a volume
// that is missing, an abort in the middle of a file. Each run ends failed
// with its status text and the reason for the log; files extracted before
// the fault stay whole, no existing file is replaced unless the user agreed,
// and the file being written when the fault came is removed rather than
// left truncated under its real name.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "core/tests/win/test_disk.h"
#include "sfx/tests/sfx_test_support.h"

namespace zk::test {
namespace {

constexpr wchar_t STATUS_FAILED[] = L"解凍失敗";
constexpr wchar_t STATUS_ABORTED[] = L"解凍中止";

std::wstring Trimmed(std::wstring text)
{
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n'))
        text.pop_back();
    return text;
}

std::wstring SystemText(DWORD code)
{
    wchar_t* text = nullptr;
    FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring out = text ? text : L"";
    if (text) LocalFree(text);
    while (!out.empty() && (out.back() == L'\r' || out.back() == L'\n'))
        out.pop_back();
    return out;
}

TEST(SfxFaults, FullDestinationDiskKeepsWhatWasThereAndLeavesNoTruncatedFile)
{
    TestDisk disk(L"small");
    REQUIRE_DISK(disk);
    SfxScratch dir;
    // first.txt is extracted whole, mine.txt exists with other content and
    // the user keeps it, big.bin does not fit the disk.
    std::vector<TestEntry> files = {TestEntry::File(u"first.txt", TextBytes(40000), METHOD_DEFLATE),
                                    TestEntry::File(u"mine.txt", Bytes("from the archive")),
                                    TestEntry::File(u"big.bin", RandomBytes(3 * 1048576, 7), METHOD_LZ4),
                                    TestEntry::File(u"late.txt", Bytes("never reached"))};
    ASSERT_TRUE(WriteArchive(BuildHashed(files, {}), dir / L"full.zka"));
    const std::wstring out = disk.Folder() + L"out";
    CreateDirectoryW(out.c_str(), nullptr);
    ASSERT_TRUE(SfxScratch::WriteBytes(out + L"\\mine.txt", Bytes("the user's own")));
    ASSERT_TRUE(SfxScratch::WriteBytes(out + L"\\other.txt", Bytes("not in the archive")));

    // OK to the existing destination, No to replacing mine.txt.
    OpenedArchive a(dir / L"full.zka");
    FakeDialogue& boxes = a.m_callback.Script({ANSWER_OK, ANSWER_NO});
    ASSERT_TRUE(a.m_bOpened);
    EXPECT_EQ(a.ExtractAll(out), 1);
    const std::vector<std::wstring> texts = boxes.Texts();
    ASSERT_EQ(texts.size(), 2u) << "the two questions; a failed write shows no box of its own";
    EXPECT_NE(texts[1].find(L"mine.txt"), std::wstring::npos);

    const WorkerContext& ctx = a.m_session.m_ctx;
    EXPECT_EQ(ctx.m_nFailed, 1);
    EXPECT_EQ(ctx.m_nAbort, 0);
    EXPECT_EQ(ctx.m_nRunning, 0);
    EXPECT_EQ(a.m_session.m_status.Get(), STATUS_FAILED);
    EXPECT_EQ(ctx.m_strFailingPath, out + L"\\big.bin");
    EXPECT_EQ(Trimmed(ctx.m_strMessage), SystemText(ERROR_DISK_FULL)) << "the log says why";

    EXPECT_EQ(SfxScratch::ReadBytes(out + L"\\first.txt"), TextBytes(40000));
    EXPECT_EQ(SfxScratch::ReadBytes(out + L"\\mine.txt"), Bytes("the user's own"));
    EXPECT_EQ(SfxScratch::ReadBytes(out + L"\\other.txt"), Bytes("not in the archive"));
    EXPECT_FALSE(SfxScratch::Exists(out + L"\\big.bin")) << "a truncated file under its real name";
    EXPECT_FALSE(SfxScratch::Exists(out + L"\\late.txt")) << "extraction stops at the failed entry";

    // The log beside the archive: the two lines.
    EXPECT_EQ(WriteErrorLog(a.m_session, a.m_callback), 0);
    const std::vector<std::wstring> lines = LogLines(dir / L"full.log");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], L"ファイルパス：" + out + L"\\big.bin");
    EXPECT_EQ(lines[1], L"メッセージ　：" + SystemText(ERROR_DISK_FULL));
}

TEST(SfxFaults, MissingVolumeStopsWithTheSystemsReasonAndNoPartialFile)
{
    SfxScratch dir;
    TestArchiveOptions o;
    o.m_nVolumeSizeMB = 1;
    std::vector<TestEntry> files = {TestEntry::File(u"small.txt", TextBytes(1000)),
                                    TestEntry::File(u"spans.bin", RandomBytes(2200000, 8), METHOD_STORED),
                                    TestEntry::File(u"after.txt", Bytes("after"))};
    TestArchive arc = BuildHashed(files, o);
    ASSERT_TRUE(arc.m_bOk);
    ASSERT_GE(arc.m_volumes.size(), 3u);
    ASSERT_TRUE(WriteArchive(arc, dir / L"v.zka"));
    ASSERT_TRUE(DeleteFileW((dir / L"v.zka.2").c_str()));
    const std::wstring out = dir / L"out";

    OpenedArchive a(dir / L"v.zka");
    FakeDialogue& boxes = a.m_callback.Script({ANSWER_OK});
    ASSERT_TRUE(a.m_bOpened);
    EXPECT_EQ(a.ExtractAll(out), 1);
    const std::vector<std::wstring> texts = boxes.Texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(Sources(boxes)[0], SOURCE_SYSTEM);
    EXPECT_EQ(texts[0].rfind(L"[Error:2] ", 0), 0u) << "file not found, where it happened";
    EXPECT_EQ(a.m_session.m_status.Get(), STATUS_FAILED);
    EXPECT_EQ(a.m_session.m_ctx.m_strFailingPath, out + L"\\spans.bin");
    EXPECT_EQ(Trimmed(a.m_session.m_ctx.m_strMessage), SystemText(ERROR_FILE_NOT_FOUND));

    EXPECT_EQ(SfxScratch::ReadBytes(out + L"\\small.txt"), TextBytes(1000));
    EXPECT_FALSE(SfxScratch::Exists(out + L"\\spans.bin")) << "the part from the first volumes is not kept";
    EXPECT_FALSE(SfxScratch::Exists(out + L"\\after.txt"));
}

// A file written whole and checked against its hash, whose times the system
// refuses (a time before 1601 is no time at all): the failure is shown and
// logged and the run stops, but the file stays.
TEST(SfxFaults, RefusedTimesKeepTheWholeFile)
{
    SfxScratch dir;
    TestEntry odd = TestEntry::File(u"odd time.txt", TextBytes(20000));
    odd.m_nWriteTime = 0x8000000000000000ull;
    ASSERT_TRUE(WriteArchive(BuildHashed({TestEntry::File(u"first.txt", Bytes("first")), odd,
                                          TestEntry::File(u"late.txt", Bytes("late"))},
                                         {}),
                             dir / L"t.zka"));
    const std::wstring out = dir / L"out";

    OpenedArchive a(dir / L"t.zka");
    FakeDialogue& boxes = a.m_callback.Script();
    EXPECT_EQ(a.ExtractAll(out), 1);
    ASSERT_EQ(Sources(boxes), std::vector<MessageSource>{SOURCE_SYSTEM}) << "the system's reason, once";
    EXPECT_EQ(boxes.Texts()[0].rfind(L"[Error:", 0), 0u);
    EXPECT_EQ(a.m_session.m_status.Get(), STATUS_FAILED);
    EXPECT_EQ(SfxScratch::ReadBytes(out + L"\\odd time.txt"), TextBytes(20000)) << "a whole file is kept";
    EXPECT_EQ(SfxScratch::ReadBytes(out + L"\\first.txt"), Bytes("first"));
    EXPECT_FALSE(SfxScratch::Exists(out + L"\\late.txt")) << "extraction stops at the failed entry";

    EXPECT_EQ(WriteErrorLog(a.m_session, a.m_callback), 0);
    const std::vector<std::wstring> lines = LogLines(dir / L"t.log");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], L"ファイルパス：" + out + L"\\odd time.txt");
    EXPECT_EQ(lines[1].substr(0, 7), L"メッセージ　：");
    EXPECT_GT(lines[1].size(), 7u) << "with the system's text";
}

// An existing read-only file on a disk that takes no change: it cannot be
// made writable, so it is neither replaced nor removed.
TEST(SfxFaults, ReadOnlyFileThatCannotBeMadeWritable)
{
    TestDisk disk(L"readonly");
    REQUIRE_DISK(disk);
    const std::wstring out = disk.Folder().substr(0, disk.Folder().size() - 1);
    ASSERT_TRUE(SfxScratch::Attributes(out + L"\\locked.txt") & FILE_ATTRIBUTE_READONLY);
    const std::vector<uint8_t> before = SfxScratch::ReadBytes(out + L"\\locked.txt");
    SfxScratch dir;
    ASSERT_TRUE(WriteArchive(BuildTestArchive({TestEntry::File(u"locked.txt", Bytes("from the archive")),
                                               TestEntry::File(u"late.txt", Bytes("late"))},
                                              {}),
                             dir / L"r.zka"));

    // Into the existing folder, and Yes to replacing the file.
    OpenedArchive a(dir / L"r.zka");
    FakeDialogue& boxes = a.m_callback.Script({ANSWER_OK, ANSWER_YES, ANSWER_OK});
    EXPECT_EQ(a.ExtractAll(out), 1);
    const std::vector<MessageSource> sources = Sources(boxes);
    ASSERT_EQ(sources.size(), 4u);
    EXPECT_EQ(sources[2], SOURCE_SYSTEM) << "the system's reason where it happened";
    EXPECT_EQ(sources[3], SOURCE_PROGRAM);
    EXPECT_EQ(boxes.Texts()[3], L"読み取り専用ファイルのため上書きできません");
    EXPECT_EQ(a.m_session.m_status.Get(), STATUS_FAILED);
    EXPECT_EQ(a.m_session.m_ctx.m_strFailingPath, out + L"\\locked.txt");
    EXPECT_EQ(a.m_session.m_ctx.m_strMessage, L"読み取り専用ファイルのため上書きできません") << "for the log";
    EXPECT_EQ(SfxScratch::ReadBytes(out + L"\\locked.txt"), before);
    EXPECT_FALSE(SfxScratch::Exists(out + L"\\late.txt"));
}

TEST(SfxFaults, AbortInTheMiddleOfAFileRemovesThatFile)
{
    SfxScratch dir;
    // Stored pieces of 2 MiB: the abort lands between two of them.
    std::vector<TestEntry> files = {TestEntry::File(u"before.txt", TextBytes(5000)),
                                    TestEntry::File(u"huge.bin", RandomBytes(48 * 1048576, 9), METHOD_STORED),
                                    TestEntry::File(u"after.txt", Bytes("after"))};
    ASSERT_TRUE(WriteArchive(BuildTestArchive(files, {}), dir / L"a.zka"));
    const std::wstring out = dir / L"out";
    // An older copy of the file the user agreed to replace.
    CreateDirectoryW(out.c_str(), nullptr);
    ASSERT_TRUE(SfxScratch::WriteBytes(out + L"\\huge.bin", Bytes("old")));

    OpenedArchive a(dir / L"a.zka");
    FakeDialogue& boxes = a.m_callback.Script({ANSWER_OK, ANSWER_YES});
    ASSERT_TRUE(a.m_bOpened);
    // The abort button, pressed once the file is under way.
    std::atomic<bool> stop{false};
    std::thread button([&] {
        while (!stop && a.m_session.m_progress.m_nDone.load() <= 5000)
            std::this_thread::yield();
        a.m_session.m_ctx.m_nAbort = 1;
    });
    const int failed = a.ExtractAll(out);
    stop = true;
    button.join();

    EXPECT_EQ(failed, 1);
    EXPECT_EQ(a.m_session.m_ctx.m_nAbort, 1);
    EXPECT_EQ(a.m_session.m_status.Get(), STATUS_ABORTED);
    EXPECT_LT(a.m_session.m_progress.m_nDone.load(), 5000u + 48u * 1048576) << "stopped inside the file";
    EXPECT_EQ(boxes.Texts().size(), 2u) << "the two questions and nothing else";
    EXPECT_EQ(SfxScratch::ReadBytes(out + L"\\before.txt"), TextBytes(5000));
    EXPECT_FALSE(SfxScratch::Exists(out + L"\\huge.bin")) << "half a file under its real name";
    EXPECT_FALSE(SfxScratch::Exists(out + L"\\after.txt"));
}

} // namespace
} // namespace zk::test
