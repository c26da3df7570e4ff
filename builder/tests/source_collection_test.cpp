// The collection's pieces: the entry filter, what counts as the build's own
// output, the work file's records and the tree order.

#include <gtest/gtest.h>

#include <cstring>

#include "builder/tests/build_harness.h"
#include "core/archive_key.h"
#include "core/file_io.h"
#include "core/last_error.h"
#include "core/long_path.h"

namespace zk::test {
namespace {

FileListing Entry(const wchar_t* name, DWORD attrs, uint64_t size = 0)
{
    FileListing d;
    d.m_strName = name;
    d.m_nAttributes = attrs;
    d.m_nSize = size;
    d.m_nCreationTime = 0x01D0000011111111ull;
    d.m_nAccessTime = 0x01D0000122222222ull;
    d.m_nWriteTime = 0x01D0000233333333ull;
    return d;
}

TEST(SourceCollection, EntryFilter)
{
    struct Case {
        const wchar_t* name;
        DWORD attrs;
        bool includeHidden;
        int expected;
    };
    const Case cases[] = {
        {L"a.txt", FILE_ATTRIBUTE_NORMAL, false, ENTRY_FILE},
        {L"dir", FILE_ATTRIBUTE_DIRECTORY, false, ENTRY_FOLDER},
        {L".", FILE_ATTRIBUTE_DIRECTORY, true, ENTRY_SKIP},
        {L"..", FILE_ATTRIBUTE_DIRECTORY, true, ENTRY_SKIP},
        {L"..", FILE_ATTRIBUTE_ARCHIVE, true, ENTRY_FILE}, // only folders named so are the links
        {L"h.txt", FILE_ATTRIBUTE_HIDDEN, false, ENTRY_SKIP},
        {L"h.txt", FILE_ATTRIBUTE_HIDDEN, true, ENTRY_FILE},
        {L"t.tmp", FILE_ATTRIBUTE_TEMPORARY, false, ENTRY_SKIP},
        {L"t.tmp", FILE_ATTRIBUTE_TEMPORARY, true, ENTRY_FILE},
        {L"hd", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN, false, ENTRY_SKIP},
        {L"hd", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN, true, ENTRY_FOLDER},
        {L"sys", FILE_ATTRIBUTE_SYSTEM, false, ENTRY_FILE},
        {L"link", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, false, ENTRY_FOLDER},
        {L"Thumbs.db", FILE_ATTRIBUTE_NORMAL, false, ENTRY_FILE},
    };
    RecordingOwner owner;
    BuildContext ctx(owner.Job());
    for (const Case& c : cases) {
        ctx.bIncludeHidden = c.includeHidden;
        EXPECT_EQ(ClassifyEntry(ctx, Entry(c.name, c.attrs)), c.expected)
            << std::string(c.name, c.name + wcslen(c.name)) << " attrs " << c.attrs;
    }
}

TEST(SourceCollection, BuildOutputIsRecognisedInAnyPathForm)
{
    RecordingOwner owner;
    BuildContext ctx(owner.Job());
    ctx.strArchivePath = L"C:\\out\\Pack.exe";
    ctx.strWorkPath = L"\\\\?\\C:\\out\\~ZK0123456789ABCDEF.TMP";
    struct Case {
        const wchar_t* path;
        bool expected;
    };
    const Case cases[] = {
        {L"C:\\out\\Pack.exe", true},        {L"c:\\OUT\\pack.EXE", true},
        {L"\\\\?\\C:\\out\\Pack.exe", true}, {L"C:\\out\\~ZK0123456789ABCDEF.TMP", true},
        {L"C:\\out\\Pack.exe.1", true},      {L"C:\\out\\Pack.exe.255", true},
        {L"C:\\out\\Pack.exe.", false},      {L"C:\\out\\Pack.exe.1a", false},
        {L"C:\\out\\Pack.exe1", false},      {L"C:\\out\\Pack.ex", false},
        {L"C:\\other\\Pack.exe", false},     {L"C:\\out\\~ZK0123456789ABCDEE.TMP", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsBuildOutput(ctx, c.path), c.expected) << std::string(c.path, c.path + wcslen(c.path));
}

// A context with a work file in a scratch folder.
struct WorkFileScene {
    ScratchFolder scratch;
    RecordingOwner owner;
    BuildContext ctx{owner.Job()};
    WorkFileScene()
    {
        ctx.strWorkPath = scratch.Path() + L"work.tmp";
        ctx.work.Reset(CreateFileW(ctx.strWorkPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   CREATE_ALWAYS, 0, nullptr));
        SetArchiveKey(L"0123456789abcdef");
    }
    ~WorkFileScene() { ClearArchiveKey(); }
    int64_t Position() { return static_cast<int64_t>(WorkRecords(ctx).Position()); }
};

TEST(SourceCollection, RecordsRoundTripThroughTheWorkFileAndKeepTheirPlace)
{
    WorkFileScene w;
    SourceNode a, b;
    BuildRecord first = NewInfoRecord(w.ctx, Entry(L"名前.txt", FILE_ATTRIBUTE_ARCHIVE, 0x123456789ull));
    first.pNode = &a;
    ASSERT_EQ(WriteInfoRecord(w.ctx, first), 0);
    EXPECT_EQ(a.nInfoOffset, 0u);
    // The data phase puts full paths in the name; only the last part is kept.
    BuildRecord second = NewInfoRecord(w.ctx, Entry(L"x", FILE_ATTRIBUTE_DIRECTORY));
    second.strName = L"C:\\some\\folder\\sub";
    second.pNode = &b;
    ASSERT_EQ(WriteInfoRecord(w.ctx, second), 0);
    EXPECT_EQ(b.nInfoOffset, first.nEncodedSize);
    EXPECT_EQ(first.nEncodedSize, 88u + 16u) << "6 UTF-16 units round up to 16 bytes";

    BuildRecord back;
    ASSERT_EQ(ReadInfoRecord(w.ctx, a.nInfoOffset, back), 0);
    EXPECT_EQ(back.strName, L"名前.txt");
    EXPECT_EQ(back.info.m_nSize, 0x123456789ull);
    EXPECT_EQ(back.info.m_nAttributes, static_cast<uint32_t>(FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(back.info.m_nCreationTime, 0x01D0000011111111ull);
    EXPECT_EQ(back.info.m_nAccessTime, 0x01D0000122222222ull);
    EXPECT_EQ(back.info.m_nWriteTime, 0x01D0000233333333ull);
    EXPECT_EQ(back.nEncodedSize, first.nEncodedSize);
    ASSERT_EQ(ReadInfoRecord(w.ctx, b.nInfoOffset, back), 0);
    EXPECT_EQ(back.strName, L"sub");

    // A rewrite in place with the stored size and hash filled in.
    BuildRecord update;
    ASSERT_EQ(ReadInfoRecord(w.ctx, a.nInfoOffset, update), 0);
    update.pNode = &a;
    update.info.m_nStoredSize = 777;
    update.info.m_hash[31] = 0xAB;
    update.info.m_nStartVolume = 3;
    SeekWork(w.ctx, a.nInfoOffset);
    ASSERT_EQ(WriteInfoRecord(w.ctx, update), 0);
    ASSERT_EQ(ReadInfoRecord(w.ctx, b.nInfoOffset, back), 0);
    EXPECT_EQ(back.strName, L"sub") << "the next record is intact";
    ASSERT_EQ(ReadInfoRecord(w.ctx, a.nInfoOffset, back), 0);
    EXPECT_EQ(back.info.m_nStoredSize, 777u);
    EXPECT_EQ(back.info.m_hash[31], 0xAB);
    EXPECT_EQ(back.info.m_nStartVolume, 3);

    // A name that would make the record longer than the one on disk is
    // refused before anything is written.
    update.strName = L"a much longer name than before.txt";
    SeekWork(w.ctx, a.nInfoOffset);
    MessageBoxRecorder boxes;
    EXPECT_EQ(WriteInfoRecord(w.ctx, update), 1);
    ASSERT_EQ(ReadInfoRecord(w.ctx, b.nInfoOffset, back), 0);
    EXPECT_EQ(back.strName, L"sub");
}

TEST(SourceCollection, CancelStopsRecordWritingAndTheFolderWalk)
{
    WorkFileScene w;
    SourceNode node;
    BuildRecord record = NewInfoRecord(w.ctx, Entry(L"a", 0));
    record.pNode = &node;
    w.owner.m_nBuildResult.store(BUILD_RESULT_ABORTED);
    EXPECT_EQ(WriteInfoRecord(w.ctx, record), 1);

    CreateDirectoryW((w.scratch.Path() + L"f").c_str(), nullptr);
    w.scratch.Write(L"f\\x.txt");
    SourceNode folder{NODE_FOLDER};
    EXPECT_EQ(CollectFolder(w.ctx, w.scratch.Path() + L"f", folder), 1);
    EXPECT_EQ(folder.pFirstChild, nullptr);
    EXPECT_EQ(w.ctx.nFileCount, 0u);
    EXPECT_EQ(w.Position(), 0);
}

// The tree of a folder with two files and an empty sub-folder, followed by
// a second top-level folder with one file.
TEST(SourceCollection, TreeOffsetsListByList)
{
    SourceNode root;
    auto* top1 = new SourceNode{NODE_FOLDER};
    auto* top2 = new SourceNode{NODE_FOLDER};
    auto* f1 = new SourceNode{NODE_FILE};
    auto* f2 = new SourceNode{NODE_FILE};
    auto* empty = new SourceNode{NODE_FOLDER};
    auto* g1 = new SourceNode{NODE_FILE};
    root.pFirstChild = top1;
    top1->pNext = top2;
    top1->pFirstChild = f1;
    f1->pNext = f2;
    f2->pNext = empty;
    top2->pFirstChild = g1;
    uint32_t counter = 0;
    ASSERT_EQ(AssignTreeOffsets(root, counter), 0);
    EXPECT_EQ(counter, 6u * 13);
    EXPECT_EQ(top1->nTreeOffset, 0u);
    EXPECT_EQ(top2->nTreeOffset, 13u);
    EXPECT_EQ(f1->nTreeOffset, 26u);
    EXPECT_EQ(f2->nTreeOffset, 39u);
    EXPECT_EQ(empty->nTreeOffset, 52u);
    EXPECT_EQ(g1->nTreeOffset, 65u);
    FreeTree(&root);
    EXPECT_EQ(root.pFirstChild, nullptr);
}

TEST(SourceCollection, OverlongPathEndsTheBuildWithAMessage)
{
    BuildScene s;
    std::wstring path = s.src + L"deep";
    const std::wstring part(200, L'd');
    CreateDirectoryW(path.c_str(), nullptr);
    std::wstring deep = path;
    while (deep.size() < 2100) {
        deep += L"\\" + part;
        ASSERT_TRUE(CreateDirectoryW(LongPathForm(deep).c_str(), nullptr));
    }
    s.Sources({path});
    s.Target(s.scratch.Path() + L"out.zka");
    BoxAnswers boxes;
    s.Build();
    EXPECT_EQ(s.Result(), BUILD_RESULT_FAILED);
    const auto all = boxes.Boxes();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].text.rfind(L"パスが長すぎるため", 0), 0u);
    EXPECT_EQ(BuildScene::WorkFilesIn(s.scratch.Path()), 0);
    // ScratchFolder cannot remove what it cannot name.
    while (deep.size() > path.size()) {
        RemoveDirectoryW(LongPathForm(deep).c_str());
        deep.resize(deep.find_last_of(L'\\'));
    }
}

TEST(SourceCollection, UnlistableFolderAsksAbortRetryOrIgnore)
{
    struct Case {
        const char* name;
        int answer;
        int result;
    };
    for (const Case c : {Case{"retry until it can be listed", IDRETRY, 0},
                         Case{"ignore: stored empty", IDIGNORE, 0}, Case{"abort", IDABORT, 1}}) {
        SCOPED_TRACE(c.name);
        WorkFileScene w;
        const std::wstring folder = w.scratch.Path() + L"later";
        int asked = 0;
        BoxAnswers boxes([&](const BoxAnswers::Box&) {
            // The second time round the folder is there: a retry finds it.
            if (++asked == 2 && c.answer == IDRETRY) {
                CreateDirectoryW(folder.c_str(), nullptr);
                w.scratch.Write(L"later\\in.txt");
            }
            return asked == 1 && c.answer == IDRETRY ? IDRETRY : c.answer;
        });
        SourceNode node{NODE_FOLDER};
        EXPECT_EQ(CollectFolder(w.ctx, folder, node), c.result);
        const auto all = boxes.Boxes();
        ASSERT_GE(all.size(), 1u);
        EXPECT_EQ(all[0].flags & MB_TYPEMASK, static_cast<UINT>(MB_ABORTRETRYIGNORE));
        EXPECT_EQ(all[0].caption, L"確認");
        const std::wstring suffix = L"\nフォルダ：" + folder;
        EXPECT_EQ(all[0].text.substr(all[0].text.size() - suffix.size()), suffix);
        EXPECT_GT(all[0].text.size(), suffix.size()) << "the system's text comes first";
        if (c.answer == IDRETRY) {
            ASSERT_NE(node.pFirstChild, nullptr);
            EXPECT_EQ(w.ctx.nFileCount, 1u);
        } else {
            EXPECT_EQ(node.pFirstChild, nullptr);
        }
        if (c.answer == IDABORT) {
            EXPECT_EQ(w.ctx.strFailingPath, folder);
            // The abort shows the system error box as well.
            ASSERT_EQ(all.size(), 2u);
            EXPECT_EQ(all[1].caption, L"Error Message");
        }
        FreeTree(&node);
    }
}

// What a link back into the tree looks like to the walk: a folder whose
// identity is already on the stack of folders being collected.
TEST(SourceCollection, FolderAlreadyBeingCollectedIsRefused)
{
    WorkFileScene w;
    const std::wstring folder = w.scratch.Path() + L"again";
    CreateDirectoryW(folder.c_str(), nullptr);
    w.scratch.Write(L"again\\x.txt");
    HANDLE h = CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    BY_HANDLE_FILE_INFORMATION info{};
    ASSERT_TRUE(GetFileInformationByHandle(h, &info));
    CloseHandle(h);

    SourceNode node{NODE_FOLDER};
    {
        BoxAnswers boxes;
        EXPECT_EQ(CollectFolder(w.ctx, folder, node), 0) << "a folder seen for the first time is walked";
        EXPECT_TRUE(boxes.Boxes().empty());
        EXPECT_TRUE(w.ctx.folderStack.empty()) << "the walk leaves the stack as it found it";
        EXPECT_EQ(w.ctx.nFileCount, 1u);
        FreeTree(&node);
    }
    w.ctx.folderStack.push_back(
        {info.dwVolumeSerialNumber, (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow});
    BoxAnswers boxes;
    EXPECT_EQ(CollectFolder(w.ctx, folder, node), 1);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_NE(boxes.Boxes()[0].text.find(L"フォルダのリンク"), std::wstring::npos);
    EXPECT_EQ(w.ctx.strFailingPath, folder);
    EXPECT_EQ(node.pFirstChild, nullptr);
}

// A listing that stops with an error part-way (a network share dropping)
// is not the end of the folder: only "no more files" is.
TEST(SourceCollection, ListingEndsOnlyWithNoMoreFiles)
{
    struct Case {
        const char* name;
        DWORD error;
        int result;
    };
    for (const Case c :
         {Case{"share gone", ERROR_NETNAME_DELETED, 1}, Case{"access denied", ERROR_ACCESS_DENIED, 1},
          Case{"the end", ERROR_NO_MORE_FILES, 0}}) {
        SCOPED_TRACE(c.name);
        WorkFileScene w;
        const std::wstring folder = w.scratch.Path() + L"share";
        CreateDirectoryW(folder.c_str(), nullptr);
        for (const wchar_t* name : {L"share\\1.txt", L"share\\2.txt", L"share\\3.txt"})
            w.scratch.Write(name);
        // ".", ".." and one file are listed, then the listing fails.
        int calls = 0;
        w.ctx.findNextFile = [&](zk::FolderLister& lister, zk::FileListing* entry) {
            if (++calls <= 2) return lister.Next(entry);
            SetLastError(c.error);
            return false;
        };
        BoxAnswers boxes;
        SourceNode node{NODE_FOLDER};
        EXPECT_EQ(CollectFolder(w.ctx, folder, node), c.result);
        const auto all = boxes.Boxes();
        if (c.result == 0) {
            EXPECT_TRUE(all.empty());
            EXPECT_TRUE(w.ctx.strFailureMessage.empty());
        } else {
            ASSERT_EQ(all.size(), 1u);
            EXPECT_EQ(all[0].caption, L"Error Message");
            const std::wstring prefix = L"[Error:" + std::to_wstring(c.error) + L"] ";
            EXPECT_EQ(all[0].text.compare(0, prefix.size(), prefix), 0);
            EXPECT_EQ(w.ctx.strFailingPath, folder);
            EXPECT_FALSE(w.ctx.strFailureMessage.empty());
            EXPECT_EQ(all[0].text.find(w.ctx.strFailureMessage), prefix.size())
                << "the log gets the system's text";
        }
        EXPECT_TRUE(w.ctx.folderStack.empty());
        FreeTree(&node);
    }
}

// The work file is full: the message that says so is the one the log gets,
// not whatever the system reported last.
TEST(SourceCollection, FullInfoTableKeepsItsOwnMessage)
{
    const std::wstring full = L"ﾌｧｲﾙ情報格納領域が一杯になりました。処理を中止します。";
    for (const bool topLevel : {true, false}) {
        SCOPED_TRACE(topLevel ? "a chosen file" : "a file in a chosen folder");
        WorkFileScene w;
        CreateDirectoryW((w.scratch.Path() + L"in").c_str(), nullptr);
        const std::wstring file = w.scratch.Write(L"in\\a.txt");
        SeekWork(w.ctx, 0xFFFFFFFF);
        SetLastError(ERROR_PATH_NOT_FOUND);
        GetLastErrorText();
        BoxAnswers boxes;
        SourceNode root;
        const int result = topLevel ? CollectSources(w.ctx, {file}, root)
                                    : CollectFolder(w.ctx, w.scratch.Path() + L"in", root);
        EXPECT_EQ(result, 1);
        const auto all = boxes.Boxes();
        ASSERT_EQ(all.size(), 1u);
        EXPECT_EQ(all[0].text, full);
        EXPECT_EQ(w.ctx.strFailureMessage, full);
        EXPECT_EQ(w.ctx.strFailingPath, file);
        FreeTree(&root);
    }
}

} // namespace
} // namespace zk::test
