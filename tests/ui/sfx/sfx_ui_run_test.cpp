// Runs of the real extractor that do not simply succeed, driven through its
// windows: an abort in the middle of a large file, wrong passwords, a file
// whose hash differs, and the other answers its questions offer.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "core/byte_io.h"
#include "core/tests/test_archive.h"
#include "sfx_ui_archives.h"
#include "ui_driver.h"

namespace {

using zk::test::TestArchive;
using zk::test::TestArchiveOptions;
using zk::test::TestEntry;
using namespace zkui;

constexpr int IDC_DEST = 1001, IDC_PASSWORD = 1007, IDC_STATUS_LINE = 1000;
const std::wstring DIALOG = L"#32770";
constexpr wchar_t PASSWORD_CAPTION[] = L" ゼルコラ　パスワード入力";
constexpr wchar_t BUSY[] = L"処理中！！ しばらくお待ちください";
constexpr wchar_t ABORTED[] = L"解凍中止";
constexpr wchar_t FAILED[] = L"解凍失敗";
constexpr wchar_t ABORT[] = L"中止(&S)";
constexpr wchar_t FOLDER_EXISTS[] = L"解凍先フォルダが既に存在します。上書きしてもよろしいですか？";
constexpr wchar_t OVERWRITE[] = L"同名のファイルが既に存在します。上書きしてもよろしいですか？\nファイル：";

// Bytes done according to the progress line, while it counts bytes.
uint64_t BytesDone(HWND dialog)
{
    std::wstring line = ProgressLine(dialog);
    if (line.find(L" Byte (") == std::wstring::npos) return 0;
    return std::wcstoull(line.c_str(), nullptr, 10);
}

/*
 * A file of `mib` MiB whose stream is one LZ4 block repeated: the archive is
 * written with the entry's first MiB, whose stream is a length, the block
 * and a zero length; the block (compressed without history, so it stands on
 * its own) is then repeated, and the entry's sizes and the archive's total
 * follow. The entry's data must be the last of the archive.
 */
bool RepeatLz4Block(TestArchive& a, size_t entry, uint32_t mib)
{
    std::vector<uint8_t>& v = a.m_volumes[0];
    const zk::InfoRecord& info = a.m_info[entry];
    const uint64_t start = a.m_params.m_nDataOffset + info.m_nDataOffset;
    if (a.m_volumes.size() != 1 || info.m_nMethod != zk::METHOD_LZ4 || info.m_nSize != (1u << 20) ||
        start + info.m_nStoredSize != v.size())
        return false;
    const uint32_t block = zk::LoadU32(v.data() + start);
    if (4 + block + 4 != info.m_nStoredSize) return false;
    const std::vector<uint8_t> record(v.begin() + static_cast<ptrdiff_t>(start),
                                      v.begin() + static_cast<ptrdiff_t>(start + 4 + block));
    v.resize(static_cast<size_t>(start));
    for (uint32_t i = 0; i < mib; ++i)
        v.insert(v.end(), record.begin(), record.end());
    v.insert(v.end(), 4, 0);

    uint8_t* rec = v.data() + a.m_infoPos[entry];
    const uint64_t size = static_cast<uint64_t>(mib) << 20;
    zk::StoreU64(rec + 1, size);
    zk::StoreU64(rec + 39 + zk::RoundUp16(static_cast<uint32_t>(info.m_name.size())),
                 static_cast<uint64_t>(mib) * record.size() + 4);
    // The total follows the four texts and the two counts.
    uint64_t pos = a.m_nParameterPos + 4;
    for (int text = 0; text < 4; ++text)
        pos += 2 + zk::LoadU16(v.data() + pos);
    zk::StoreU64(v.data() + pos + 8, a.m_params.m_nTotalSize - info.m_nSize + size);
    return true;
}

// A small file, then nearly 4 GiB (seconds of writing even where a GiB takes
// half a second), then an empty file. A run is aborted long before its end.
TestArchive LargeArchive(uint32_t sfxFlags)
{
    std::vector<uint8_t> pattern(1u << 20);
    for (size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = static_cast<uint8_t>("packing folders into one archive "[i % 33] + i / 4096 % 7);
    TestArchiveOptions o;
    o.m_nSfxFlags = sfxFlags;
    o.m_strTitle = u"大きな書庫";
    TestArchive a = BuildSfx({TestEntry::File(u"a.txt", Bytes("small first")),
                              TestEntry::File(u"big.bin", std::move(pattern)), TestEntry::File(u"z.txt", {})},
                             o);
    if (a.m_bOk && !RepeatLz4Block(a, 1, 4000)) a.m_bOk = false;
    return a;
}

TEST(ExtractorRun, AbortInTheMiddleOfALargeFileKeepsNoHalfFile)
{
    Scratch dir;
    ASSERT_TRUE(dir.Write(L"large.exe", LargeArchive(0)));
    Program p(dir / L"large.exe", L"");
    HWND dialog = WaitMainWindow(p, L" 大きな書庫");
    ASSERT_TRUE(dialog);

    const std::wstring out = dir / L"out";
    StartExtraction(dialog, out);
    // Really running: bytes of the large file are being written.
    ASSERT_TRUE(WaitFor([&] { return BytesDone(dialog) > (4u << 20); })) << Narrow(ProgressLine(dialog));
    EXPECT_EQ(zkui::Text(GetDlgItem(dialog, IDOK)), ABORT);
    EXPECT_FALSE(Enabled(GetDlgItem(dialog, IDCANCEL)));
    EXPECT_FALSE(Enabled(GetDlgItem(dialog, IDC_DEST)));

    // The close box does not end the window under a running extraction.
    DWORD_PTR ignored = 0;
    ASSERT_TRUE(SendMessageTimeoutW(dialog, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored));
    EXPECT_TRUE(IsWindowVisible(dialog));
    const uint64_t before = BytesDone(dialog);
    EXPECT_TRUE(WaitFor([&] { return BytesDone(dialog) > before; }, 5000))
        << "the run stopped on the close box";

    // The relabelled extract button asks the run to stop.
    ASSERT_TRUE(SendMessageTimeoutW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                                    reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)), SMTO_ABORTIFHUNG,
                                    5000, &ignored));
    ASSERT_TRUE(WaitRunOver(dialog, 10000)) << "the run did not stop";
    EXPECT_EQ(ProgressLine(dialog), ABORTED);
    EXPECT_FALSE(p.FindWindowOf(DIALOG, L"エラー"));

    // What was written whole stays; the cut file and what follows are not there.
    EXPECT_EQ(dir.List(L"out"), std::vector<std::wstring>{L"a.txt"});
    EXPECT_EQ(Content(out + L"\\a.txt"), "small first");
    // Nothing beside the destination, no error log for an abort.
    EXPECT_EQ(dir.List(), (std::vector<std::wstring>{L"large.exe", L"out", L"out\\a.txt"}));

    Click(GetDlgItem(dialog, IDCANCEL));
    EXPECT_TRUE(p.WaitExit(10000));
}

// The system's error boxes have no owner, so the window stays usable under
// one: an abort asked for while the worker waits there shows the wait text
// for as long as the worker has not stopped.
TEST(ExtractorRun, AbortUnderAnErrorBoxWaitsForTheWorker)
{
    Scratch dir;
    TestArchiveOptions o;
    o.m_nVolumeSizeMB = 1;
    o.m_strTitle = u"分割";
    TestArchive a = BuildSfx({TestEntry::File(u"a.txt", Bytes("small first")),
                              TestEntry::File(u"big.bin", Prose(1200000), zk::METHOD_STORED)},
                             o);
    ASSERT_TRUE(a.m_bOk);
    ASSERT_EQ(a.m_volumes.size(), 2u);
    ASSERT_TRUE(dir.Write(L"split.exe", a.m_volumes[0])); // the second volume is not there

    Program p(dir / L"split.exe", L"");
    HWND dialog = WaitMainWindow(p, L" 分割");
    ASSERT_TRUE(dialog);
    const std::wstring out = dir / L"out";
    StartExtraction(dialog, out);
    Question error = NextQuestion(p, L"Error Message");
    ASSERT_TRUE(error.m_hBox);
    EXPECT_TRUE(Enabled(GetDlgItem(dialog, IDOK)));
    Click(GetDlgItem(dialog, IDOK)); // "中止(&S)"
    EXPECT_TRUE(WaitFor([&] { return ProgressLine(dialog) == BUSY; }, 5000)) << Narrow(ProgressLine(dialog));
    // Still so once the window has taken the abort (the button goes) and
    // handled what followed, while the worker waits for the box.
    EXPECT_TRUE(WaitFor([&] { return !Enabled(GetDlgItem(dialog, IDOK)); }, 5000));
    EXPECT_TRUE(Settle(dialog));
    EXPECT_EQ(ProgressLine(dialog), BUSY);
    EXPECT_FALSE(RunIsOver(dialog));
    EXPECT_TRUE(IsWindowVisible(error.m_hBox));

    Reply(error.m_hBox, IDOK);
    ASSERT_TRUE(WaitRunOver(dialog));
    // An abort: no message of the archive's, no log; the cut file is gone.
    EXPECT_EQ(ProgressLine(dialog), ABORTED);
    EXPECT_FALSE(p.FindWindowOf(DIALOG, L"エラー"));
    EXPECT_EQ(dir.List(), (std::vector<std::wstring>{L"out", L"out\\a.txt", L"split.exe"}));
    Click(GetDlgItem(dialog, IDCANCEL));
    EXPECT_TRUE(p.WaitExit(10000));
}

TEST(ExtractorRun, AbortWithoutAWindowEndsTheProgram)
{
    for (bool whileWriting : {true, false}) {
        SCOPED_TRACE(whileWriting ? "while writing" : "during the analysis");
        Scratch dir;
        ASSERT_TRUE(dir.Write(L"quiet.exe", LargeArchive(zk::SF_NO_UI)));
        Program p(dir / L"quiet.exe", L"");
        HWND dialog = p.WaitWindow(DIALOG, L"");
        ASSERT_TRUE(dialog);
        if (whileWriting) {
            ASSERT_TRUE(WaitFor([&] { return BytesDone(dialog) > (4u << 20); }))
                << Narrow(ProgressLine(dialog));
            // The line names the file being written (refreshed on a timer).
            EXPECT_TRUE(WaitFor(
                [&] {
                    return zkui::Text(GetDlgItem(dialog, IDC_STATUS_LINE)).find(L"big.bin") !=
                           std::wstring::npos;
                },
                5000));
        }
        // "中止(&C)". Pressed during the analysis, it must also stop the
        // extraction the analysis hands over to.
        Click(GetDlgItem(dialog, IDCANCEL));
        ASSERT_TRUE(p.WaitExit(10000)) << "still running after the abort";
        std::vector<std::wstring> left = dir.List();
        EXPECT_EQ(std::count(left.begin(), left.end(), L"quiet\\big.bin"), 0);
        if (whileWriting) {
            EXPECT_EQ(left, (std::vector<std::wstring>{L"quiet", L"quiet.exe", L"quiet\\a.txt"}));
        }
    }
}

// Without a window the close button waits for the workers to stop; the
// analysis sends to the window (the folder tree) as it ends, so the window
// must go on handling messages while it waits. Many folders make the
// analysis long enough to press "中止(&C)" in the middle of it.
TEST(ExtractorRun, AbortWithoutAWindowDuringALongAnalysis)
{
    Scratch dir;
    TestArchiveOptions o;
    o.m_nSfxFlags = zk::SF_NO_UI | zk::SF_SHOW_LIST;
    ASSERT_TRUE(WriteSfx(dir, L"many.exe", ManyFolders(20000), o));
    Program p(dir / L"many.exe", L"");
    HWND dialog = p.WaitWindow(DIALOG, L"");
    ASSERT_TRUE(dialog);
    Click(GetDlgItem(dialog, IDCANCEL));
    EXPECT_TRUE(p.WaitExit(15000)) << "still running after the abort";
    // Ended before the extraction began.
    EXPECT_EQ(dir.List(), std::vector<std::wstring>{L"many.exe"});
}

TEST(ExtractorRun, PasswordDialogAllowsThreeTries)
{
    struct Case {
        const char* m_pWhat;
        std::vector<std::wstring> m_typed; // L"" presses Cancel instead
        bool m_bOpens;
        const wchar_t* m_pMessage; // the box the program ends with, or null
    } cases[] = {
        {"right at the third try", {L"kagi!", L"KAGI", L"kagi"}, true, nullptr},
        {"wrong three times", {L"a", L"b", L"c"}, false, L"パスワードの入力に失敗しました"},
        {"cancelled at the second try", {L"a", L""}, false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_pWhat);
        Scratch dir;
        TestArchiveOptions o;
        o.m_strPassword = "kagi";
        o.m_strTitle = u"鍵付き";
        const std::vector<uint8_t> big = Prose(300000);
        ASSERT_TRUE(WriteSfx(dir, L"locked.exe",
                             {TestEntry::File(u"big.txt", big, zk::METHOD_DEFLATE),
                              TestEntry::Folder(u"写真", {TestEntry::File(u"旅行.txt", Bytes("trip"))})},
                             o));
        Program p(dir / L"locked.exe", L"");
        HWND previous = nullptr;
        for (const std::wstring& typed : c.m_typed) {
            // Each try is a new dialog; a wrong password shows nothing else.
            HWND ask = nullptr;
            ASSERT_TRUE(WaitFor([&] {
                ask = p.FindWindowOf(DIALOG, PASSWORD_CAPTION);
                return ask && ask != previous;
            })) << "no password dialog";
            EXPECT_FALSE(p.FindWindowOf(DIALOG, L"エラー"));
            previous = ask;
            if (typed.empty()) {
                Click(GetDlgItem(ask, IDCANCEL));
                break;
            }
            SetText(GetDlgItem(ask, IDC_PASSWORD), typed);
            Click(GetDlgItem(ask, IDOK));
        }
        if (c.m_pMessage) {
            HWND box = p.WaitBox(L"エラー");
            ASSERT_TRUE(box);
            EXPECT_EQ(MessageBoxText(box), c.m_pMessage);
            Answer(box, IDOK);
        }
        if (!c.m_bOpens) {
            EXPECT_TRUE(p.WaitExit(10000));
            EXPECT_EQ(dir.List(), std::vector<std::wstring>{L"locked.exe"});
            continue;
        }
        HWND dialog = WaitMainWindow(p, L" 鍵付き");
        ASSERT_TRUE(dialog);
        const std::wstring out = dir / L"out";
        StartExtraction(dialog, out);
        ASSERT_TRUE(WaitFor([&] { return FileExists(out + L"\\big.txt") && RunIsOver(dialog); }));
        EXPECT_TRUE(ReadWholeFile(out + L"\\big.txt") == std::string(big.begin(), big.end()));
        EXPECT_EQ(Content(out + L"\\写真\\旅行.txt"), "trip");
        Click(GetDlgItem(dialog, IDCANCEL));
        EXPECT_TRUE(p.WaitExit(10000));
    }
}

TEST(ExtractorRun, HashMismatchIsReportedAndLogged)
{
    Scratch dir;
    TestArchiveOptions o;
    o.m_bHash = true;
    o.m_strTitle = u"検査付き";
    TestArchive a =
        BuildSfx({TestEntry::File(u"a.txt", Bytes("alpha")), TestEntry::File(u"b.txt", Prose(5000)),
                  TestEntry::File(u"c.txt", Bytes("charlie"))},
                 o);
    ASSERT_TRUE(a.m_bOk);
    // The stored SHA-256 of b.txt no longer matches its (sound) data.
    a.m_volumes[0][a.m_infoPos[1] + 47 + zk::RoundUp16(static_cast<uint32_t>(a.m_info[1].m_name.size()))] ^=
        1;
    ASSERT_TRUE(dir.Write(L"checked.exe", a));

    Program p(dir / L"checked.exe", L"");
    HWND dialog = WaitMainWindow(p, L" 検査付き");
    ASSERT_TRUE(dialog);
    const std::wstring out = dir / L"out";
    StartExtraction(dialog, out);
    HWND box = p.WaitBox(L"エラー");
    ASSERT_TRUE(box);
    EXPECT_EQ(MessageBoxText(box), L"ハッシュ値が一致しません");
    Answer(box, IDOK);
    ASSERT_TRUE(WaitRunOver(dialog));
    EXPECT_EQ(ProgressLine(dialog), FAILED);

    // The file stays as written; the run stopped there.
    const std::vector<uint8_t> b = Prose(5000);
    EXPECT_TRUE(ReadWholeFile(out + L"\\b.txt") == std::string(b.begin(), b.end()));
    EXPECT_EQ(Content(out + L"\\a.txt"), "alpha");
    EXPECT_FALSE(FileExists(out + L"\\c.txt"));

    // The log beside the archive names the file and the message, and is shown.
    EXPECT_TRUE(EndLogViewer(p)) << "the log was not opened";
    EXPECT_EQ(ReadLog(dir / L"checked.log"),
              L"ファイルパス：" + out + L"\\b.txt\r\nメッセージ　：ハッシュ値が一致しません\r\n");
    EXPECT_EQ(dir.List(), (std::vector<std::wstring>{L"checked.exe", L"checked.log", L"out", L"out\\a.txt",
                                                     L"out\\b.txt"}));
    Click(GetDlgItem(dialog, IDCANCEL));
    EXPECT_TRUE(p.WaitExit(10000));
}

// Streams holding more or fewer bytes than their records say (a builder
// whose source changed while it read) and kind bytes other than 0 and 1:
// quiet and windowed, every entry comes out as stored, no error is shown,
// and the window's log lists the differences of size.
TEST(ExtractorRun, EntriesOfAnotherSizeOrKindExtractAsStored)
{
    auto sized = [](TestEntry e, int64_t recorded) {
        e.m_nRecordedSize = recorded;
        return e;
    };
    auto kind = [](TestEntry e, int k) {
        e.m_nKind = k;
        return e;
    };
    const std::vector<uint8_t> longer = Prose(300000), shorter = Prose(7000);
    for (uint32_t flags : {0u, static_cast<uint32_t>(zk::SF_NO_UI)}) {
        SCOPED_TRACE(flags ? "quiet" : "windowed");
        Scratch dir;
        TestArchiveOptions o;
        o.m_bHash = true;
        o.m_nSfxFlags = flags;
        o.m_strTitle = u"大きさ違い";
        ASSERT_TRUE(WriteSfx(dir, L"sizes.exe",
                             {sized(TestEntry::File(u"longer.txt", longer), 1000),
                              sized(TestEntry::File(u"shorter.txt", shorter, zk::METHOD_DEFLATE), 9000),
                              kind(TestEntry::File(u"kind ff.txt", Bytes("ff")), 0xFF),
                              kind(TestEntry::File(u"kind 3.txt", Bytes("three")), 3)},
                             o));

        Program p(dir / L"sizes.exe", L"");
        std::wstring out = dir / L"sizes";
        if (flags) {
            ASSERT_TRUE(p.WaitExit(20000)) << "the window did not close itself";
        } else {
            HWND dialog = WaitMainWindow(p, L" 大きさ違い");
            ASSERT_TRUE(dialog);
            out = dir / L"out";
            StartExtraction(dialog, out);
            ASSERT_TRUE(WaitRunOver(dialog));
            EXPECT_EQ(ProgressLine(dialog).rfind(L"完了 [", 0), 0u) << Narrow(ProgressLine(dialog));
            EXPECT_FALSE(p.FindWindowOf(DIALOG, L"エラー"));
            EXPECT_TRUE(EndLogViewer(p)) << "the log was not opened";
            auto notice = [&](const wchar_t* name, const wchar_t* recorded, const wchar_t* extracted) {
                return L"ファイルパス：" + out + L"\\" + name +
                       L"\r\nメッセージ　：書庫に記録されたサイズ（" + recorded +
                       L" バイト）と解凍したサイズ（" + extracted + L" バイト）が異なります\r\n";
            };
            EXPECT_EQ(ReadLog(dir / L"sizes.log"),
                      notice(L"longer.txt", L"1000", L"300000") + notice(L"shorter.txt", L"9000", L"7000"));
            Click(GetDlgItem(dialog, IDCANCEL));
            EXPECT_TRUE(p.WaitExit(10000));
        }
        EXPECT_TRUE(ReadWholeFile(out + L"\\longer.txt") == std::string(longer.begin(), longer.end()));
        EXPECT_TRUE(ReadWholeFile(out + L"\\shorter.txt") == std::string(shorter.begin(), shorter.end()));
        EXPECT_EQ(Content(out + L"\\kind ff.txt"), "ff");
        EXPECT_EQ(Content(out + L"\\kind 3.txt"), "three");
    }
}

// One window, several runs into the same folder, each question answered
// another way: nothing the user declined may change.
TEST(ExtractorRun, EveryAnswerToItsQuestionsKeepsWhatItShould)
{
    Scratch dir;
    TestArchiveOptions o;
    o.m_strTitle = u"問い";
    ASSERT_TRUE(
        WriteSfx(dir, L"ask.exe",
                 {TestEntry::File(u"a.txt", Bytes("alpha")), TestEntry::File(u"b.txt", Bytes("bravo")),
                  TestEntry::File(u"c.txt", Bytes("charlie"))},
                 o));
    Program p(dir / L"ask.exe", L"");
    HWND dialog = WaitMainWindow(p, L" 問い");
    ASSERT_TRUE(dialog);
    const std::wstring out = dir / L"out";
    auto mine = [&](const wchar_t* name) {
        return WriteBytes(out + L"\\" + name, Bytes(std::string("mine-") + Narrow(name)));
    };
    auto contents = [&] {
        return std::vector<std::string>{Content(out + L"\\a.txt"), Content(out + L"\\b.txt"),
                                        Content(out + L"\\c.txt")};
    };
    using Texts = std::vector<std::string>;

    StartExtraction(dialog, out);
    ASSERT_TRUE(WaitFor([&] { return FileExists(out + L"\\c.txt") && RunIsOver(dialog); }));
    EXPECT_EQ(contents(), (Texts{"alpha", "bravo", "charlie"}));
    ASSERT_TRUE(mine(L"a.txt") && mine(L"b.txt") && mine(L"c.txt"));

    {
        SCOPED_TRACE("the folder question cancelled");
        Click(GetDlgItem(dialog, IDOK));
        Question q = NextQuestion(p);
        ASSERT_TRUE(q.m_hBox);
        EXPECT_EQ(q.m_strText, FOLDER_EXISTS);
        Reply(q.m_hBox, IDCANCEL);
        ASSERT_TRUE(WaitRunOver(dialog));
        EXPECT_EQ(ProgressLine(dialog), ABORTED);
        EXPECT_EQ(contents(), (Texts{"mine-a.txt", "mine-b.txt", "mine-c.txt"}));
    }
    {
        SCOPED_TRACE("No to the first file, Cancel to the second");
        Click(GetDlgItem(dialog, IDOK));
        Question q = NextQuestion(p);
        ASSERT_TRUE(q.m_hBox);
        Reply(q.m_hBox, IDOK);
        q = NextQuestion(p);
        ASSERT_TRUE(q.m_hBox);
        EXPECT_EQ(q.m_strText, OVERWRITE + out + L"\\a.txt");
        // Yes, No and Cancel.
        EXPECT_TRUE(GetDlgItem(q.m_hBox, IDYES) && GetDlgItem(q.m_hBox, IDNO) &&
                    GetDlgItem(q.m_hBox, IDCANCEL));
        Reply(q.m_hBox, IDNO);
        q = NextQuestion(p);
        ASSERT_TRUE(q.m_hBox);
        EXPECT_EQ(q.m_strText, OVERWRITE + out + L"\\b.txt");
        Reply(q.m_hBox, IDCANCEL);
        ASSERT_TRUE(WaitRunOver(dialog));
        EXPECT_EQ(ProgressLine(dialog), ABORTED);
        EXPECT_FALSE(p.FindWindowOf(DIALOG, L"エラー"));
        EXPECT_EQ(contents(), (Texts{"mine-a.txt", "mine-b.txt", "mine-c.txt"}));
    }
    {
        SCOPED_TRACE("No to the first file, Yes to the second");
        Click(GetDlgItem(dialog, IDOK));
        Question q = NextQuestion(p);
        ASSERT_TRUE(q.m_hBox);
        Reply(q.m_hBox, IDOK);
        q = NextQuestion(p);
        ASSERT_TRUE(q.m_hBox);
        Reply(q.m_hBox, IDNO);
        q = NextQuestion(p);
        ASSERT_TRUE(q.m_hBox);
        Reply(q.m_hBox, IDYES);
        // Yes covers the rest of the run; the skipped file counts as done.
        ASSERT_TRUE(WaitRunOver(dialog));
        EXPECT_EQ(ProgressLine(dialog).rfind(L"完了 [", 0), 0u) << Narrow(ProgressLine(dialog));
        EXPECT_EQ(contents(), (Texts{"mine-a.txt", "bravo", "charlie"}));
    }

    // A file another program holds open: Retry while it is held asks
    // again; Retry after it was let go writes it; Cancel leaves it alone.
    for (int last : {IDRETRY, IDCANCEL}) {
        SCOPED_TRACE(last == IDRETRY ? "held file, Retry" : "held file, Cancel");
        ASSERT_TRUE(mine(L"c.txt"));
        HANDLE held =
            CreateFileW((out + L"\\c.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        Click(GetDlgItem(dialog, IDOK));
        Question q = NextQuestion(p);
        ASSERT_TRUE(q.m_hBox);
        Reply(q.m_hBox, IDOK);
        q = NextQuestion(p);
        ASSERT_TRUE(q.m_hBox);
        Reply(q.m_hBox, IDYES);
        // The system's text as it comes, line end included.
        const std::wstring locked =
            SystemErrorText(ERROR_SHARING_VIOLATION) + L"\nファイル：" + out + L"\\c.txt";
        q = NextQuestion(p);
        ASSERT_TRUE(q.m_hBox);
        EXPECT_EQ(q.m_strText, locked);
        EXPECT_TRUE(GetDlgItem(q.m_hBox, IDRETRY) && GetDlgItem(q.m_hBox, IDCANCEL));
        Reply(q.m_hBox, IDRETRY);
        q = NextQuestion(p);
        ASSERT_TRUE(q.m_hBox) << "Retry on a file still held did not ask again";
        EXPECT_EQ(q.m_strText, locked);
        CloseHandle(held);
        Reply(q.m_hBox, last);
        ASSERT_TRUE(WaitRunOver(dialog));
        if (last == IDRETRY) {
            EXPECT_EQ(ProgressLine(dialog).rfind(L"完了 [", 0), 0u) << Narrow(ProgressLine(dialog));
            EXPECT_EQ(contents(), (Texts{"alpha", "bravo", "charlie"}));
        } else {
            // A failed run, not an abort: it is logged.
            EXPECT_EQ(ProgressLine(dialog), FAILED);
            EXPECT_EQ(Content(out + L"\\c.txt"), "mine-c.txt");
            EXPECT_TRUE(EndLogViewer(p));
            EXPECT_EQ(ReadLog(dir / L"ask.log").rfind(L"ファイルパス：" + out + L"\\c.txt\r\n", 0), 0u);
        }
    }

    {
        SCOPED_TRACE("a file as the destination");
        const std::wstring file = dir / L"note.txt";
        ASSERT_TRUE(WriteBytes(file, Bytes("note")));
        StartExtraction(dialog, file);
        Question q = NextQuestion(p);
        ASSERT_TRUE(q.m_hBox);
        EXPECT_EQ(q.m_strText, L"解凍先は既に存在するファイルのため中止します");
        Reply(q.m_hBox, IDOK);
        ASSERT_TRUE(WaitRunOver(dialog));
        EXPECT_EQ(ProgressLine(dialog), ABORTED);
        EXPECT_EQ(Content(file), "note");
    }
    Click(GetDlgItem(dialog, IDCANCEL));
    EXPECT_TRUE(p.WaitExit(10000));
}

} // namespace
