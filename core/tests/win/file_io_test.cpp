#include "core/file_io.h"

#include "core/last_error.h"
#include "core/long_path.h"
#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <string>

namespace zk {
namespace {

TEST(OpenFile, ModeZeroLetsOthersReadModeOneDeniesThem)
{
    test::ScratchFolder dir;
    const std::wstring path = dir.Write(L"a.bin", "abc");

    FileHandle reader(OpenFile(path.c_str(), OPENMODE_READ));
    ASSERT_TRUE(reader);
    FileHandle second(OpenFile(path.c_str(), OPENMODE_READ));
    EXPECT_TRUE(second) << "mode 0 shares reading";
    FileHandle writer(OpenFile(path.c_str(), OPENMODE_EXISTING));
    EXPECT_FALSE(writer) << "mode 0 does not share writing";
    reader.Reset();
    second.Reset();

    FileHandle exclusive(OpenFile(path.c_str(), OPENMODE_CREATE));
    ASSERT_TRUE(exclusive);
    EXPECT_EQ(FileSizeOf(exclusive.Get()), 0) << "mode 1 truncates";
    FileHandle blocked(OpenFile(path.c_str(), OPENMODE_READ));
    EXPECT_FALSE(blocked) << "mode 1 shares nothing";
    EXPECT_EQ(LastErrorCode(), static_cast<uint32_t>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(blocked.Get(), nullptr);
}

TEST(OpenFile, ModesCreateOpenOrFail)
{
    test::ScratchFolder dir;
    const std::wstring path = dir.File(L"new.bin");
    EXPECT_EQ(OpenFile(path.c_str(), OPENMODE_EXISTING), nullptr);
    EXPECT_EQ(OpenFile(path.c_str(), OPENMODE_READ), nullptr) << "failure is null, not INVALID_HANDLE_VALUE";
    {
        FileHandle h(OpenFile(path.c_str(), OPENMODE_OPEN_ALWAYS));
        ASSERT_TRUE(h);
        EXPECT_TRUE(WriteFully(h.Get(), "hello", 5));
    }
    {
        FileHandle h(OpenFile(path.c_str(), OPENMODE_OPEN_ALWAYS));
        ASSERT_TRUE(h);
        EXPECT_EQ(FileSizeOf(h.Get()), 5) << "mode 2 keeps the content";
    }
    FileHandle folder(OpenFile(dir.Path().c_str(), OPENMODE_BACKUP));
    EXPECT_TRUE(folder) << "backup semantics open folders";
    FileHandle shared(OpenFile(path.c_str(), OPENMODE_BACKUP_SHARED));
    ASSERT_TRUE(shared);
    FileHandle alsoWriting(
        OpenFileShared(path.c_str(), OPENMODE_EXISTING, FILE_SHARE_READ | FILE_SHARE_WRITE));
    EXPECT_TRUE(alsoWriting) << "mode 5 shares writing";

    EXPECT_EQ(OpenFile(path.c_str(), OPENMODE_CREATE_NEW), nullptr) << "mode 6 makes only new files";
    EXPECT_EQ(LastErrorCode(), static_cast<uint32_t>(ERROR_FILE_EXISTS));
    for (int mode : {-1, 7}) {
        EXPECT_EQ(OpenFile(path.c_str(), mode), nullptr);
        EXPECT_EQ(LastErrorCode(), static_cast<uint32_t>(ERROR_INVALID_PARAMETER));
    }
    EXPECT_EQ(OpenFileShared(path.c_str(), OPENMODE_BACKUP_SHARED, FILE_SHARE_READ), nullptr);
    EXPECT_EQ(OpenFile(nullptr, OPENMODE_READ), nullptr);
}

TEST(OpenFile, FailureIsRecordedForTheCaller)
{
    test::ScratchFolder dir;
    const std::wstring missing = dir.File(L"missing.bin");
    SetLastError(0);
    EXPECT_EQ(OpenFile(missing.c_str(), OPENMODE_READ), nullptr);
    EXPECT_EQ(LastErrorCode(), static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << "still there for the caller";
    EXPECT_GT(wcslen(LastErrorText()), 0u) << "the text is kept for the log";
}

TEST(FileIo, ReadWriteSeekAndNoHandle)
{
    test::ScratchFolder dir;
    FileHandle h(OpenFile(dir.File(L"rw.bin").c_str(), OPENMODE_CREATE));
    ASSERT_TRUE(h);
    EXPECT_EQ(WriteFileBytes(h.Get(), "0123456789", 10), 10);
    EXPECT_EQ(SeekFile(h.Get(), -4, FILE_END), 6);
    char buf[16] = {};
    EXPECT_EQ(ReadFileBytes(h.Get(), buf, sizeof buf), 4);
    EXPECT_EQ(std::string(buf, 4), "6789");
    EXPECT_EQ(ReadFileBytes(h.Get(), buf, sizeof buf), 0) << "end of file";
    EXPECT_EQ(SeekFile(h.Get(), -1, FILE_BEGIN), -1);

    EXPECT_EQ(ReadFileBytes(nullptr, buf, 1), -1);
    EXPECT_EQ(ReadFileBytes(INVALID_HANDLE_VALUE, buf, 1), -1);
    EXPECT_EQ(WriteFileBytes(nullptr, buf, 1), -1);
    EXPECT_EQ(SeekFile(nullptr, 0, FILE_BEGIN), -1);
    CloseFile(nullptr);
    CloseFile(INVALID_HANDLE_VALUE);
}

TEST(FileIo, FullyHelpersUseSixtyFourBitOffsets)
{
    test::ScratchFolder dir;
    FileHandle h(OpenFile(dir.File(L"big.bin").c_str(), OPENMODE_CREATE));
    ASSERT_TRUE(h);
    // Beyond 4 GiB: the high half of the offset must reach the system.
    const uint64_t beyond4G = (uint64_t(1) << 32) + 3;
    ASSERT_TRUE(WriteFullyAt(h.Get(), beyond4G, "tail", 4));
    EXPECT_EQ(FileSizeOf(h.Get()), static_cast<int64_t>(beyond4G + 4));
    ASSERT_TRUE(WriteFullyAt(h.Get(), 0, "head", 4));
    char buf[8] = {};
    EXPECT_EQ(ReadFullyAt(h.Get(), beyond4G, buf, 8), 4) << "short only at the end";
    EXPECT_EQ(std::string(buf, 4), "tail");
    EXPECT_EQ(ReadFullyAt(h.Get(), 0, buf, 4), 4);
    EXPECT_EQ(std::string(buf, 4), "head");
    EXPECT_EQ(ReadFullyAt(h.Get(), 1, buf, 2), 2);
    EXPECT_EQ(std::string(buf, 2), "ea");
    h.Reset();
    DeleteFileW(dir.File(L"big.bin").c_str());
}

TEST(FileIo, AttributesAndFindRecord)
{
    test::ScratchFolder dir;
    const std::wstring path = dir.Write(L"ro.txt", "12345");
    ASSERT_TRUE(SetFileAttrs(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(ClearReadOnly(path.c_str()));
    EXPECT_EQ(GetFileAttrs(path.c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
              static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN))
        << "only read-only is cleared";
    EXPECT_EQ(GetFileAttrs(dir.File(L"none").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(ClearReadOnly(dir.File(L"none").c_str()));

    FileListing data;
    ASSERT_TRUE(FindFileData(path.c_str(), &data));
    EXPECT_EQ(data.m_strName, L"ro.txt");
    EXPECT_EQ(data.m_nSize, 5u);
    EXPECT_TRUE(data.m_nAttributes & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_FALSE(FindFileData(dir.File(L"none").c_str(), &data));
    EXPECT_EQ(LastErrorCode(), static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
}

TEST(FileIo, CopyFileTo)
{
    test::ScratchFolder dir;
    const std::wstring source = dir.Write(L"src.bin", "new content");
    const std::wstring target = dir.Write(L"dst.bin", "old");
    ASSERT_TRUE(CopyFileTo(source.c_str(), target.c_str()));
    EXPECT_EQ(test::ScratchFolder::ReadAll(target), "new content");

    EXPECT_TRUE(CopyFileTo(dir.File(L"none").c_str(), dir.File(L"never").c_str()));
    EXPECT_FALSE(PathExists(dir.File(L"never").c_str()));
    SetLastError(0);
    EXPECT_FALSE(CopyFileTo(source.c_str(), dir.File(L"no\\such\\folder.bin").c_str()));
    EXPECT_NE(LastErrorCode(), 0u) << "a failed copy is recorded for the caller to tell";
}

TEST(DeleteFileOrDefer, RemovesReadOnlyAndMissingFiles)
{
    test::ScratchFolder dir;
    const std::wstring path = dir.Write(L"ro.txt");
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(DeleteFileOrDefer(path.c_str(), false));
    EXPECT_FALSE(PathExists(path.c_str()));
    EXPECT_TRUE(DeleteFileOrDefer(path.c_str(), false)) << "nothing to delete is success";

    const std::wstring deferred = dir.Write(L"later.txt");
    EXPECT_TRUE(DeleteFileOrDefer(deferred.c_str(), true));
    EXPECT_TRUE(PathExists(deferred.c_str())) << "deferred to the next restart";
}

TEST(FileIo, FileHandleOwnsAndMoves)
{
    test::ScratchFolder dir;
    const std::wstring path = dir.Write(L"h.bin");
    FileHandle a(OpenFile(path.c_str(), OPENMODE_EXISTING));
    ASSERT_TRUE(a);
    FileHandle b(std::move(a));
    EXPECT_FALSE(a);
    EXPECT_TRUE(b);
    EXPECT_EQ(OpenFile(path.c_str(), OPENMODE_EXISTING), nullptr) << "still open through b";
    b = FileHandle();
    FileHandle again(OpenFile(path.c_str(), OPENMODE_EXISTING));
    EXPECT_TRUE(again) << "closed when b was replaced";
    EXPECT_FALSE(FileHandle(INVALID_HANDLE_VALUE));
    EXPECT_GT(TotalPhysicalMemory(), 0);
}

} // namespace
} // namespace zk
