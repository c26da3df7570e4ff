#include "core/long_path.h"

#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <string>

namespace zk {
namespace {

struct PathCase {
    const wchar_t* in;
    const wchar_t* out;
};

TEST(LongPath, AddPrefixForms)
{
    const PathCase cases[] = {
        {L"C:\\a.txt", L"\\\\?\\C:\\a.txt"},
        {L"c:\\dir\\sub\\", L"\\\\?\\c:\\dir\\sub\\"},
        {L"\\\\srv\\share\\a.txt", L"\\\\?\\UNC\\srv\\share\\a.txt"},
        {L"\\\\?\\C:\\a.txt", L"\\\\?\\C:\\a.txt"},
        {L"\\\\?\\UNC\\srv\\share\\a", L"\\\\?\\UNC\\srv\\share\\a"},
        {L"\\\\.\\PhysicalDrive0", L"\\\\.\\PhysicalDrive0"},
        // Taken literally in long form, so normalised first.
        {L"C:\\a\\..\\b\\.\\c.txt", L"\\\\?\\C:\\b\\c.txt"},
        {L"C:/a/b.txt", L"\\\\?\\C:\\a\\b.txt"},
        {L"\\\\srv\\share\\x\\..\\y", L"\\\\?\\UNC\\srv\\share\\y"},
        // Names that merely begin with dots are not "." or "..".
        {L"C:\\...\\..x", L"\\\\?\\C:\\...\\..x"},
    };
    for (const auto& c : cases) {
        wchar_t out[LONG_PATH_CHARS];
        ASSERT_NE(AddLongPathPrefix(c.in, out), nullptr) << c.in;
        EXPECT_STREQ(out, c.out) << c.in;
        EXPECT_EQ(LongPathForm(c.in), c.out) << c.in;
    }
}

TEST(LongPath, RelativePathBecomesAbsolute)
{
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    std::wstring expected = std::wstring(L"\\\\?\\") + current;
    if (expected.back() != L'\\') expected += L'\\';
    EXPECT_EQ(LongPathForm(L"sub\\a.txt"), expected + L"sub\\a.txt");
}

TEST(LongPath, NullAndTooSmallBuffer)
{
    wchar_t out[8];
    EXPECT_EQ(AddLongPathPrefix(nullptr, out), nullptr);
    EXPECT_EQ(AddLongPathPrefix(L"C:\\abc", out, 8), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_NE(AddLongPathPrefix(L"C:\\ab", out, 10), nullptr);
    EXPECT_EQ(LongPathForm(static_cast<const wchar_t*>(nullptr)), L"");
}

TEST(LongPath, PrefixLengthAndRemovalGiveTheSameFile)
{
    EXPECT_EQ(GetLongPathPrefixLength(nullptr), -1);
    const struct {
        const wchar_t* in;
        int prefix;
        const wchar_t* shortForm;
    } cases[] = {
        {L"\\\\?\\C:\\dir\\file.txt", 4, L"C:\\dir\\file.txt"},
        {L"\\\\?\\UNC\\srv\\share\\x", 8, L"\\\\srv\\share\\x"},
        {L"\\\\?\\unc\\srv\\share", 8, L"\\\\srv\\share"},
        {L"\\\\.\\PhysicalDrive0", 0, L"\\\\.\\PhysicalDrive0"},
        {L"\\\\srv\\share\\x", 0, L"\\\\srv\\share\\x"},
        {L"\\lone", 0, L"\\lone"},
        {L"C:\\x", 0, L"C:\\x"},
        {L"", 0, L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GetLongPathPrefixLength(c.in), c.prefix) << c.in;
        std::wstring buf(c.in);
        RemoveLongPathPrefix(buf.data());
        EXPECT_STREQ(buf.c_str(), c.shortForm) << c.in;
        EXPECT_EQ(ShortPathForm(c.in), c.shortForm) << c.in;
    }
    // Round trip back to the long form.
    EXPECT_EQ(LongPathForm(ShortPathForm(L"\\\\?\\UNC\\srv\\share\\x")), L"\\\\?\\UNC\\srv\\share\\x");
    EXPECT_EQ(LongPathForm(ShortPathForm(L"\\\\?\\C:\\x")), L"\\\\?\\C:\\x");
    EXPECT_TRUE(PathIsUnc(L"\\\\?\\UNC\\srv\\share\\x"));
    EXPECT_TRUE(PathIsUnc(L"\\\\srv\\share\\x"));
    EXPECT_FALSE(PathIsUnc(L"\\\\?\\C:\\x"));
    EXPECT_FALSE(PathIsUnc(nullptr));
}

TEST(LongPath, ExistenceChecksSeeEveryForm)
{
    test::ScratchFolder dir;
    const std::wstring file = dir.Write(L"a.txt");
    const std::wstring folder = dir.Path();
    for (const std::wstring& f : {file, L"\\\\?\\" + file}) {
        EXPECT_TRUE(PathExists(f.c_str())) << f;
        EXPECT_FALSE(PathIsFolder(f.c_str())) << f;
    }
    for (const std::wstring& f : {folder, L"\\\\?\\" + folder}) {
        EXPECT_TRUE(PathExists(f.c_str())) << f;
        EXPECT_TRUE(PathIsFolder(f.c_str())) << f;
    }
    EXPECT_FALSE(PathExists((folder + L"missing").c_str()));
    EXPECT_FALSE(PathIsFolder((folder + L"missing").c_str()));
    EXPECT_FALSE(PathExists(nullptr));
    EXPECT_FALSE(PathIsFolder(nullptr));

    // Longer than MAX_PATH: only reachable through the long form.
    std::wstring deep = folder;
    while (deep.size() < 300) {
        deep += L"0123456789abcdef\\";
        ASSERT_TRUE(CreateDirectoryW(LongPathForm(deep).c_str(), nullptr));
    }
    EXPECT_TRUE(PathIsFolder(deep.c_str()));
    while (deep.size() > folder.size()) {
        RemoveDirectoryW(LongPathForm(deep).c_str());
        deep = ParentFolder(deep);
    }
}

TEST(PathText, ParentFolderAndLastComponent)
{
    const struct {
        const wchar_t* in;
        const wchar_t* parent;
        const wchar_t* last;
    } cases[] = {
        {L"C:\\a\\b.txt", L"C:\\a\\", L"b.txt"},
        {L"C:\\a\\", L"C:\\", L"a"},
        {L"C:\\a", L"C:\\", L"a"},
        {L"C:\\", L"C:\\", L"C:\\"},
        {L"C:", L"C:", L"C:"},
        {L"\\", L"", L""},
        {L"", L"", L""},
        {L"name.txt", L"", L"name.txt"},
        {L"\\\\srv\\share\\f.txt", L"\\\\srv\\share\\", L"f.txt"},
        {L"\\\\?\\C:\\", L"\\\\?\\C:\\", L"\\\\?\\C:\\"},
        {L"\\\\?\\C:\\a\\", L"\\\\?\\C:\\", L"a"},
    };
    for (const auto& c : cases) {
        std::wstring p(c.in), l(c.in);
        EXPECT_STREQ(ParentFolder(p.data()), c.parent) << c.in;
        EXPECT_STREQ(LastComponent(l.data()), c.last) << c.in;
        EXPECT_EQ(ParentFolder(std::wstring(c.in)), c.parent) << c.in;
        EXPECT_EQ(LastComponent(std::wstring(c.in)), c.last) << c.in;
    }
    EXPECT_EQ(ParentFolder(static_cast<wchar_t*>(nullptr)), nullptr);
    EXPECT_EQ(LastComponent(static_cast<wchar_t*>(nullptr)), nullptr);
}

TEST(PathText, TrailingSlash)
{
    const PathCase removeCases[] = {
        {L"C:\\", L"C:\\"}, {L"C:\\a\\", L"C:\\a"}, {L"\\", L""},
        {L"a\\", L"a"},     {L"C:\\a", L"C:\\a"},   {L"", L""},
    };
    for (const auto& c : removeCases) {
        std::wstring s(c.in);
        EXPECT_STREQ(RemoveTrailingSlash(s.data()), c.out) << c.in;
        std::wstring w(c.in);
        RemoveTrailingSlash(w);
        EXPECT_EQ(w, c.out) << c.in;
    }

    wchar_t buf[5] = L"C:\\a";
    EXPECT_EQ(AddTrailingSlash(buf, 5), nullptr) << "no room for the slash";
    EXPECT_STREQ(buf, L"C:\\a");
    wchar_t room[6] = L"C:\\a";
    EXPECT_STREQ(AddTrailingSlash(room, 6), L"C:\\a\\");
    EXPECT_STREQ(AddTrailingSlash(room, 6), L"C:\\a\\");
    std::wstring empty;
    AddTrailingSlash(empty);
    EXPECT_EQ(empty, L"");
    std::wstring s = L"C:";
    AddTrailingSlash(s);
    EXPECT_EQ(s, L"C:\\");
}

TEST(PathText, Extension)
{
    wchar_t path[] = L"C:\\dir.v2\\archive.tar.zka";
    EXPECT_STREQ(FindExtension(path), L".zka");
    EXPECT_STREQ(RemoveExtension(path), L"C:\\dir.v2\\archive.tar");
    wchar_t none[] = L"C:\\dir.v2\\archive";
    EXPECT_STREQ(FindExtension(none), L"");
    EXPECT_STREQ(RemoveExtension(none), L"C:\\dir.v2\\archive");
}

} // namespace
} // namespace zk
