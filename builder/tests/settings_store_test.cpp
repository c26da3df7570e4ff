#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "builder/engine/build_settings.h"
#include "builder/settings/settings_records.h"
#include "core/archive_format.h"
#include "builder/settings/settings_store.h"
#include "core/long_path.h"
#include "core/temp_files.h"
#include "core/tests/win/scratch_folder.h"

namespace {

using Bytes = std::vector<uint8_t>;
using zk::test::ScratchFolder;

// Expected file bytes, put together from the layout of the files.
struct Layout {
    Bytes b;
    Layout& I32(int32_t v)
    {
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
        return *this;
    }
    Layout& U8(uint8_t v)
    {
        b.push_back(v);
        return *this;
    }
    Layout& Raw(std::initializer_list<uint8_t> bytes)
    {
        b.insert(b.end(), bytes);
        return *this;
    }
    Layout& Str(const std::wstring& s)
    {
        Raw({0xFF, 0xFE, 0xFF});
        const size_t n = s.size();
        if (n < 255) {
            U8(static_cast<uint8_t>(n));
        } else if (n < 65534) {
            Raw({0xFF, static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8)});
        } else {
            Raw({0xFF, 0xFF, 0xFF});
            I32(static_cast<int32_t>(n));
        }
        for (wchar_t c : s)
            Raw({static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8)});
        return *this;
    }
};

std::wstring TempFolder()
{
    std::wstring folder;
    EXPECT_TRUE(zk::GetTempFolder(folder));
    return folder;
}

Bytes FileBytes(const std::wstring& path)
{
    std::string s = ScratchFolder::ReadAll(path);
    return Bytes(s.begin(), s.end());
}

void WriteBytes(const ScratchFolder& dir, const wchar_t* name, const Bytes& bytes)
{
    dir.Write(name, std::string(bytes.begin(), bytes.end()));
}

bool Contains(const Bytes& haystack, const Bytes& needle)
{
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

// Everything a settings record holds, as its own file would have it.
Bytes Snapshot(const CVosmireEnv& env)
{
    zk::MemorySink sink;
    zk::SerialArchive ar(sink);
    env.Store(ar);
    ar.Flush();
    return sink.m_bytes;
}

void SetNonDefaults(CVosmireEnv& env)
{
    for (auto member : CVosmireEnv::FLAG_MEMBERS)
        env.*member = 1;
    env.m_nCompressKind = 0;
    env.m_strWorkFolder = L"C:\\" + std::wstring(297, L'w'); // 300 characters
    env.m_strOutputFolder = L"D:\\出力\\";
    env.m_setReserved = {L"reserved"};
    env.m_setExclusions = {L"*.bak", L"~$*", L"desktop.ini"};
}

TEST(EnvFile, FirstRunWithoutAFileGivesTheDefaults)
{
    ScratchFolder dir;
    CVosmireEnv env;
    SetNonDefaults(env);
    ASSERT_EQ(LoadEnv(dir.Path(), env), 0);
    EXPECT_EQ(env.m_bVerify, 1);
    EXPECT_EQ(env.m_bHash, 1);
    EXPECT_EQ(env.m_nCompressKind, 1);
    EXPECT_EQ(env.m_nCompressLevel, 0);
    EXPECT_EQ(env.m_bIncludeHidden, 1);
    EXPECT_EQ(env.m_bUseExclusions, 0);
    EXPECT_EQ(env.m_bLongNames + env.m_bShiftJisNames + env.m_bReserved + env.m_bNoCompletionPage +
                  env.m_bAutoSave + env.m_bShowLogOnError + env.m_bUseWorkFolder + env.m_bUseOutputFolder,
              0);
    EXPECT_EQ(env.m_setExclusions, (CStringSet{L"*.tmp", L"Thumbs.db"}));
    EXPECT_TRUE(env.m_setReserved.empty());
    EXPECT_FALSE(env.m_strWorkFolder.empty());
    EXPECT_EQ(env.m_strWorkFolder, TempFolder());
    EXPECT_EQ(env.m_strOutputFolder, L"");
}

TEST(EnvFile, DefaultFileBytes)
{
    ScratchFolder dir;
    CVosmireEnv env;
    env.SetDefaults();
    ASSERT_EQ(SaveEnv(dir.Path(), env), 0);

    Layout expected;
    expected.I32(102).Raw({1, 1, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0});
    expected.Str(TempFolder()).Raw({0xFF, 0xFE, 0xFF, 0x00});
    expected.I32(0).I32(2).Str(L"*.tmp").Str(L"Thumbs.db");
    EXPECT_EQ(FileBytes(dir.File(ENV_FILE_NAME)), expected.b);
    EXPECT_FALSE(zk::PathExists(dir.File(L"Zelkora.env.tmp").c_str()));
}

TEST(EnvFile, SaveAndReloadKeepsEveryFieldButTheHiddenOptions)
{
    ScratchFolder dir;
    CVosmireEnv saved;
    SetNonDefaults(saved);
    ASSERT_EQ(SaveEnv(dir.File(L""), saved), 0);
    // The 300-character work folder takes the long length form.
    EXPECT_TRUE(Contains(FileBytes(dir.File(ENV_FILE_NAME)), {0xFF, 0xFE, 0xFF, 0xFF, 0x2C, 0x01, 'C', 0}));

    CVosmireEnv loaded;
    ASSERT_EQ(LoadEnv(dir.Path(), loaded), 0);
    for (int i = 0; i < zk::ENV_FLAG_COUNT; ++i) {
        SCOPED_TRACE(i);
        auto member = CVosmireEnv::FLAG_MEMBERS[i];
        bool forced = i == zk::ENV_LONG_NAMES || i == zk::ENV_SHIFT_JIS_NAMES || i == zk::ENV_RESERVED;
        EXPECT_EQ(loaded.*member, forced ? 0 : saved.*member);
    }
    EXPECT_EQ(loaded.m_strWorkFolder, saved.m_strWorkFolder);
    EXPECT_EQ(loaded.m_strOutputFolder, saved.m_strOutputFolder);
    EXPECT_EQ(loaded.m_setExclusions, saved.m_setExclusions);
    EXPECT_TRUE(loaded.m_setReserved.empty());
}

TEST(EnvFile, OlderSchemasLeaveTheFieldsTheyLackUnchanged)
{
    ScratchFolder dir;
    CVosmireEnv env;
    env.m_nCompressKind = 0;
    env.m_bUseOutputFolder = 1;
    env.m_strOutputFolder = L"C:\\prior\\";

    Layout v100;
    v100.I32(100)
        .Raw({0, 0, /*level*/ 1, 0, 0, /*hidden*/ 1, 0, /*exclusions*/ 1, 0, 0, 0, /*work*/ 1})
        .Str(L"C:\\w100\\")
        .I32(0)
        .I32(1)
        .Str(L"*.x");
    WriteBytes(dir, ENV_FILE_NAME, v100.b);
    ASSERT_EQ(LoadEnv(dir.Path(), env), 0);
    EXPECT_EQ(env.m_bVerify, 0);
    EXPECT_EQ(env.m_nCompressKind, 0);
    EXPECT_EQ(env.m_nCompressLevel, 1);
    EXPECT_EQ(env.m_bIncludeHidden, 1);
    EXPECT_EQ(env.m_bUseExclusions, 1);
    EXPECT_EQ(env.m_bUseWorkFolder, 1);
    EXPECT_EQ(env.m_bUseOutputFolder, 1);
    EXPECT_EQ(env.m_strWorkFolder, L"C:\\w100\\");
    EXPECT_EQ(env.m_strOutputFolder, L"C:\\prior\\");
    EXPECT_EQ(env.m_setExclusions, CStringSet{L"*.x"});

    Layout v101;
    v101.I32(101)
        .Raw({1, 1, /*kind*/ 1, /*level*/ 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})
        .Str(L"C:\\w101\\")
        .I32(0)
        .I32(0);
    WriteBytes(dir, ENV_FILE_NAME, v101.b);
    ASSERT_EQ(LoadEnv(dir.Path(), env), 0);
    EXPECT_EQ(env.m_nCompressKind, 1);
    EXPECT_EQ(env.m_nCompressLevel, 0);
    EXPECT_EQ(env.m_bUseWorkFolder, 0);
    EXPECT_EQ(env.m_bUseOutputFolder, 1);
    EXPECT_EQ(env.m_strOutputFolder, L"C:\\prior\\");
    EXPECT_TRUE(env.m_setExclusions.empty());
}

TEST(EnvFile, UnmarkedStringsAreReadInTheSystemCodePage)
{
    ASSERT_EQ(GetACP(), 932u) << "the tests run with the Japanese ANSI code page";
    ScratchFolder dir;
    Layout l;
    l.I32(102).Raw({1, 1, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0});
    // "作業フォルダ" in Shift-JIS, stored without the UTF-16 mark.
    l.Raw({12, 0x8D, 0xEC, 0x8B, 0xC6, 0x83, 0x74, 0x83, 0x48, 0x83, 0x8B, 0x83, 0x5F});
    l.Raw({3, 'C', ':', '\\'}).I32(0).I32(1).Raw({5, '*', '.', 'b', 'a', 'k'});
    WriteBytes(dir, ENV_FILE_NAME, l.b);
    CVosmireEnv env;
    ASSERT_EQ(LoadEnv(dir.Path(), env), 0);
    EXPECT_EQ(env.m_strWorkFolder, L"作業フォルダ");
    EXPECT_EQ(env.m_strOutputFolder, L"C:\\");
    EXPECT_EQ(env.m_setExclusions, CStringSet{L"*.bak"});
}

TEST(EnvFile, BrokenFilesKeepThePreviousValues)
{
    ScratchFolder dir;
    CVosmireEnv good;
    SetNonDefaults(good);
    ASSERT_EQ(SaveEnv(dir.Path(), good), 0);
    const Bytes valid = FileBytes(dir.File(ENV_FILE_NAME));

    Layout hugeCount;
    hugeCount.I32(102).Raw({1, 1, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}).Str(L"").Str(L"").I32(0);
    hugeCount.I32(0x7FFFFFFF).Str(L"a");
    Layout hugeString;
    hugeString.I32(102)
        .Raw({1, 1, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0})
        .Raw({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF});
    hugeString.I32(0x7FFFFFFF);
    struct Case {
        const char* what;
        Bytes bytes;
    };
    const Case cases[] = {
        {"empty", {}},
        {"cut in the work folder", Bytes(valid.begin(), valid.begin() + 100)},
        {"cut in the last pattern", Bytes(valid.begin(), valid.end() - 1)},
        {"garbage", Bytes(300, 0xFF)},
        {"2^31 patterns", hugeCount.b},
        {"2^31-character string", hugeString.b},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteBytes(dir, ENV_FILE_NAME, c.bytes);
        CVosmireEnv env;
        env.m_strOutputFolder = L"C:\\previous\\";
        env.m_bAutoSave = 1;
        const Bytes before = Snapshot(env);
        EXPECT_EQ(LoadEnv(dir.Path(), env), 1);
        EXPECT_EQ(Snapshot(env), before);
    }

    // A file another program holds open cannot be read either.
    WriteBytes(dir, ENV_FILE_NAME, valid);
    HANDLE held =
        CreateFileW(dir.File(ENV_FILE_NAME).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    CVosmireEnv env;
    const Bytes before = Snapshot(env);
    EXPECT_EQ(LoadEnv(dir.Path(), env), 1);
    EXPECT_EQ(Snapshot(env), before);
    CloseHandle(held);
}

TEST(EnvFile, FailedSaveLeavesTheOldFile)
{
    ScratchFolder dir;
    CVosmireEnv env;
    ASSERT_EQ(SaveEnv(dir.Path(), env), 0);
    const Bytes old = FileBytes(dir.File(ENV_FILE_NAME));

    HANDLE held =
        CreateFileW(dir.File(ENV_FILE_NAME).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    SetNonDefaults(env);
    EXPECT_EQ(SaveEnv(dir.Path(), env), 1);
    CloseHandle(held);
    EXPECT_EQ(FileBytes(dir.File(ENV_FILE_NAME)), old);
    EXPECT_FALSE(zk::PathExists(dir.File(L"Zelkora.env.tmp").c_str()));

    EXPECT_EQ(SaveEnv(dir.Path() + L"missing folder\\", env), 1);
}

TEST(EnvRecord, CopyFromTakesAllButReserved)
{
    CVosmireEnv source;
    SetNonDefaults(source);
    CVosmireEnv copy;
    copy.m_setReserved = {L"mine"};
    copy.CopyFrom(source);
    EXPECT_TRUE(copy.m_setReserved.empty());
    source.m_setReserved.clear();
    EXPECT_EQ(Snapshot(copy), Snapshot(source));
}

// What a build is given: every field the engine reads, taken from the
// records, with the chosen items as paths in list order (a resolved item by
// the shell's path, an unresolved one as stored).
TEST(BuildSettingsFromRecords, TakesEveryFieldTheBuildReads)
{
    ScratchFolder dir;
    const std::wstring file = dir.Write(L"a.txt");
    const std::wstring gone = dir.Path() + L"gone";
    struct Case {
        uint8_t kind, level, flags; // flags: 1 on for every switch, 0 off
        int32_t splitMB;
        uint32_t expectedSplit;
    };
    for (const Case c : {Case{0, 1, 1, 640, 640}, Case{1, 0, 0, 0, 0}, Case{7, 9, 1, -1, 0}}) {
        CVosmireEnv env;
        CVosmirePrm prm;
        for (auto member : CVosmireEnv::FLAG_MEMBERS)
            env.*member = c.flags;
        env.m_nCompressKind = c.kind;
        env.m_nCompressLevel = c.level;
        env.m_strWorkFolder = L"W:\\work";
        prm.m_strArchivePath = L"C:\\out\\pack.exe";
        prm.m_strPassword = L"kagi";
        prm.m_nSplitMB = c.splitMB;
        prm.m_bSfxShowList = c.flags;
        prm.m_bSfxNoUI = c.flags;
        prm.m_strSfxDestFolder = L"dest";
        prm.m_strSfxTitle = L"title";
        prm.m_strSfxRunAfter = L"run";
        prm.m_strSfxComment = L"comment";
        prm.m_listSources.push_back(prm.m_shellDesktop.MakeItem(file));
        prm.m_listSources.push_back(prm.m_shellDesktop.MakeItem(gone));

        const zk::BuildSettings s = ToBuildSettings(env, prm, L"P:\\prog\\");
        EXPECT_EQ(s.m_strProgramFolder, L"P:\\prog\\");
        EXPECT_EQ(s.m_strArchivePath, prm.m_strArchivePath);
        EXPECT_EQ(s.m_strPassword, L"kagi");
        const bool on = c.flags != 0;
        for (bool b : {s.m_bVerify, s.m_bHash, s.m_bLongNames, s.m_bShiftJisNames, s.m_bIncludeHidden,
                       s.m_bShowLogOnError, s.m_bUseWorkFolder})
            EXPECT_EQ(b, on);
        EXPECT_EQ(s.m_nCompressKind, c.kind != 0 ? 1 : 0);
        EXPECT_EQ(s.m_nCompressLevel, c.level != 0 ? 1 : 0);
        EXPECT_EQ(s.m_strWorkFolder, L"W:\\work");
        EXPECT_EQ(s.m_nSplitMB, c.expectedSplit);
        EXPECT_EQ(s.m_nSfxFlags, on ? (zk::SF_SHOW_LIST | zk::SF_NO_UI) : 0u);
        EXPECT_EQ(s.m_strSfxDestFolder, L"dest");
        EXPECT_EQ(s.m_strSfxTitle, L"title");
        EXPECT_EQ(s.m_strSfxRunAfter, L"run");
        EXPECT_EQ(s.m_strSfxComment, L"comment");
        ASSERT_TRUE(prm.m_listSources.front()->IsResolved());
        EXPECT_EQ(s.m_listSources, (std::vector<std::wstring>{prm.m_listSources.front()->GetPath(), gone}));
    }
}

class PrmFile : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override { CoUninitialize(); }
};

void FillParameters(CVosmirePrm& prm, const std::vector<std::wstring>& paths)
{
    for (const auto& p : paths)
        prm.m_listSources.push_back(prm.m_shellDesktop.MakeItem(p));
    prm.m_strArchivePath = L"C:\\out\\photos.exe";
    prm.m_nSplitMB = 700;
    prm.m_strPassword = L"hunter2-秘密";
    prm.m_strPasswordConfirm = L"hunter2-秘密";
    prm.m_strSfxDestFolder = L"C:\\dest\\";
    prm.m_strSfxTitle = L"写真";
    prm.m_strSfxComment = std::wstring(300, L'c');
    prm.m_strSfxRunAfter = L"setup.exe";
    prm.m_bSfxShowList = 0;
    prm.m_bSfxNoUI = 1;
}

TEST_F(PrmFile, FileBytesWithSeveralSourcesAndNoPassword)
{
    ScratchFolder dir;
    const std::wstring a = dir.Write(L"a.txt");
    const std::wstring b = dir.Write(L"b c.txt");
    const std::wstring gone = L"Q:\\no such folder\\x.txt";
    CVosmirePrm prm;
    ASSERT_FALSE(prm.m_shellDesktop.Failed());
    FillParameters(prm, {a, gone, b, dir.Path()});
    ASSERT_TRUE(prm.m_listSources.front()->IsResolved());
    ASSERT_FALSE((*std::next(prm.m_listSources.begin()))->IsResolved());
    ASSERT_EQ(SavePrm(dir.Path(), prm), 0);

    std::wstring folder = dir.Path();
    folder.pop_back(); // the shell names a folder without its final "\"
    Layout expected;
    expected.I32(100).I32(4).Str(a).Str(gone).Str(b).Str(folder);
    expected.Str(L"C:\\out\\photos.exe").I32(700).U8(1);
    expected.Str(L"C:\\dest\\").Str(L"写真").Str(std::wstring(300, L'c')).Str(L"setup.exe").U8(0);
    const Bytes bytes = FileBytes(dir.File(PRM_FILE_NAME));
    EXPECT_EQ(bytes, expected.b);

    Layout password;
    for (wchar_t c : std::wstring(L"hunter2"))
        password.Raw({static_cast<uint8_t>(c), 0});
    EXPECT_FALSE(Contains(bytes, password.b));
}

TEST_F(PrmFile, PathsThatNoLongerExistComeBackAsBareItems)
{
    ScratchFolder dir;
    const std::wstring a = dir.Write(L"a.txt");
    const std::wstring b = dir.Write(L"b.txt");
    {
        CVosmirePrm prm;
        FillParameters(prm, {a, b});
        ASSERT_EQ(SavePrm(dir.Path(), prm), 0);
    }
    DeleteFileW(a.c_str());
    DeleteFileW(b.c_str());

    CVosmirePrm prm;
    prm.m_strPassword = L"typed now";
    ASSERT_EQ(LoadPrm(dir.Path(), prm), 0);
    ASSERT_EQ(prm.m_listSources.size(), 2u);
    EXPECT_FALSE(prm.m_listSources.front()->IsResolved());
    EXPECT_EQ(prm.m_listSources.front()->GetPath(), a);
    EXPECT_FALSE(prm.m_listSources.back()->IsResolved());
    EXPECT_EQ(prm.m_listSources.back()->GetPath(), b);
    EXPECT_EQ(prm.m_strArchivePath, L"C:\\out\\photos.exe");
    EXPECT_EQ(prm.m_nSplitMB, 700);
    EXPECT_EQ(prm.m_bSfxNoUI, 1);
    EXPECT_EQ(prm.m_bSfxShowList, 0);
    EXPECT_EQ(prm.m_strSfxTitle, L"写真");
    EXPECT_EQ(prm.m_strSfxComment, std::wstring(300, L'c'));
    EXPECT_EQ(prm.m_strSfxRunAfter, L"setup.exe");
    EXPECT_EQ(prm.m_strPassword, L"typed now");
}

TEST_F(PrmFile, ExistingPathsComeBackResolved)
{
    ScratchFolder dir;
    const std::wstring a = dir.Write(L"a.txt");
    {
        CVosmirePrm prm;
        FillParameters(prm, {a});
        ASSERT_EQ(SavePrm(dir.Path(), prm), 0);
    }
    CVosmirePrm prm;
    ASSERT_EQ(LoadPrm(dir.Path(), prm), 0);
    ASSERT_EQ(prm.m_listSources.size(), 1u);
    const CSourceItem& item = *prm.m_listSources.front();
    EXPECT_TRUE(item.IsResolved());
    EXPECT_EQ(item.GetPath(), a);
    EXPECT_NE(item.m_pParentFolder, nullptr);
    EXPECT_NE(item.m_pidlRelative, nullptr);
    EXPECT_EQ(item.m_nFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_NE(item.m_nShellAttributes & SFGAO_FILESYSTEM, 0u);
}

TEST_F(PrmFile, MissingOrBrokenFileChangesNothing)
{
    ScratchFolder dir;
    CVosmirePrm prm;
    prm.m_strArchivePath = L"C:\\kept.zka";
    prm.m_nSplitMB = 5;
    EXPECT_EQ(LoadPrm(dir.Path(), prm), 1);

    const std::wstring path = dir.Write(L"p.txt");
    {
        CVosmirePrm saved;
        FillParameters(saved, {path, path});
        ASSERT_EQ(SavePrm(dir.Path(), saved), 0);
    }
    const Bytes valid = FileBytes(dir.File(PRM_FILE_NAME));
    Layout badSplit;
    badSplit.I32(100).I32(1).Str(path).Str(L"x.exe").I32(-700).U8(0).Str(L"").Str(L"").Str(L"").Str(L"").U8(
        1);
    for (const Bytes& bytes : {Bytes(valid.begin(), valid.end() - 1),
                               Bytes(valid.begin(), valid.begin() + 30), Bytes(64, 0xFF), badSplit.b}) {
        WriteBytes(dir, PRM_FILE_NAME, bytes);
        EXPECT_EQ(LoadPrm(dir.Path(), prm), 1);
        EXPECT_TRUE(prm.m_listSources.empty());
        EXPECT_EQ(prm.m_strArchivePath, L"C:\\kept.zka");
        EXPECT_EQ(prm.m_nSplitMB, 5);
    }
}

} // namespace
