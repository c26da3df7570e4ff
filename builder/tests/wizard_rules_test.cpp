// Rules of the wizard that need no window: archive name proposal, the
// options page's go-ahead, split sizes, drops, refused items and buttons.

#include "builder/ui/file_list_page.h"
#include "builder/ui/options_rules.h"
#include "builder/settings/startup.h"
#include "builder/ui/wizard_flow.h"
#include "core/tests/win/scratch_folder.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using zk::ProposeArchiveName;

struct ExistingFiles {
    std::set<std::wstring> names;
    bool operator()(const std::wstring& name) const { return names.count(name) != 0; }
};

// The file system's folders, by path.
using Folders = ExistingFiles;

TEST(ProposeArchiveName, PlacesTheArchiveBesideOrInTheOutputFolder)
{
    ExistingFiles none;
    Folders folders{{L"C:\\data\\photos", L"C:\\data\\photos\\", L"C:\\data\\v1.2"}};
    struct Case {
        const wchar_t* source;
        const wchar_t* cmdOutput;
        const wchar_t* envOutput;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"C:\\data\\photos", L"", L"", L"C:\\data\\photos.exe"},
        {L"C:\\data\\a.txt", L"", L"", L"C:\\data\\a.exe"},
        // A folder keeps its dots; a file loses only its last extension.
        {L"C:\\data\\v1.2", L"", L"", L"C:\\data\\v1.2.exe"},
        {L"C:\\data\\a.tar.gz", L"", L"", L"C:\\data\\a.tar.exe"},
        // Archives the shell browses like folders are files on disk.
        {L"C:\\data\\a.zip", L"", L"", L"C:\\data\\a.exe"},
        {L"C:\\data\\b.cab", L"", L"", L"C:\\data\\b.exe"},
        // A dot in a folder name is not an extension of the file.
        {L"C:\\my.dir\\readme", L"", L"", L"C:\\my.dir\\readme.exe"},
        // The configured output folder, and the command line's before it.
        {L"C:\\data\\a.txt", L"", L"D:\\out\\", L"D:\\out\\a.exe"},
        {L"C:\\data\\a.txt", L"E:\\cmd\\", L"D:\\out\\", L"E:\\cmd\\a.exe"},
        {L"C:\\data\\photos\\", L"", L"D:\\out\\", L"D:\\out\\photos.exe"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ProposeArchiveName(c.source, c.cmdOutput, c.envOutput, folders, none), c.expected)
            << testing::PrintToString(std::wstring(c.source));
}

TEST(ProposeArchiveName, CountsUpPastExistingNames)
{
    Folders noFolders;
    ExistingFiles taken{{L"C:\\data\\a.exe", L"C:\\data\\a (1).exe"}};
    EXPECT_EQ(ProposeArchiveName(L"C:\\data\\a.txt", L"", L"", noFolders, taken), L"C:\\data\\a (2).exe");
    ExistingFiles first{{L"C:\\work\\report.exe"}};
    EXPECT_EQ(ProposeArchiveName(L"C:\\work\\report.doc", L"", L"", noFolders, first),
              L"C:\\work\\report (1).exe");
}

TEST(OptionsMayAdvance, NeedsAnArchiveExtensionAndMatchingPasswords)
{
    struct Case {
        const wchar_t* name;
        bool show;
        const wchar_t* password;
        const wchar_t* confirm;
        bool expected;
    };
    const Case cases[] = {
        {L"C:\\a.exe", false, L"", L"", true},
        {L"C:\\a.EXE", false, L"", L"", true},
        {L"C:\\a.Zka", false, L"", L"", true},
        {L"C:\\a.zip", false, L"", L"", false},
        {L"C:\\a", false, L"", L"", false},
        {L"C:\\x.exe\\a", false, L"", L"", false},
        {L"", false, L"", L"", false},
        {L"C:\\a.exe", false, L"secret", L"secreT", false},
        {L"C:\\a.exe", true, L"secret", L"secreT", true},
        {L"C:\\a.exe", false, L"secret", L"secret", true},
        {L"C:\\a.exe", false, L"", L"x", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(zk::OptionsMayAdvance(c.name, c.show, c.password, c.confirm), c.expected)
            << testing::PrintToString(std::wstring(c.name)) << " / " << c.show;
}

TEST(SplitSize, CustomTextIsReadLeniently)
{
    struct Case {
        const wchar_t* text;
        int expected;
    };
    const Case cases[] = {
        {L"700", 700},     {L"  42", 42}, {L"+12", 12},  {L"0", 0},
        {L"-5", 0},        {L"abc", 0},   {L"", 0},      {L"40000", 32768},
        {L"32768", 32768}, {L"1", 1},     {L"12MB", 12}, {L"99999999999999999999", 32768},
    };
    for (const Case& c : cases)
        EXPECT_EQ(zk::ParseCustomSplitSize(c.text), c.expected)
            << testing::PrintToString(std::wstring(c.text));
}

TEST(SplitSize, PresetsAreFoundByValue)
{
    EXPECT_EQ(zk::SplitPresetIndex(0), 0);
    EXPECT_EQ(zk::SplitPresetIndex(650), 9);
    EXPECT_EQ(std::wstring(zk::SPLIT_PRESETS[zk::SplitPresetIndex(650)].text), L"CDR 650MB");
    EXPECT_EQ(zk::SplitPresetIndex(4482), 11);
    EXPECT_EQ(zk::SplitPresetIndex(2000), zk::SPLIT_CUSTOM_INDEX);
    EXPECT_EQ(std::wstring(zk::SPLIT_PRESETS[zk::SPLIT_CUSTOM_INDEX].text), L"サイズ指定");
}

TEST(DroppedPaths, AreNormalisedAndDriveRootsRecognised)
{
    EXPECT_EQ(NormaliseDroppedPath(L"C:\\data\\"), L"C:\\data");
    EXPECT_EQ(NormaliseDroppedPath(L"C:\\data"), L"C:\\data");
    EXPECT_EQ(NormaliseDroppedPath(L"C:"), L"C:\\");
    EXPECT_EQ(NormaliseDroppedPath(L"C:\\"), L"C:\\");
    EXPECT_TRUE(IsUpperDriveRoot(L"D:\\"));
    EXPECT_FALSE(IsUpperDriveRoot(L"d:\\"));
    EXPECT_FALSE(IsUpperDriveRoot(L"D:\\x"));
    EXPECT_FALSE(IsUpperDriveRoot(L"D:"));
}

TEST(SourceItems, RefusedByTheirAttributes)
{
    const int win7 = 12, xp = 7;
    const ULONG fileSystemFile = 0x40000000 | 0x4 | 0x100;
    EXPECT_FALSE(IsRefusedSourceItem(fileSystemFile, FILE_ATTRIBUTE_ARCHIVE, false, win7));
    // Virtual: can-link only, and no file attributes.
    EXPECT_TRUE(IsRefusedSourceItem(0x4, 0, true, win7));
    EXPECT_FALSE(IsRefusedSourceItem(0x4, FILE_ATTRIBUTE_ARCHIVE, true, win7));
    EXPECT_TRUE(IsRefusedSourceItem(fileSystemFile, FILE_ATTRIBUTE_SYSTEM, true, win7));
    // Hidden: refused unless hidden files are included.
    const ULONG hiddenItem = fileSystemFile | 0x80000;
    EXPECT_TRUE(IsRefusedSourceItem(hiddenItem, FILE_ATTRIBUTE_HIDDEN, false, win7));
    EXPECT_FALSE(IsRefusedSourceItem(hiddenItem, FILE_ATTRIBUTE_HIDDEN, true, win7));
    // The XP rule on a folder the shell shows as virtual.
    EXPECT_TRUE(IsRefusedSourceItem(0xF000010C, FILE_ATTRIBUTE_DIRECTORY, true, xp));
    EXPECT_FALSE(IsRefusedSourceItem(0xF000010C, FILE_ATTRIBUTE_DIRECTORY, true, win7));
}

// Which start-up paths the wizard lists (the build starts by itself only
// when one of them was listed).
TEST(WizardStartup, ListsReadablePathsThatAreNotHidden)
{
    zk::test::ScratchFolder scratch;
    const std::wstring file = scratch.Write(L"a.txt");
    const std::wstring hidden = scratch.Write(L"h.txt");
    ASSERT_TRUE(SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN));
    const std::wstring folder = scratch.Path() + L"sub";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    struct Case {
        std::wstring path;
        bool includeHidden;
        bool expected;
    };
    const Case cases[] = {
        {file, false, true},
        {folder, false, true},
        {hidden, false, false},
        {hidden, true, true},
        {scratch.Path() + L"gone.txt", true, false},
        // A drive root has no entry of its own to read.
        {L"C:\\", true, false},
        {L"c:\\", true, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(zk::ListsStartupPath(c.path, c.includeHidden), c.expected)
            << testing::PrintToString(c.path) << " hidden included: " << c.includeHidden;
    SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(WizardButtons, FollowThePage)
{
    using zk::ButtonsForPage;
    auto welcome = ButtonsForPage(zk::PAGE_WELCOME, false);
    EXPECT_FALSE(welcome.reloadSave.bShown);
    EXPECT_FALSE(welcome.back.bEnabled);
    EXPECT_TRUE(welcome.next.bEnabled);
    EXPECT_EQ(welcome.next.strText, L"次へ >");

    EXPECT_FALSE(ButtonsForPage(zk::PAGE_FILES, false).next.bEnabled);
    EXPECT_TRUE(ButtonsForPage(zk::PAGE_FILES, true).next.bEnabled);
    EXPECT_EQ(ButtonsForPage(zk::PAGE_FILES, true).reloadSave.strText, L"再読込");

    auto options = ButtonsForPage(zk::PAGE_OPTIONS, true);
    EXPECT_EQ(options.next.strText, L"開始 >");
    EXPECT_EQ(options.reloadSave.strText, L"保存");

    // While the build runs nothing that changes the settings can be reached.
    auto progress = ButtonsForPage(zk::PAGE_PROGRESS, true);
    EXPECT_EQ(progress.next.strText, L"中止");
    EXPECT_TRUE(progress.next.bEnabled);
    for (const zk::ButtonState* b :
         {&progress.settings, &progress.reloadSave, &progress.back, &progress.close})
        EXPECT_FALSE(b->bEnabled);

    auto done = ButtonsForPage(zk::PAGE_COMPLETION, false);
    EXPECT_EQ(done.next.strText, L"完了");
    EXPECT_TRUE(done.reloadSave.bShown);
    EXPECT_FALSE(done.close.bEnabled);
    EXPECT_FALSE(done.settings.bShown);
}

} // namespace
