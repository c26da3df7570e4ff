#include <gtest/gtest.h>

#include "core/byte_io.h"
#include "sfx/engine/archive_open.h"
#include "sfx/engine/command_line.h"
#include "sfx/tests/sfx_test_support.h"

namespace zk::test {
namespace {

constexpr wchar_t MSG_NO_FILE[] = L"書庫ファイルは存在しません";
constexpr wchar_t MSG_NOT_ARCHIVE[] = L"書庫ファイルではありません";
constexpr wchar_t MSG_VERSION[] = L"書庫ファイルは非対応のバージョンです";
constexpr wchar_t MSG_NO_DATA[] = L"書庫データが格納されていません";
constexpr wchar_t MSG_PASSWORD[] = L"パスワードの入力に失敗しました";

struct OpenRun {
    OpenOutcome m_outcome = OpenOutcome::FAILED;
    int m_nPrompts = 0;
    bool m_bDialogRan = false;
    std::vector<std::wstring> m_boxes;
    std::vector<UserMessage> m_messages;
};

// Opens path as the extractor would when named on its command line (an
// empty path: the program itself). Each prompt types the next password; a
// missing one cancels.
OpenRun Open(const std::wstring& path, std::vector<std::wstring> passwords = {}, ArchiveState* keep = nullptr)
{
    ArchiveState local;
    ArchiveState& state = keep ? *keep : local;
    state.m_strArchivePath = path;
    WorkerContext ctx;
    FakeOpenCallback callback(std::move(passwords));
    OpenRun run;
    run.m_outcome = OpenArchive(ctx, state, ZK_SFX_EXE, callback);
    run.m_nPrompts = static_cast<int>(callback.m_nPrompts);
    run.m_bDialogRan = callback.m_nMainWindowRuns > 0;
    run.m_messages = callback.m_dialogue.Messages();
    run.m_boxes = callback.m_dialogue.Texts();
    return run;
}

std::vector<TestEntry> SmallTree()
{
    return {TestEntry::Folder(u"docs", {TestEntry::File(u"a.txt", Bytes("hello"))})};
}

TEST(SfxCommandLine, SplitsQuotedArgumentsAndTheLastOneWins)
{
    struct Case {
        const wchar_t* m_pLine;
        std::vector<std::wstring> m_args;
    } cases[] = {
        {L"sfx.exe", {L"sfx.exe"}},
        {L"\"C:\\Program Files\\sfx.exe\" a.zka", {L"C:\\Program Files\\sfx.exe", L"a.zka"}},
        {L"sfx.exe \"my \"\"big\"\" pack.zka\"", {L"sfx.exe", L"my \"big\" pack.zka"}},
        {L"sfx.exe  first.zka   second.exe ", {L"sfx.exe", L"first.zka", L"second.exe"}},
        {L"sfx.exe a.zka\nb.zka", {L"sfx.exe", L"a.zka"}},
        {L"sfx.exe \"unterminated name.zka", {L"sfx.exe", L"unterminated name.zka"}},
        {L"sfx.exe \"a\"b c\"", {L"sfx.exe", L"a\"b c"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SplitSfxCommandLine(c.m_pLine), c.m_args) << c.m_pLine;

    EXPECT_EQ(ArchivePathFromCommandLine(L"sfx.exe one.zka \"two words.zka\""), L"two words.zka");
    EXPECT_EQ(ArchivePathFromCommandLine(L"\"C:\\x\\sfx.exe\""), L"");
    std::wstring many = L"sfx.exe";
    for (int i = 1; i <= 20; ++i)
        many += L" a" + std::to_wstring(i);
    EXPECT_EQ(SplitSfxCommandLine(many.c_str()).size(), SFX_MAX_ARGUMENTS);
    EXPECT_EQ(ArchivePathFromCommandLine(many.c_str()), L"a15");
}

TEST(SfxOpening, TheBareProgramHasNoArchive)
{
    OpenRun run = Open(L"");
    EXPECT_EQ(run.m_outcome, OpenOutcome::FAILED);
    EXPECT_EQ(run.m_boxes, std::vector<std::wstring>{MSG_NO_DATA});
    ASSERT_EQ(run.m_messages.size(), 1u);
    EXPECT_EQ(run.m_messages[0].m_nSource, SOURCE_PROGRAM);
    EXPECT_EQ(run.m_messages[0].m_nButtons, BUTTONS_OK);
    EXPECT_EQ(run.m_messages[0].m_nMark, MARK_ERROR);
    EXPECT_EQ(run.m_nPrompts, 0);
}

TEST(SfxOpening, NamedFilesByExtension)
{
    SfxScratch dir;
    TestArchive a = BuildTestArchive(SmallTree(), {});
    ASSERT_TRUE(WriteArchive(a, dir / L"pack.ZKA"));
    ASSERT_TRUE(WriteArchive(a, dir / L"pack.dat"));

    OpenRun upper = Open(dir / L"pack.ZKA");
    EXPECT_EQ(upper.m_outcome, OpenOutcome::OPENED);
    EXPECT_TRUE(upper.m_bDialogRan);
    EXPECT_TRUE(upper.m_boxes.empty());

    EXPECT_EQ(Open(dir / L"pack.dat").m_boxes, std::vector<std::wstring>{MSG_NOT_ARCHIVE});
    EXPECT_EQ(Open(dir / L"missing.zka").m_boxes, std::vector<std::wstring>{MSG_NO_FILE});
    EXPECT_FALSE(Open(dir / L"missing.zka").m_bDialogRan);
}

TEST(SfxOpening, SelfExtractingArchiveBehindTheProgram)
{
    SfxScratch dir;
    TestArchiveOptions o;
    o.m_prefix = SfxScratch::ReadBytes(ZK_SFX_EXE);
    ASSERT_GT(o.m_prefix.size(), 4096u);
    o.m_strComment = u"写真です";
    TestArchive a = BuildTestArchive(SmallTree(), o);
    ASSERT_TRUE(WriteArchive(a, dir / L"photos.exe"));

    ArchiveState state;
    OpenRun run = Open(dir / L"photos.exe", {}, &state);
    EXPECT_EQ(run.m_outcome, OpenOutcome::OPENED);
    EXPECT_EQ(state.m_nPayloadOffset, o.m_prefix.size());
    EXPECT_EQ(state.m_strComment, L"写真です");
    EXPECT_EQ(state.m_nFileCount, 1u);
    EXPECT_EQ(state.m_nFolderCount, 1u);
    EXPECT_EQ(state.m_nTreeOffset, a.m_params.m_nTreeOffset);
    EXPECT_EQ(state.m_nDataOffset, a.m_params.m_nDataOffset);
}

TEST(SfxOpening, HeaderProblemsInTheirOrder)
{
    SfxScratch dir;
    TestArchiveOptions o;
    o.m_strPassword = "right";
    TestArchive a = BuildTestArchive(SmallTree(), o);
    ASSERT_TRUE(a.m_bOk);

    // A newer version is refused before anyone is asked for the password.
    TestArchive newer = a;
    StoreU16(newer.m_volumes[0].data() + a.m_nHeaderPos + 4, 103);
    ASSERT_TRUE(WriteArchive(newer, dir / L"newer.zka"));
    OpenRun run = Open(dir / L"newer.zka", {L"right"});
    EXPECT_EQ(run.m_boxes, std::vector<std::wstring>{MSG_VERSION});
    EXPECT_EQ(run.m_nPrompts, 0);

    TestArchive magic = a;
    magic.m_volumes[0][a.m_nHeaderPos] = 'X';
    ASSERT_TRUE(WriteArchive(magic, dir / L"magic.zka"));
    EXPECT_EQ(Open(dir / L"magic.zka").m_boxes, std::vector<std::wstring>{MSG_NOT_ARCHIVE});

    TestArchive cut = a;
    cut.m_volumes[0].resize(49);
    ASSERT_TRUE(WriteArchive(cut, dir / L"cut.zka"));
    EXPECT_EQ(Open(dir / L"cut.zka").m_boxes, std::vector<std::wstring>{MSG_NO_DATA});
}

TEST(SfxOpening, PasswordTries)
{
    SfxScratch dir;
    TestArchiveOptions o;
    o.m_strPassword = "abcdefghijklmnopqrst"; // 20 characters: only 16 make the key
    ASSERT_TRUE(WriteArchive(BuildTestArchive(SmallTree(), o), dir / L"p.zka"));

    OpenRun wrong = Open(dir / L"p.zka", {L"x", L"y", L"z", L"never asked"});
    EXPECT_EQ(wrong.m_nPrompts, 3);
    EXPECT_EQ(wrong.m_boxes, std::vector<std::wstring>{MSG_PASSWORD});
    EXPECT_FALSE(wrong.m_bDialogRan);

    OpenRun third = Open(dir / L"p.zka", {L"x", L"y", L"abcdefghijklmnopqrst"});
    EXPECT_EQ(third.m_nPrompts, 3);
    EXPECT_EQ(third.m_outcome, OpenOutcome::OPENED);
    EXPECT_TRUE(third.m_boxes.empty());

    OpenRun sharedPrefix = Open(dir / L"p.zka", {L"abcdefghijklmnopZZZZZZZ"});
    EXPECT_EQ(sharedPrefix.m_outcome, OpenOutcome::OPENED);

    OpenRun cancelled = Open(dir / L"p.zka", {L"x"});
    EXPECT_EQ(cancelled.m_nPrompts, 2);
    EXPECT_EQ(cancelled.m_outcome, OpenOutcome::FAILED);
    EXPECT_TRUE(cancelled.m_boxes.empty());
}

TEST(SfxOpening, ArchiveWithoutPasswordUsesItsTimeStamp)
{
    SfxScratch dir;
    TestArchive a = BuildTestArchive(SmallTree(), {});
    ASSERT_TRUE(WriteArchive(a, dir / L"plain.zka"));
    OpenRun run = Open(dir / L"plain.zka", {L"unused"});
    EXPECT_EQ(run.m_outcome, OpenOutcome::OPENED);
    EXPECT_EQ(run.m_nPrompts, 0);

    a.m_volumes[0][a.m_nHeaderPos + 18 + 5] ^= 0x40; // inside the check block
    ASSERT_TRUE(WriteArchive(a, dir / L"broken.zka"));
    run = Open(dir / L"broken.zka");
    EXPECT_EQ(run.m_nPrompts, 0);
    EXPECT_EQ(run.m_boxes, std::vector<std::wstring>{MSG_PASSWORD});
}

// Program files whose headers lie end the program without a word; nothing
// is read beyond what the headers can hold.
TEST(SfxOpening, HostileProgramHeadersEndSilently)
{
    SfxScratch dir;
    std::vector<uint8_t> sfx = SfxScratch::ReadBytes(ZK_SFX_EXE);
    ASSERT_GT(sfx.size(), 1024u);
    uint32_t nt = LoadU32(sfx.data() + 60);
    // The section table follows an optional header of 224 (32-bit program)
    // or 240 bytes (64-bit).
    uint32_t table = nt + 24 + LoadU16(sfx.data() + nt + 20);

    struct Case {
        const wchar_t* m_pName;
        std::function<void(std::vector<uint8_t>&)> m_damage;
    } cases[] = {
        {L"far.exe", [](std::vector<uint8_t>& b) { StoreU32(b.data() + 60, 0x7FFFFFF0); }},
        {L"negative.exe", [](std::vector<uint8_t>& b) { StoreU32(b.data() + 60, 0x80000000); }},
        {L"sections.exe", [nt](std::vector<uint8_t>& b) { StoreU16(b.data() + nt + 6, 0xFFFF); }},
        {L"nosections.exe", [nt](std::vector<uint8_t>& b) { StoreU16(b.data() + nt + 6, 0); }},
        {L"magic.exe", [nt](std::vector<uint8_t>& b) { StoreU16(b.data() + nt + 24, 0x107); }},
        {L"optional.exe", [nt](std::vector<uint8_t>& b) { StoreU16(b.data() + nt + 20, 20); }},
        {L"overflow.exe",
         [table](std::vector<uint8_t>& b) {
             uint8_t* s = b.data() + table;
             StoreU32(s + 16, 0xFFFFFF00);
             StoreU32(s + 20, 0x00001000);
         }},
        {L"tiny.exe", [](std::vector<uint8_t>& b) { b.resize(100); }},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = sfx;
        c.m_damage(bytes);
        ASSERT_TRUE(SfxScratch::WriteBytes(dir / c.m_pName, bytes));
        OpenRun run = Open(dir / c.m_pName);
        EXPECT_EQ(run.m_outcome, OpenOutcome::FAILED) << c.m_pName;
        EXPECT_TRUE(run.m_boxes.empty()) << c.m_pName;
    }
}

// The parameter section is read into fixed buffers and its counts size the
// tables: lengths and counts the file cannot back are refused.
TEST(SfxOpening, HostileParameterSection)
{
    SfxScratch dir;
    TestArchive a = BuildTestArchive(SmallTree(), {});
    ASSERT_TRUE(a.m_bOk);
    const uint64_t p = a.m_nParameterPos;

    TestArchive longText = a;
    StoreU16(longText.m_volumes[0].data() + p + 4, 0xFFF0); // destination length far above 4096
    TestArchive oddText = a;
    StoreU16(oddText.m_volumes[0].data() + p + 4, 7); // not whole blocks
    // Counts follow the four (empty) texts: flags 4 + lengths 8.
    TestArchive files = a;
    StoreU32(files.m_volumes[0].data() + p + 12, 0x10000000);
    TestArchive folders = a;
    StoreU32(folders.m_volumes[0].data() + p + 16, 0xFFFFFFFF);
    TestArchive tableOffset = a;
    StoreU64(tableOffset.m_volumes[0].data() + p + 42, 0xFFFFFFFFFFFFFF00ull);
    TestArchive cut = a;
    cut.m_volumes[0].resize(static_cast<size_t>(p + 30));

    int i = 0;
    for (TestArchive* t : {&longText, &oddText, &files, &folders, &tableOffset, &cut}) {
        std::wstring name = dir / (L"bad" + std::to_wstring(i++) + L".zka");
        ASSERT_TRUE(WriteArchive(*t, name));
        OpenRun run = Open(name);
        EXPECT_FALSE(run.m_bDialogRan) << i;
        EXPECT_EQ(run.m_boxes, std::vector<std::wstring>{MSG_NO_DATA}) << i;
    }
}

} // namespace
} // namespace zk::test
