// The platform layer over POSIX: paths in Windows form reach the right
// files, listings report what the archive stores, links are reported and
// never written through, errors read as the system's.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "core/file_io.h"
#include "core/last_error.h"
#include "core/native_text_posix.h"
#include "core/pipeline_platform.h"
#include "core/text_format.h"

namespace zk {
namespace {

namespace fs = std::filesystem;

struct PosixScratch {
    fs::path root;
    PosixScratch()
    {
        char name[] = "/tmp/zk_posix_XXXXXX";
        root = mkdtemp(name);
    }
    ~PosixScratch() { fs::remove_all(root); }
    // The engines' form of a path below root: "\" between components.
    std::wstring Engine(const std::string& rel) const
    {
        std::wstring text = WideFromUtf8((root / rel).string());
        for (wchar_t& c : text)
            if (c == L'/') c = L'\\';
        return text;
    }
    void Write(const std::string& rel, const std::string& bytes) const
    {
        std::ofstream(root / rel, std::ios::binary) << bytes;
    }
    std::string Read(const std::string& rel) const
    {
        std::ifstream in(root / rel, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
};

TEST(PosixPlatform, ListingReportsWhatArchivesStore)
{
    PosixScratch s;
    s.Write("a.txt", "12345");
    chmod((s.root / "a.txt").c_str(), 0444);
    s.Write(".hidden", "");
    fs::create_directory(s.root / "sub");
    fs::create_symlink(s.root / "a.txt", s.root / "ln");
    std::map<std::wstring, FileListing> seen;
    FolderLister lister;
    ASSERT_TRUE(lister.Open(s.Engine("")));
    FileListing entry;
    while (lister.Next(&entry))
        seen[entry.m_strName] = entry;
    EXPECT_EQ(SystemErrorCode(), SYSERR_NO_MORE_FILES) << "the end, not a failure";
    struct Case {
        const wchar_t* name;
        uint32_t attrs;
        uint64_t size;
        bool link;
    } cases[] = {
        {L"a.txt", ATTR_ARCHIVE | ATTR_READONLY, 5, false},
        {L".hidden", ATTR_ARCHIVE | ATTR_HIDDEN, 0, false},
        {L"sub", ATTR_DIRECTORY, 0, false},
        {L"ln", ATTR_ARCHIVE, 0, true},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(seen.count(c.name), 1u) << c.name;
        EXPECT_EQ(seen[c.name].m_nAttributes, c.attrs) << c.name;
        EXPECT_EQ(seen[c.name].m_nSize, c.size) << c.name;
        EXPECT_EQ(seen[c.name].m_bSymbolicLink, c.link) << c.name;
    }
    EXPECT_TRUE(PathIsSymbolicLink(s.Engine("ln").c_str()));
    EXPECT_FALSE(PathIsSymbolicLink(s.Engine("a.txt").c_str()));
}

TEST(PosixPlatform, WindowsFormPathsReachTheFiles)
{
    PosixScratch s;
    ASSERT_TRUE(CreateFolder(s.Engine("写真").c_str()));
    FileHandle h(OpenFile(s.Engine("写真/名前.txt").c_str(), OPENMODE_CREATE));
    ASSERT_TRUE(h);
    ASSERT_TRUE(WriteFully(h.Get(), "data", 4));
    const uint64_t written = 132223104001234567ull; // 100-ns units since 1601
    ASSERT_TRUE(SetFileTimes(h.Get(), 0, written, written));
    h.Reset();
    EXPECT_EQ(s.Read("写真/名前.txt"), "data");
    FileListing listing;
    ASSERT_TRUE(FindFileData(s.Engine("写真/名前.txt").c_str(), &listing));
    EXPECT_EQ(listing.m_strName, L"名前.txt");
    EXPECT_EQ(listing.m_nWriteTime, written);

    EXPECT_FALSE(OpenFile(s.Engine("none").c_str(), OPENMODE_READ));
    EXPECT_EQ(LastErrorCode(), SYSERR_FILE_NOT_FOUND);
    EXPECT_STREQ(LastErrorText(), L"No such file or directory");
}

// Every name the engines give reaches the system as UTF-8 with "/", the
// ASCII characters and the rest alike, wherever they stand in the path.
TEST(PosixPlatform, NativePathsAreUtf8WithSlashes)
{
    struct Case {
        std::wstring m_strPath;
        std::string m_strNative;
    } cases[] = {
        {L"", ""},
        {L"\\tmp\\a b\\c.txt", "/tmp/a b/c.txt"},
        {L"d\\\x5199\x771F\\\x540D\x524D.txt", "d/\xE5\x86\x99\xE7\x9C\x9F/\xE5\x90\x8D\xE5\x89\x8D.txt"},
        {L"\x5199\\x\\y", "\xE5\x86\x99/x/y"},
        {L"x\x7F\x80\x7FF\x800", "x\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80"},
        {std::wstring(L"e\\") + static_cast<wchar_t>(0x1F600), "e/\xF0\x9F\x98\x80"},
        {std::wstring(L"a") + static_cast<wchar_t>(0xD800) + L"\\b", "a\xEF\xBF\xBD/b"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NativePath(c.m_strPath), c.m_strNative) << c.m_strNative;
}

// A listed folder's files open through the listing: the folder's path is
// walked once, not once per file, so a folder moved meanwhile still gives
// its files. Without a listing the path itself is opened.
TEST(PosixPlatform, EntriesOfAListedFolderOpenThroughTheListing)
{
    PosixScratch s;
    fs::create_directory(s.root / "d");
    s.Write("d/名前.txt", "listed");
    FolderLister listed, unlisted;
    ASSERT_TRUE(listed.Open(s.Engine("d")));
    fs::rename(s.root / "d", s.root / "moved");
    struct Case {
        const FolderLister& lister;
        const char* path;
        const char* bytes; // null: the open fails, the file is not there
    } cases[] = {
        {listed, "d/名前.txt", "listed"},
        {unlisted, "moved/名前.txt", "listed"},
        {unlisted, "d/名前.txt", nullptr},
        {listed, "d/none", nullptr},
    };
    for (const Case& c : cases) {
        FileHandle h(c.lister.OpenEntry(s.Engine(c.path)));
        if (!c.bytes) {
            EXPECT_FALSE(h) << c.path;
            EXPECT_EQ(LastErrorCode(), SYSERR_FILE_NOT_FOUND) << c.path;
            continue;
        }
        ASSERT_TRUE(h) << c.path;
        char got[16] = {};
        EXPECT_EQ(ReadFully(h.Get(), got, sizeof got), static_cast<int64_t>(std::strlen(c.bytes)));
        EXPECT_STREQ(got, c.bytes) << c.path;
    }
}

// A write the system refuses comes back from the pipeline's file as -1, not
// as a count: a full disk must not pass for bytes written.
TEST(PosixPlatform, RefusedWriteOfAWrappedHandleIsAFailure)
{
    PosixScratch s;
    s.Write("r.bin", "data");
    FileHandle h(OpenFile(s.Engine("r.bin").c_str(), OPENMODE_READ));
    ASSERT_TRUE(h);
    std::unique_ptr<IByteFile> file = WrapFileHandle(h.Get(), false);
    EXPECT_EQ(file->Write("more", 4), -1);
    EXPECT_FALSE(file->LastErrorText().empty());
}

TEST(PosixPlatform, StreamsNeverFollowALink)
{
    PosixScratch s;
    s.Write("target.txt", "keep");
    fs::create_symlink(s.root / "target.txt", s.root / "ln");
    EXPECT_EQ(CreateNewStream(s.Engine("ln")), nullptr);
    EXPECT_EQ(OpenStreamForWrite(s.Engine("ln")), nullptr);
    EXPECT_FALSE(ProbeCreate(s.Engine("ln")));
    EXPECT_FALSE(SetFileAttrs(s.Engine("ln").c_str(), ATTR_READONLY));
    EXPECT_EQ(s.Read("target.txt"), "keep");
    // A link to nothing yet: creating through it would make its target.
    fs::create_symlink(s.root / "absent.txt", s.root / "dangling");
    EXPECT_EQ(CreateNewStream(s.Engine("dangling")), nullptr);
    EXPECT_EQ(OpenStreamForWrite(s.Engine("dangling")), nullptr);
    EXPECT_FALSE(fs::exists(s.root / "absent.txt"));
    FILE* fresh = CreateNewStream(s.Engine("new.txt"));
    ASSERT_NE(fresh, nullptr);
    std::fclose(fresh);
    EXPECT_EQ(CreateNewStream(s.Engine("new.txt")), nullptr) << "only a file that does not exist";
}

TEST(PosixPlatform, Sha256AndNameOrder)
{
    std::unique_ptr<IFileHash> hash = MakeSystemSha256();
    uint8_t digest[32] = {};
    ASSERT_EQ(hash->Begin(), 0);
    ASSERT_EQ(hash->Update(reinterpret_cast<const uint8_t*>("abc"), 3), 0);
    ASSERT_EQ(hash->End(digest), 0);
    const uint8_t abc[8] = {0xBA, 0x78, 0x16, 0xBF, 0x8F, 0x01, 0xCF, 0xEA};
    EXPECT_EQ(std::memcmp(digest, abc, sizeof abc), 0);

    struct Case {
        const wchar_t* a;
        const wchar_t* b;
        int sign;
    } cases[] = {
        {L"file2.txt", L"file10.txt", -1},
        {L"File1", L"file1", 0},
        {L"a", L"ab", -1},
        {L"b", L"A", 1},
        {L"x9y", L"x10", -1},
    };
    for (const Case& c : cases) {
        const int r = CompareNamesLogically(c.a, c.b);
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " " << c.b;
    }
}

} // namespace
} // namespace zk
